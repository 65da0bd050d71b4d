// Header reading and list generation, each beside a baseline measured in the same run: reading
// the same files' bytes into memory. Compare BM_FileHeaderIn/<ver> with BM_ReadBytes/<ver>, and
// BM_ListFile1000 with BM_ReadBytes1000.
#include <benchmark/benchmark.h>

#include "list/ListFile.h"
#include "tests/jww_bytes.h"

namespace {

jwwtest::TempDir& Dir() {
  static jwwtest::TempDir dir;
  return dir;
}

// A drawing header of the given version with names and a memo, as a file.
std::u16string HeaderFile(int ver, int index = 0) {
  jww::TJwwData d;
  jwwtest::Bytes::SizeTables(d);
  d.Enthd.strMemo = u"基準階平面図\r\n縮尺 1/100";
  d.Enthd.nZumen = 3;
  for (int g = 0; g < 16; ++g) {
    d.EntLgrp[g].adScale = 100;
    d.EntLgrp[g].aStrGLayName = u"グループ";
  }
  for (int i = 0; i < 256; ++i) d.EntLay[i].aStrLayName = i % 3 ? u"" : u"通り芯";
  for (int i = 0; i < 257; ++i) d.EntColS[i].astrUDColorName = u"color";
  const std::string path = Dir().path("h" + std::to_string(ver) + "-" + std::to_string(index) + ".jww");
  return jwwtest::Bytes().Header(d, ver).WriteTo(path);
}

const int kVersions[] = {220, 230, 300, 420, 600, 700};

void BM_FileHeaderIn(benchmark::State& state) {
  const auto path = HeaderFile(static_cast<int>(state.range(0)));
  jww::TJwwData d;
  for (auto _ : state) benchmark::DoNotOptimize(d.FileHeaderIn(path));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(jww::FileDateSize(path).size));
}

void BM_ReadBytes(benchmark::State& state) {
  const auto path = HeaderFile(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(jww::ReadWholeFile(path));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(jww::FileDateSize(path).size));
}

const std::vector<std::u16string>& Drawings1000() {
  static const std::vector<std::u16string> files = [] {
    std::vector<std::u16string> f;
    for (int i = 0; i < 1000; ++i) f.push_back(HeaderFile(kVersions[i % 6], i));
    return f;
  }();
  return files;
}

void BM_ListFile1000(benchmark::State& state) {
  const auto& files = Drawings1000();
  jww::TJwwData d;
  const jww::TRegional regional = jww::RegionalFromLocale();
  const auto out = jww::Utf8ToStr(Dir().path("List.txt"));
  for (auto _ : state) {
    auto lines = dravik::ListFileLines(files, 10, d, regional);
    benchmark::DoNotOptimize(dravik::SaveListFile(out, lines));
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_ReadBytes1000(benchmark::State& state) {
  const auto& files = Drawings1000();
  for (auto _ : state)
    for (const auto& f : files) benchmark::DoNotOptimize(jww::ReadWholeFile(f));
  state.SetItemsProcessed(state.iterations() * 1000);
}

}  // namespace

BENCHMARK(BM_FileHeaderIn)->Arg(220)->Arg(230)->Arg(300)->Arg(420)->Arg(600)->Arg(700);
BENCHMARK(BM_ReadBytes)->Arg(220)->Arg(230)->Arg(300)->Arg(420)->Arg(600)->Arg(700);
BENCHMARK(BM_ListFile1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBytes1000)->Unit(benchmark::kMillisecond);
