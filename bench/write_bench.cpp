// Writing whole drawings with FileOut, beside a baseline measured in the same run: the same bytes,
// prepared in memory beforehand, written with one write() to a new file beside the target, synced
// and renamed over it — the durability FileOut gives, without any encoding (BM_WriteBytes).
// BM_FileOut/<n> reports `x_baseline`, its time divided by BM_WriteBytes/<n>.
//
// The drawings are the synthetic ones of the read benchmarks, read once with FileIn. The
// 1,000,000-entity drawing takes about a minute to generate the first time; run only the smaller
// one with --benchmark_filter=/100000$.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "bench/baseline.h"
#include "bench/synth.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace {

// One loaded drawing per size, kept for the whole run.
jww::TJwwData& Loaded(benchmark::State& state) {
  static std::map<int64_t, std::unique_ptr<jww::TJwwData>> cache;
  auto& d = cache[state.range(0)];
  if (!d) {
    d = std::make_unique<jww::TJwwData>();
    if (!d->FileIn(jww::Utf8ToStr(jwwbench::SyntheticDrawing(static_cast<uint32_t>(state.range(0))))))
      state.SkipWithError("FileIn failed");
  }
  return *d;
}

// The system's part of the thread's processor time, in milliseconds: the page cache, the file
// system and the sync, which FileOut and the baseline share; the rest is encoding.
double SystemMs() {
  struct rusage ru {};
  ::getrusage(RUSAGE_THREAD, &ru);
  return static_cast<double>(ru.ru_stime.tv_sec) * 1e3 + static_cast<double>(ru.ru_stime.tv_usec) / 1e3;
}

void ReportSystemMs(benchmark::State& state, double startMs) {
  if (state.iterations() > 0)
    state.counters["sys_ms"] = (SystemMs() - startMs) / static_cast<double>(state.iterations());
}

std::u16string Target(benchmark::State& state) {
  const auto p = std::filesystem::temp_directory_path() / ("dravik-write-bench-" + std::to_string(state.range(0)) + ".jww");
  return jww::Utf8ToStr(p.string());
}

void BM_WriteBytes(benchmark::State& state) {
  jww::TJwwData& d = Loaded(state);
  const auto path = Target(state);
  if (!d.FileOut(path, 600)) state.SkipWithError("FileOut failed");
  const std::string bytes = *jww::ReadWholeFile(path);
  const std::string target = jww::StrToUtf8(path);
  const double sys = SystemMs();
  jwwbench::Timed t("write" + std::to_string(state.range(0)));
  for (auto _ : state) {
    if (!jwwbench::WriteOnce(target, bytes)) state.SkipWithError("write failed");
  }
  t.Done(state);
  ReportSystemMs(state, sys);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
  jww::DeleteFileIfExists(path);
}

void BM_FileOut(benchmark::State& state) {
  jww::TJwwData& d = Loaded(state);
  const auto path = Target(state);
  const double sys = SystemMs();
  jwwbench::Timed t("fileout" + std::to_string(state.range(0)));
  for (auto _ : state) {
    if (!d.FileOut(path, 600)) state.SkipWithError("FileOut failed");
  }
  jwwbench::ReportRatio(state, "x_baseline", t.Done(state), {"write" + std::to_string(state.range(0))});
  ReportSystemMs(state, sys);
  const int64_t size = jww::FileDateSize(path).size;
  state.SetBytesProcessed(state.iterations() * size);
  state.SetItemsProcessed(state.iterations() * state.range(0));
  jww::DeleteFileIfExists(path);
}

// Below 420 every attribute part is converted and SXF dimensions are expanded: the slowest path.
void BM_FileOut400(benchmark::State& state) {
  jww::TJwwData& d = Loaded(state);
  const auto path = Target(state);
  for (auto _ : state) {
    if (!d.FileOut(path, 400)) state.SkipWithError("FileOut failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  jww::DeleteFileIfExists(path);
}

}  // namespace

BENCHMARK(BM_WriteBytes)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileOut)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileOut400)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
