// The list file: from an ordered list of drawing paths and a slot count, the tab-separated
// key/value lines that describe every slot. Plain C++, shared by the window and dravik-list so
// that both write the same bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace dravik {

/// Lines of one slot block.
inline constexpr int kLinesPerSlot = 37;

/// Called after each slot with (slots done, slots in all); for progress display only.
using ListProgress = std::function<void(int done, int total)>;

/// Receives the list file's lines in order: `key` and `value` joined by a TAB. Values are never
/// empty; the closing line " " arrives as a key with an empty value (no TAB).
class ListSink {
 public:
  virtual ~ListSink() = default;
  virtual void Line(std::u16string_view key, std::u16string_view value) = 0;
};

/// Makes the list file into `sink`: the folder line, 37 lines per slot for max(files, DatNum)
/// slots, the closing line " ". `files` must not be empty. `JWW` is empty on return (each file is
/// opened once and its header read into storage reused from file to file, jww::HeaderGlance; the
/// rows are those FileDateSize, FileCheck and FileHeaderIn give). A negative DatNum counts as 0.
void ListFileOut(const std::vector<std::u16string>& files, int DatNum, jww::TJwwData& JWW,
                 const jww::TRegional& regional, ListSink& sink, const ListProgress& progress = {});

/// The list file's bytes as they are made: code page 932, lines joined by CR LF, nothing after the
/// last. Held in parts of about 1 MiB that end at line ends, so that a long list never needs one
/// large block nor a copy to grow (memory stays close to the file's size), and each part decodes
/// on its own.
class ListBytes final : public ListSink {
 public:
  void Line(std::u16string_view key, std::u16string_view value) override;

  const std::vector<std::string>& Parts() const { return parts_; }
  uint64_t Size() const { return size_; }
  /// All parts in one string (tests, small lists).
  std::string Joined() const;
  /// Drops everything.
  void Clear();

  /// When set (before the first line), each full part is handed to `drain` and dropped instead of
  /// kept, and parts are of about 64 KiB; a false result makes every later call a no-op and
  /// FinishDrain() false.
  void DrainTo(std::function<bool(std::string_view)> drain) { drain_ = std::move(drain); }
  /// Hands the last part to the drain; false when any drain failed.
  bool FinishDrain();

 private:
  std::vector<std::string> parts_;
  uint64_t size_ = 0;
  bool first_ = true;
  bool drainFailed_ = false;
  std::function<bool(std::string_view)> drain_;
};

/// The lines of the list file, as ListFileOut makes them (tests and small lists).
std::vector<std::u16string> ListFileLines(const std::vector<std::u16string>& files, int DatNum,
                                          jww::TJwwData& JWW, const jww::TRegional& regional,
                                          const ListProgress& progress = {});

/// The list file's bytes for given lines: code page 932, joined by CR LF, nothing after the last.
std::string ListFileBytes(const std::vector<std::u16string>& lines);

/// Writes the list file so that a failure never leaves a half-written file under LstName: the
/// bytes go to a temporary file that replaces LstName when complete. A LstName that is a symbolic
/// link is written through: the file it points to is replaced and the link stays. On failure a
/// file named LstName is deleted when one exists, and false returned.
bool SaveListFile(const std::u16string& LstName, const ListBytes& bytes);
bool SaveListFile(const std::u16string& LstName, const std::vector<std::u16string>& lines);

/// Makes the list file and writes it to LstName as SaveListFile does, without holding it in
/// memory: parts go to the file as they are made. On failure `why` (when given) says why.
bool WriteListFile(const std::u16string& LstName, const std::vector<std::u16string>& files,
                   int DatNum, jww::TJwwData& JWW, const jww::TRegional& regional,
                   const ListProgress& progress = {}, std::string* why = nullptr);

/// The smallest size in bytes the list file of `fileCount` drawings and `DatNum` slots can have
/// (every value " "), computed without making it; a slot count too large for memory or disk shows
/// here before any work is done.
uint64_t ListFileMinimumSize(size_t fileCount, int DatNum);

/// The most bytes a list file written to LstName can take: the smaller of the memory available
/// (the window holds the list while it writes it) and the free space where LstName goes.
uint64_t ListFileRoom(const std::u16string& LstName);

/// The slot count a number stands for: its absolute value; the smallest int, whose absolute value
/// does not fit, counts as the largest.
int SlotCountOf(int64_t n);

/// Text taken from a path or a name as it goes into the list file: control characters (which
/// would start new lines or fields) become "?", as characters the code page cannot hold do.
std::u16string PathText(std::u16string_view text);

/// The value of one layer-group scale ("1/1", "1/50", "2/1"); " " for 0, NaN and infinities.
std::u16string ScaleText(double x, const jww::TRegional& regional);

/// The "p" value: the paper code's label, " " for codes without one.
std::u16string PaperLabel(int nZumen);

/// The era date of the "J" key ("令和 5年11月17日").
std::u16string EraDateText(const jww::TLocalTime& t);

/// "yyyy/mm/dd" and "hh:nn:ss" with the regional separators.
std::u16string DateText(const jww::TLocalTime& t, const jww::TRegional& r);
std::u16string TimeText(const jww::TLocalTime& t, const jww::TRegional& r);

}  // namespace dravik
