// What jww diff and jww dump --text share.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/codepage.h"
#include "jww/JwwUnit.h"

namespace jwwtool {

// A folder for the bound images of one drawing, so that they are compared by content; removed
// with what the read put into it.
class ImageFolder {
 public:
  ImageFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "jww-diff-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) dir_ = tmpl;
  }
  ~ImageFolder() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  ImageFolder(const ImageFolder&) = delete;
  ImageFolder& operator=(const ImageFolder&) = delete;
  /// The folder, "" when it could not be made.
  const std::string& Path() const { return dir_; }
  void Use(jww::TJwwData& d) const {
    if (dir_.empty()) return;
    d.BindImageFolder = jww::Utf8ToStr(dir_ + "/");
    d.BindImageExp = true;
  }

 private:
  std::string dir_;
};

/// jww dump --text: the drawing's text form (compare::TextForm) on standard output.
int DumpText(const std::string& file);

}  // namespace jwwtool
