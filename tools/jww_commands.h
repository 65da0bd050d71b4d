// The subcommands of the `jww` tool. Each lives in its own tools/jww_<name>.cpp and is listed
// once in the dispatcher's table (tools/jww.cpp).
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "jww/JwwUnit.h"
#include "scene/Scene.h"

namespace CLI {
class App;
}
struct JwwPaintJob;

namespace jwwtool {

/// A subcommand: gets its own name as argv[0]; returns the process exit status.
using Command = int (*)(int argc, char** argv);

int Info(int argc, char** argv);
int Dump(int argc, char** argv);
int Convert(int argc, char** argv);
int New(int argc, char** argv);
int Build(int argc, char** argv);
int Fill(int argc, char** argv);
int Diff(int argc, char** argv);

/// Parses a subcommand's options. False when the command should end at once with `status`:
/// 0 after --help, 2 for wrong options (one line "jww: <why> (see 'jww <command> --help')").
bool ParseOptions(CLI::App& app, int argc, char** argv, int& status);

/// Reads `path` (UTF-8) with FileIn, or with FilePrevIn when `budget` is set; on failure prints
/// one line "jww: <path>: <why>" to standard error and returns false.
bool ReadDrawing(jww::TJwwData& doc, const std::string& path, const std::optional<int>& budget);

/// Passes `ok` on, after printing ReadDrawing's message for a failed read of `path`.
bool ReportRead(const jww::TJwwData& doc, const std::string& path, bool ok);

/// Why the last read of `path` into `doc` failed, for people: the library's LastError (its own
/// terse words and offset) told as what it means for this file ("the drawing ends early (byte
/// 5000 of 5000)").
std::string ReadFailure(const jww::TJwwData& doc, const std::string& path);

/// Whether `out` can be written by what is there now (jww::TOutputFile::Problem), asked before
/// the input is read: false after one line "jww: <out>: cannot write <what>: <why>".
bool OutputPossible(const std::string& out, const std::string& what);

/// What an output is called in messages: "the pdf file", "a drawing".
std::string OutputNoun(const std::string& format);

/// A file name (bytes) for a terminal: control characters escaped as "\n", "\t", "\x1b", bytes
/// that are not UTF-8 as "\xHH", so that a name cannot move the cursor or retitle the window.
std::string Shown(const std::string& bytes);

/// Text from a drawing as UTF-8 for a terminal, control characters escaped as in Shown.
std::string ShownText(const std::u16string& text);

/// What `jww convert` writes: a drawing, or an export of its picture or geometry.
inline constexpr const char* kOutputFormats[] = {"jww", "pdf", "svg", "png", "dxf"};

/// The output format an output path names by its extension (case-insensitive), one of
/// kOutputFormats; empty for any other extension or none.
std::string ExportFormat(const std::string& out);

/// How jww convert makes a picture or DXF.
struct ExportOptions {
  double dpi = 150;          ///< PNG resolution
  size_t budget = 0;         ///< work a picture may take; 0: the scene's default
  bool fitDrawing = false;   ///< the drawn content plus a margin instead of the whole paper
  bool quiet = false;        ///< no progress on a terminal
  scene::Look look;          ///< how the scene is built (--color, --mono, --aux, --dot-mm)
};

/// jww convert to a picture or DXF: reads `in`, builds its scene with `o.look` and writes `out`
/// in `format`.
int Export(const std::string& in, const std::string& out, const std::string& format,
           const ExportOptions& o);
/// As Export, for a drawing in memory.
int ExportDrawing(const jww::TJwwData& d, const std::string& out, const std::string& format,
                  const ExportOptions& o);

/// DXF input (tools/jww_dxfin.cpp): true when `in` is to be read as DXF (by its extension or
/// content).
bool IsDxfInput(const std::string& in);
/// jww convert from DXF: `scale` ("1:50" or "50") and `paper` empty for the choice from the
/// extents; `version` only for JWW output.
int ConvertDxf(const std::string& in, const std::string& out, const std::string& format,
               const std::optional<int>& version, const std::string& scale, const std::string& paper,
               const ExportOptions& picture);
/// jww info of a DXF file: what a conversion would make of it.
int InfoDxf(const std::string& in);

/// The options of jww convert that change how a picture looks (--color, --mono, --aux, --dot-mm).
void AddLookOptions(CLI::App& app, scene::Look& look);

/// The picture options jww convert and jww fill share: --dpi, the look options, --fit, --budget
/// and -q/--quiet, into `o`.
void AddPictureOptions(CLI::App& app, ExportOptions& o);

/// Sets a painting job's resolution, budget and view from `o`.
void FillPaintJob(JwwPaintJob& job, const ExportOptions& o);

/// Why a painting job of `out` wrote nothing, as jww says it after "jww: " (over the budget, too
/// many pixels at `dpi`, or the system's reason).
std::string PaintFailure(const JwwPaintJob& job, const std::string& out, const std::string& format, double dpi);

/// Signs of life for long work: the stage and how far it got, on standard error only when that
/// is a terminal and not `quiet`, rewritten in place at most four times a second and cleared at
/// the end (or before a message).
class Progress {
 public:
  explicit Progress(bool quiet);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;
  /// Shows `stage` with the fraction done (0..1), or without one when it is negative.
  void Show(const char* stage, double fraction = -1);
  /// Removes the line.
  void Clear();
  /// For JwwPaintJob::progress with the Progress as context.
  static void Callback(void* self, const char* stage, double fraction);

 private:
  bool on_;
  bool shown_ = false;
  std::string stage_;
  std::chrono::steady_clock::time_point last_{};
};

/// The entry `symbol` of the painting module (loaded once by the system's loader), or null with
/// the loader's reason in `why`.
void* PaintEntry(const char* symbol, std::string& why);

}  // namespace jwwtool
