// Any bytes given to the DXF reader end in a drawing or a refusal: no crash, no hang, no
// allocation beyond what the input's counts can justify (the reader checks them against the
// file's length first). The bytes go through a scratch file, as the reader takes a path.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "dxf/DxfIn.h"
#include "jww/JwwUnit.h"

namespace {

std::string ScratchFile() {
  std::error_code ec;
  return (std::filesystem::temp_directory_path(ec) / ("dravik-dxfin-fuzz-" + std::to_string(::getpid()) + ".dxf"))
      .string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }
  jww::TJwwData d;
  dxf::Report r;
  dxf::ReadDxf(path, {}, d, r);
  std::remove(path.c_str());
  return 0;
}
