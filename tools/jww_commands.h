// The subcommands of the `jww` tool. Each lives in its own tools/jww_<name>.cpp and is listed
// once in the dispatcher's table (tools/jww.cpp).
#pragma once

#include <optional>
#include <string>

#include "jww/JwwUnit.h"

namespace CLI {
class App;
}

namespace jwwtool {

/// A subcommand: gets its own name as argv[0]; returns the process exit status.
using Command = int (*)(int argc, char** argv);

int Info(int argc, char** argv);
int Dump(int argc, char** argv);
int Convert(int argc, char** argv);
int New(int argc, char** argv);
int Build(int argc, char** argv);

/// Parses a subcommand's options. False when the command should end at once with `status`:
/// 0 after --help, 2 (with CLI11's message on standard error) for wrong options.
bool ParseOptions(CLI::App& app, int argc, char** argv, int& status);

/// Reads `path` (UTF-8) with FileIn, or with FilePrevIn when `budget` is set; on failure prints
/// one line "jww: <path>: <why> at byte <offset>" to standard error and returns false.
bool ReadDrawing(jww::TJwwData& doc, const std::string& path, const std::optional<int>& budget);

/// Passes `ok` on, after printing ReadDrawing's message for a failed read of `path`.
bool ReportRead(const jww::TJwwData& doc, const std::string& path, bool ok);

/// The export format an output path names by its extension (case-insensitive): "pdf", "svg",
/// "png" or "dxf"; empty for anything else (a drawing).
std::string ExportFormat(const std::string& out);

/// jww convert to a picture or DXF: reads `in`, builds its scene and writes `out` in `format`.
int Export(const std::string& in, const std::string& out, const std::string& format, double dpi);

}  // namespace jwwtool
