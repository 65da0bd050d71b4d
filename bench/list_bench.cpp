// Header reading and list generation, each beside a baseline measured in the same run: the same
// files' bytes read with one read() each into a buffer allocated outside the timed loop. The list
// is written as dravik-list writes it (WriteListFile: made and written part by part, then put in
// place).
// BM_FileHeaderIn/<ver> and BM_ListFile1000 report `x_baseline`, their time divided by
// BM_ReadBytes/<ver> and BM_ReadBytes1000.
#include <benchmark/benchmark.h>

#include "bench/baseline.h"
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
  jwwbench::Timed t("header" + std::to_string(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(d.FileHeaderIn(path));
  jwwbench::ReportRatio(state, "x_baseline", t.Done(state), {"read" + std::to_string(state.range(0))});
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(jww::FileDateSize(path).size));
}

std::vector<char>& Buffer() {
  static std::vector<char> buf(1 << 20);
  return buf;
}

void BM_ReadBytes(benchmark::State& state) {
  const auto path = HeaderFile(static_cast<int>(state.range(0)));
  const std::string p8 = jww::StrToUtf8(path);
  jwwbench::Timed t("read" + std::to_string(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(jwwbench::ReadInto(p8, Buffer()));
  t.Done(state);
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
  jwwbench::Timed t("list1000");
  for (auto _ : state) benchmark::DoNotOptimize(dravik::WriteListFile(out, files, 10, d, regional));
  jwwbench::ReportRatio(state, "x_baseline", t.Done(state), {"read1000"});
  state.SetItemsProcessed(state.iterations() * 1000);
}

void BM_ReadBytes1000(benchmark::State& state) {
  std::vector<std::string> files;
  for (const auto& f : Drawings1000()) files.push_back(jww::StrToUtf8(f));
  jwwbench::Timed t("read1000");
  for (auto _ : state)
    for (const auto& f : files) benchmark::DoNotOptimize(jwwbench::ReadInto(f, Buffer()));
  t.Done(state);
  state.SetItemsProcessed(state.iterations() * 1000);
}

}  // namespace

// Baselines first: the ratios need them.
BENCHMARK(BM_ReadBytes)->Arg(220)->Arg(230)->Arg(300)->Arg(420)->Arg(600)->Arg(700);
BENCHMARK(BM_FileHeaderIn)->Arg(220)->Arg(230)->Arg(300)->Arg(420)->Arg(600)->Arg(700);
BENCHMARK(BM_ReadBytes1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListFile1000)->Unit(benchmark::kMillisecond);
