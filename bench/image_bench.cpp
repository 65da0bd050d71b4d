// Packing and unpacking a 50 MB bound image (BindImagePack, BindImageExplode) beside the gzip
// program doing the same work on the same file (gzip -9, gzip -d; their output goes to /dev/null,
// which favours them), in the same run and in processor time. BM_Pack and BM_Unpack report
// `x_gzip`, their time over the program's (target: at most 1.5). The image is synthetic: smooth
// gradients with a little noise, as a scanned drawing compresses.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/baseline.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kImageBytes = 50u << 20;

const std::string& Folder() {
  static const std::string dir = [] {
    const fs::path p = fs::temp_directory_path() / "dravik-image-bench";
    fs::create_directories(p);
    const fs::path img = p / "image.bmp";
    if (!fs::exists(img) || fs::file_size(img) != kImageBytes) {
      std::string bytes(kImageBytes, '\0');
      std::mt19937 rng(7);
      for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i % 3072) / 12 + (rng() % 4));
      std::ofstream(img, std::ios::binary) << bytes;
    }
    return p.string() + "/";
  }();
  return dir;
}

jww::TJwwData Doc(const char* name) {
  jww::TJwwData d;
  d.BindImageFolder = jww::Utf8ToStr(Folder());
  d.BindImage = {{jww::Utf8ToStr(name), 0, false}};
  d.BindImageN = 1;
  return d;
}

void BM_GzipProgram9(benchmark::State& state) {
  const std::string f = Folder();
  double total = 0;
  for (auto _ : state) {
    const double s = jwwbench::RunProcess({"/bin/gzip", "-9", "-c", f + "image.bmp"});
    if (s < 0) state.SkipWithError("gzip -9 failed");
    total += s;
  }
  jwwbench::Keep("gzip9", total / static_cast<double>(state.iterations()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageBytes));
}

void BM_Pack(benchmark::State& state) {
  jwwbench::Timed t("pack");
  for (auto _ : state) {
    jww::TJwwData d = Doc("image.bmp");
    d.BindImagePack();
    if (d.BindImage[0].Fname != u"image.bmp.gz") state.SkipWithError("pack failed");
  }
  jwwbench::ReportRatio(state, "x_gzip", t.Done(state), {"gzip9"});
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageBytes));
}

void BM_GzipProgramDecompress(benchmark::State& state) {
  const std::string f = Folder();
  std::filesystem::copy_file(f + "image.bmp.gz", f + "copy.bmp.gz", fs::copy_options::overwrite_existing);
  double total = 0;
  for (auto _ : state) {
    const double s = jwwbench::RunProcess({"/bin/gzip", "-d", "-c", f + "copy.bmp.gz"});
    if (s < 0) state.SkipWithError("gzip -d failed");
    total += s;
  }
  jwwbench::Keep("gunzip", total / static_cast<double>(state.iterations()));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageBytes));
}

void BM_Unpack(benchmark::State& state) {
  const std::string f = Folder();
  jwwbench::Timed t("unpack");
  for (auto _ : state) {
    jww::TJwwData d = Doc("copy.bmp.gz");
    d.BindImageExplode();
  }
  jwwbench::ReportRatio(state, "x_gzip", t.Done(state), {"gunzip"});
  if (fs::file_size(f + "copy.bmp") != kImageBytes) state.SkipWithError("unpack failed");
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(kImageBytes));
}

}  // namespace

BENCHMARK(BM_GzipProgram9)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Pack)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_GzipProgramDecompress)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Unpack)->Unit(benchmark::kMillisecond)->Iterations(3);
