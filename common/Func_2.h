// The free routines shared by the drawing library, the list generator, the window and the tools:
// text, path, number, date and file-system helpers, and the code page conversion (codepage.h).
// Nothing here knows about drawings.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "codepage.h"

struct stat;

namespace jww {

// ---- text ------------------------------------------------------------------------------------

/// Decodes a code page 932 byte array and returns the characters before the first U+0000.
std::u16string BytesToStr(std::string_view bytes);

/// Removes every character below U+0020 (all C0 controls, TAB, CR and LF included).
std::u16string DelCtrlChar(std::u16string_view text);

/// Cleans a name or text before it is stored in a drawing: the two-character marks "^m" and "\n"
/// (backslash, n) and every character below U+0020 are dropped. A non-empty text that loses every
/// character becomes one space, so that it stays non-empty; an empty text stays empty.
inline std::u16string DelMarkChar(std::u16string_view text) {
  if (text.empty()) return {};
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (i + 1 < text.size() &&
        ((text[i] == u'^' && text[i + 1] == u'm') || (text[i] == u'\\' && text[i + 1] == u'n'))) {
      ++i;
      continue;
    }
    if (text[i] >= 0x20) out.push_back(text[i]);
  }
  if (out.empty()) out = u" ";
  return out;
}

/// The text without spaces (U+0020, U+3000) and characters below U+0020: what is left of a name
/// that only looks blank is empty.
inline std::u16string DelSpaceChar(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text)
    if (c > 0x20 && c != 0x3000) out.push_back(c);
  return out;
}

/// ASCII-only lower case; other characters are kept.
std::u16string AsciiLower(std::u16string_view text);

/// Case-insensitive comparison of ASCII letters; other characters compare exactly.
bool SameTextAscii(std::u16string_view a, std::u16string_view b);

/// The decimal integer a text denotes (optional sign, digits, surrounding blanks allowed);
/// 0 for an empty, malformed or out-of-range text.
int32_t StrToIntDef0(std::u16string_view text);

// ---- numbers ---------------------------------------------------------------------------------

/// True when x is neither NaN nor an infinity.
bool IsFiniteDouble(double x);

/// True when |a - b| <= 1e-12.
bool IsSameVal(double a, double b);

/// Rounds |x| to `digits` decimals (0..9; anything else means 0) and gives it the sign of x.
/// mode 0 truncates, mode 1 rounds up from 1e-10 below, any other mode rounds half up.
/// Defined for every finite x: values too large to carry a fraction are returned unchanged.
double RoundDec(int digits, int mode, double x);

/// Shortest general form with at most 15 significant digits, no thousands separators, the given
/// decimal separator; exponent form ("1E20", "1E-5") where fixed form would need it.
std::u16string FloatToStrGeneral(double x, std::u16string_view decimalSep);

/// Whole number with a thousands separator every three digits ("1,234,567").
std::u16string FormatThousands(int64_t n, std::u16string_view thousandSep);

// ---- dates -----------------------------------------------------------------------------------

/// A local date and time broken into fields. The zero value is 1899-12-30 00:00:00, the moment a
/// missing file reports.
struct TLocalTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

/// Gregorian year, era name and era year; eraName is empty (and eraYear 0) before the first era.
struct TJpEra {
  int year = 0;
  std::u16string eraName;
  int eraYear = 0;
};
TJpEra JpEraDate(const TLocalTime& date);

/// Two-digit zero-padded field ("07").
std::u16string TwoDigits(int v);

// ---- regional settings -----------------------------------------------------------------------

/// The user's date, time, thousands and decimal separators.
struct TRegional {
  std::u16string dateSep = u"/";
  std::u16string timeSep = u":";
  std::u16string thousandSep = u",";
  std::u16string decimalSep = u".";
};

/// Separators of the process locale (LC_NUMERIC, LC_TIME as the C library sets them from the
/// environment). A separator is taken from the locale only when it is one printable ASCII
/// character other than a digit or letter; otherwise (Japanese "年" and "時", a no-break space,
/// none at all) the default "/", ":", ",", "." stays.
TRegional RegionalFromLocale();

// ---- paths -----------------------------------------------------------------------------------

/// Path separator of the platform.
inline constexpr char16_t kPathDelim = u'/';

/// Directory part of a path with a trailing separator ("" directory gives a lone separator).
std::u16string ExtractFileFolder(std::u16string_view path);
/// The part after the last separator.
std::u16string ExtractFileName(std::u16string_view path);
/// The name without its last extension (from the last dot of the name on).
std::u16string ExtractFileBaseName(std::u16string_view path);

/// A UTF-16 path as the file system names it.
std::filesystem::path ToFsPath(std::u16string_view path);
std::u16string FromFsPath(const std::filesystem::path& p);

/// The running executable's full path.
std::u16string ExecutablePath();

// ---- files -----------------------------------------------------------------------------------

struct TFileDateSize {
  TLocalTime time;   ///< last-write time in local time; the zero time when not found
  int64_t size = 0;  ///< bytes; 0 when not found
};
TFileDateSize FileDateSize(std::u16string_view path);
/// The same facts from a stat result (of a file already open).
TFileDateSize FileDateSizeOf(const struct ::stat& st);

bool FileExists(std::u16string_view path);
bool DeleteFileIfExists(std::u16string_view path);

