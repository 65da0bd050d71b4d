// Any bytes given to the whole-drawing reader end in True or False: no crash, no hang, no
// allocation beyond a small multiple of the input's size. Bound images are unpacked into a
// scratch folder of the target's own (emptied after every input), so the code that turns stored
// names into files is exercised too.
#include <stdlib.h>

#include <cstdlib>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/codepage.h"
#include "jww/JwwUnit.h"
#include "jww/stream.h"

namespace {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    std::string t = (std::filesystem::temp_directory_path(ec) / "dravik-filein-fuzz-XXXXXX").string();
    if (!ec && ::mkdtemp(t.data())) path_ = t;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  /// Removes what the last input unpacked; the folder stays.
  void Empty() const {
    std::error_code ec;
    if (path_.empty()) return;
    for (const auto& e : std::filesystem::directory_iterator(path_, ec)) std::filesystem::remove_all(e.path(), ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ScratchFolder scratch;
  jww::TJwwData doc;
  if (scratch.path().empty()) {
    doc.BindImageExr = true;  // no folder: read the image list, skip the bytes
  } else {
    doc.BindImageFolder = jww::Utf8ToStr(scratch.path() + "/");
    doc.BindImageExp = true;
  }
  jww::InStream s(data, size);
  const bool ok = doc.DrawingIn(s, false, 0);
  doc.GetFontNames();
  double w, h;
  doc.GetPaperSize(w, h);
  scratch.Empty();

  // A summary read of the same bytes tells the same: result, failure, counts and font names.
  jww::TJwwData sum;
  sum.BindImageExr = doc.BindImageExr;
  sum.BindImageExp = doc.BindImageExp;
  sum.BindImageFolder = doc.BindImageFolder;
  jww::TJwwKindCounts c;
  jww::InStream again(data, size);
  if (sum.DrawingIn(again, false, 0, &c) != ok || sum.LastError().offset != doc.LastError().offset ||
      sum.LastError().message != doc.LastError().message || sum.FontNames != doc.FontNames ||
      c.line != doc.EntLineN || c.moji != doc.EntMojiN || c.sunpo != doc.EntSunpoN ||
      c.block != doc.EntBlockN || sum.EntBlockTreeN != doc.EntBlockTreeN)
    std::abort();
  scratch.Empty();
  return 0;
}
