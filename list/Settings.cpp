#include "list/Settings.h"

#include <optional>

#include "common/Func_2.h"

namespace dravik {

namespace {

// Reads a text file line by line; a line ends at CR LF, LF or a lone CR.
class LineReader {
 public:
  explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

  bool AtEnd() const { return pos_ >= bytes_.size(); }

  /// The next line without its line end; empty past the end of the file.
  std::u16string Next() {
    if (AtEnd()) return {};
    size_t end = bytes_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) end = bytes_.size();
    std::string_view line = bytes_.substr(pos_, end - pos_);
    pos_ = end;
    if (!AtEnd() && bytes_[pos_] == '\r') {
      ++pos_;
      if (!AtEnd() && bytes_[pos_] == '\n') ++pos_;
    } else if (!AtEnd()) {
      ++pos_;  // the LF
    }
    return jww::AnsiToStr(line);
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

std::string Decimal(int v) { return std::to_string(v); }

}  // namespace

TSettings DefaultSettings(const std::u16string& AppPath) {
  TSettings s;
  s.JwwPath = AppPath;
  s.LstName = AppPath + u"List.txt";
  return s;
}

std::u16string ChangeFileExt(std::u16string_view path, std::u16string_view ext) {
  const size_t nameStart = path.rfind(jww::kPathDelim);
  const size_t dot = path.rfind(u'.');
  const bool hasExt = dot != std::u16string_view::npos &&
                      (nameStart == std::u16string_view::npos || dot > nameStart);
  std::u16string out(hasExt ? path.substr(0, dot) : path);
  out += ext;
  return out;
}

std::u16string SettingsFilePath(std::u16string_view exePath) { return ChangeFileExt(exePath, u".dat"); }

std::u16string KeptListPath(std::u16string_view settingsFile) { return ChangeFileExt(settingsFile, u".lst"); }

void ParseSettings(std::string_view bytes, TSettings& s) {
  LineReader in(bytes);
  s.Left = jww::StrToIntDef0(in.Next());
  s.Top = jww::StrToIntDef0(in.Next());
  s.Width = jww::StrToIntDef0(in.Next());
  s.Height = jww::StrToIntDef0(in.Next());
  s.JwwPath = in.Next();
  s.LstName = in.Next();
  if (!in.AtEnd()) s.DatNum = jww::StrToIntDef0(in.Next());
}

void LoadSettings(const std::u16string& DatFile, TSettings& s) {
  if (!jww::FileExists(DatFile)) return;
  const std::optional<std::string> bytes = jww::ReadWholeFile(DatFile);
  if (bytes) ParseSettings(*bytes, s);
}

std::string SettingsBytes(const TSettings& s) {
  const std::string crlf = "\r\n";
  return Decimal(s.Left) + crlf + Decimal(s.Top) + crlf + Decimal(s.Width) + crlf +
         Decimal(s.Height) + crlf + jww::StrToAnsi(s.JwwPath) + crlf + jww::StrToAnsi(s.LstName) +
         crlf + Decimal(s.DatNum) + crlf;
}

bool SaveSettings(const std::u16string& DatFile, const TSettings& s, const FileWriter& write) {
  const std::string bytes = SettingsBytes(s);
  const bool ok = write ? write(DatFile, bytes) : jww::WriteFileAtomic(DatFile, bytes);
  if (!ok) jww::DeleteFileIfExists(DatFile);
  return ok;
}

}  // namespace dravik