/// An output file that never leaves a half-written file under its name, and never replaces what
/// it must not. Every writer of the project (drawings, list files, DXF, pictures, thumbnails)
/// goes through it:
/// - a regular file, or a new name, is written under a temporary name beside it and renamed over
///   it once written, synced and closed; a symbolic link is followed, so the link stays a link
///   and the file it names is replaced, keeping its permission bits;
/// - an existing character device or FIFO (/dev/null, /dev/stdout, a terminal, a pipe) is
///   written in place: it cannot be replaced, and renaming over it would replace the system's
///   device;
/// - anything else (a folder, a block device, a socket) is refused;
/// - a dangling symbolic link is written through, as editors do: the file is made where the link
///   (and any link it names) points, and the link stays a link (its target's folder must exist).
/// The temporary file is named ".<name>.dravik-tmp-<pid>" (".dravik-tmp-<pid>" when the name is
/// too long to take the additions) and is locked (flock) while it is written. One that a killed
/// writer left behind is removed by the next output made in the same folder once it is older
/// than a day and no longer locked.
class TOutputFile {
 public:
  TOutputFile() = default;
  ~TOutputFile() { Abort(); }
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  /// Prepares `path` (bytes as the file system names it) for writing; false and Reason() when it
  /// cannot be written.
  bool Open(std::string_view path);
  /// Why Open would fail for `path` by what is there now, without making anything: what Open
  /// says of the name and of what it names, and the system's reason when the folder the file
  /// would be made in is missing, is no folder or cannot be written ("No such file or
  /// directory"); "" when it can be tried. For commands that read and paint before they write,
  /// so that a mistyped folder is told at once.
  static std::string Problem(std::string_view path);
  bool Open(std::u16string_view path) { return Open(NativePath(path)); }
  /// The descriptor to write to (blocking, close-on-exec); -1 unless open.
  int fd() const { return fd_; }
  /// Writes all of `bytes`; false (and Reason()) on failure, after which only Abort is useful.
  bool Write(std::string_view bytes);
  /// Puts the written file in place; false (and Reason()) on failure, the target then as it was.
  bool Commit();
  /// Gives up: the temporary file is removed, the target is as it was.
  void Abort();
  /// Why the last operation failed: the system's reason ("No space left on device") or the
  /// project's own words ("not a regular file").
  const std::string& Reason() const { return reason_; }
  /// Records a failure of a write made through fd() (errno 0 counts as a full device).
  void Fail(int err);

 private:
  bool Refuse(std::string why);
  struct Destination;
  static Destination Find(std::string_view path);
  int fd_ = -1;
  bool inPlace_ = false;
  std::string temp_, target_, reason_;
};

/// The marker of the temporary files TOutputFile makes (".<name>.dravik-tmp-<pid>").
inline constexpr std::string_view kTempMarker = ".dravik-tmp-";

/// Creates, exclusively (never through an existing name or link), the locked temporary file that
/// TOutputFile uses for `target` (bytes) in the target's folder, after removing stale ones there
/// (once per folder and process). The descriptor (write-only, close-on-exec, mode 0666 less the
/// umask) or -1 with errno set; `temp` receives the name.
int CreateTemporaryBeside(const std::string& target, std::string& temp);

/// Removes the temporary files of TOutputFile in `folder` (bytes; "" is the working folder) that
/// are older than `age` seconds and not locked by a writer. Returns how many were removed.
int RemoveStaleTemporaries(const std::string& folder, long age = 24 * 60 * 60);

/// Writes `bytes` to `path` through TOutputFile; false on failure, with the reason in `why` when
/// given. `path` is then as it was.
bool WriteFileAtomic(std::u16string_view path, std::string_view bytes, std::string* why = nullptr);

/// Reads a whole file; nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(std::u16string_view path);

}  // namespace jww

namespace jww {

// ---- geometry and text extents ---------------------------------------------------------------
// Degrees become radians with pi cut after 14 decimals (3.14159265358979 / 180), the factor
// drawings have always been built with; results therefore differ from full-precision pi in the
// last bits, and that difference is part of what stored drawings hold.

/// (x, y) turned about (cx, cy) by `a` degrees counter-clockwise.
void RotatePoint(double x, double y, double cx, double cy, double a, double& rx, double& ry);
/// Direction of (dx, dy) in radians, 0 <= angle < 2 pi; 0 when both parts are below 1e-14.
double VectorAngle(double dx, double dy);
double PointDistance(double x1, double y1, double x2, double y2);
/// Start point (lower left in the text's own frame) of a text box w wide and h high, rotated by
/// `a` degrees, whose base point code `c` (0..8; any other acts as 0) lies at (x, y).
void TextStartPoint(int c, double x, double y, double w, double h, double a, double& sx, double& sy);
/// The point at base point code c2 of the box whose point at code c1 is (x, y).
void TextAnchorConvert(int c1, int c2, double x, double y, double w, double h, double a, double& px,
                       double& py);
/// True for a one-character text in U+0020..U+007E or U+FF61..U+FF9F (compared as strings).
bool IsHalfWidthChar(std::u16string_view s);
/// Length of a text line: half-width characters count w/2, others w; the spacing after a
/// character is d/2 after a half-width one, else d. Characters below U+0020 add no width.
double TextExtent(std::u16string_view s, double w, double d);
/// Length of a text line where every character counts full: n * w + (n - 1) * d.
double TextExtentFixed(std::u16string_view s, double w, double d);

}  // namespace jww
