// The window's settings file: seven lines beside the executable (window left, top, width, height,
// the add-files folder, the last list file, the slot count), code page 932, each line ending in
// CR LF. Plain C++, no Qt, so the format can be read and written without a window.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace dravik {

struct TSettings {
  int Left = 100;
  int Top = 100;
  int Width = 400;
  int Height = 320;
  std::u16string JwwPath;  ///< folder the add-files dialog opens in
  std::u16string LstName;  ///< full path of the list file last chosen
  int DatNum = 10;         ///< slot count
};

/// The values in force when there is no settings file: 100, 100, 400 x 320, the executable's
/// folder, "List.txt" in it, 10 slots.
TSettings DefaultSettings(const std::u16string& AppPath);

/// The path with the extension of its file name replaced by `ext` (appended when it has none):
/// "/opt/dravik/dravik" -> "/opt/dravik/dravik.dat".
std::u16string ChangeFileExt(std::u16string_view path, std::u16string_view ext);

/// The settings file of the program at `exePath`: beside it, named as it with ".dat". The one place
/// that decides where the settings file lives; files kept beside it derive from this path.
std::u16string SettingsFilePath(std::u16string_view exePath);

/// The file that keeps the window's list of drawings between runs: beside the settings file, named
/// as it with ".lst" (one path a line), so the settings file keeps its seven lines.
std::u16string KeptListPath(std::u16string_view settingsFile);

/// Applies the lines of a settings file to `s` in order: numbers that are empty or not decimal
/// integers become 0, a line missing before the end of line 6 reads as empty, and line 7 (the slot
/// count) is applied only when the file has it.
void ParseSettings(std::string_view bytes, TSettings& s);

/// Reads the settings file over `s`; when it is missing or unreadable `s` stays as it is.
void LoadSettings(const std::u16string& DatFile, TSettings& s);

/// The seven lines in code page 932, each ending in CR LF.
std::string SettingsBytes(const TSettings& s);

/// Writes whole bytes to a path; true on success.
using FileWriter = std::function<bool(std::u16string_view path, std::string_view bytes)>;

/// Writes the settings file. A failure is silent: the file never stays half-written, and a
/// settings file already there is deleted when possible (a failure to delete is ignored).
/// `write` defaults to writing through a temporary file that replaces DatFile when complete.
bool SaveSettings(const std::u16string& DatFile, const TSettings& s, const FileWriter& write = {});

}  // namespace dravik
