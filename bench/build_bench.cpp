// Building drawings: 1,000,000 mixed entities (lines, arcs, texts placed at base points,
// dimensions; a quarter each) added to a new drawing and closed with AddEntPost (BM_Construct),
// beside FileIn of the same drawing written to disk (BM_FileInOfBuilt) and one read() of that
// file's bytes (BM_ReadBytesOfBuilt), all in the same run and in processor time. BM_Construct
// reports `x_filein`, its time over FileIn's: construction should cost no more than FileIn of
// what it built.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bench/baseline.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace {

void Build(jww::TJwwData& d, int64_t n) {
  d.DataDefaultSet();
  d.AddEntPre();
  const std::u16string font = u"\uff2d\uff33 \u30b4\u30b7\u30c3\u30af", label = u"A-12", dim = u"1500";
  for (int64_t i = 0; i < n; ++i) {
    const double x = static_cast<double>(i % 1000) * 10, y = static_cast<double>(i / 1000) * 10;
    switch (i % 4) {
      case 0: d.AddEntLine(0, 0, 1, 2, 1, 0, 0, x, y, x + 9, y + 3); break;
      case 1: d.AddEntArc(0, 0, 1, 3, 1, 0, 0, x, y, 4, 1, 0, 270, 0); break;
      case 2: d.AddEntMoji(0, 0, 2, 1, static_cast<int>(i % 9) + 1, 0, 0, 3, x, y, 0.0, 0.0, 0.0, 0.0, font, label); break;
      default:
        d.AddEntSunpo(0, 0, 3, 1, 1, 0, 0, x, y, x + 9, y, 1, 2, 0, 0, 0, x + 4.5, y + 0.5, 2.5, 2.5, 0.5, 0.0, font,
                      dim, 1.0, 1.0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 1.0, 1, 1, 0, 0, 0, 1.0,  //
                      1, 1, 0, 0, 0, x, y - 5, 1.0, 1, 1, 0, 0, 0, x + 9, y - 5, 1.0);
    }
  }
  d.AddEntPost();
}

std::u16string BuiltFile(int64_t n) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("dravik-built-" + std::to_string(n) + ".jww")).string();
  const std::u16string p = jww::Utf8ToStr(path);
  jww::TJwwData d;
  Build(d, n);
  d.FileOut(p, 600);
  return p;
}

std::string Key(const char* what, int64_t n) { return what + std::to_string(n); }

void BM_ReadBytesOfBuilt(benchmark::State& state) {
  const std::string path = jww::StrToUtf8(BuiltFile(state.range(0)));
  std::vector<char> buf(static_cast<size_t>(std::filesystem::file_size(path)));
  jwwbench::Timed t(Key("read", state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(jwwbench::ReadInto(path, buf));
  t.Done(state);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(buf.size()));
}

void BM_FileInOfBuilt(benchmark::State& state) {
  const std::u16string path = BuiltFile(state.range(0));
  jwwbench::Timed t(Key("filein", state.range(0)));
  for (auto _ : state) {
    jww::TJwwData d;
    if (!d.FileIn(path)) state.SkipWithError("FileIn failed");
    benchmark::DoNotOptimize(d.EntNo.data());
  }
  jwwbench::ReportRatio(state, "x_baseline", t.Done(state), {Key("read", state.range(0))});
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_Construct(benchmark::State& state) {
  jwwbench::Timed t(Key("construct", state.range(0)));
  for (auto _ : state) {
    jww::TJwwData d;
    Build(d, state.range(0));
    benchmark::DoNotOptimize(d.EntNo.data());
  }
  const double s = t.Done(state);
  jwwbench::ReportRatio(state, "x_filein", s, {Key("filein", state.range(0))});
  jwwbench::ReportRatio(state, "x_baseline", s, {Key("read", state.range(0))});
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_ReadBytesOfBuilt)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileInOfBuilt)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Construct)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
