// The Python module's read beside the library's: dravik.read of the 100,000-entity synthetic
// drawing against FileIn of it, in one process that embeds the interpreter, so both run over the
// same heap (the interpreter's allocations interleave with the drawing's, as in a script).
//
// Each iteration's processor time is kept: besides the mean (Google Benchmark's own figure) the
// counters give the median and the 90th percentile, since a read whose memory the C library
// hands back to the system between iterations shows up as a second, slower mode rather than a
// higher mean. BM_DravikRead reports x_filein (median / FileIn's median) and x_filein_mean;
// BM_DravikReadNoStore shows what the library's store of list memory saves.
#include <benchmark/benchmark.h>
#include <pybind11/embed.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <vector>

#include "bench/baseline.h"
#include "bench/synth.h"
#include "common/codepage.h"
#include "jww/JwwUnit.h"

namespace py = pybind11;

namespace {

constexpr uint32_t kEntities = 100000;

double ThreadSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

/// Per-iteration times; the median and 90th percentile as counters (milliseconds).
struct Spread {
  std::vector<double> times;
  double Median() { return At(0.5); }
  double At(double q) {
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    return times[static_cast<size_t>(q * static_cast<double>(times.size() - 1))];
  }
  void Report(benchmark::State& state) {
    state.counters["median_ms"] = Median() * 1e3;
    state.counters["p90_ms"] = At(0.9) * 1e3;
  }
};

double g_fileInMedian = 0;

void BM_FileIn(benchmark::State& state) {
  const std::u16string path = jww::Utf8ToStr(jwwbench::SyntheticDrawing(kEntities));
  Spread s;
  jwwbench::Timed t("filein");
  for (auto _ : state) {
    const double start = ThreadSeconds();
    {
      jww::TJwwData d;
      if (!d.FileIn(path)) state.SkipWithError("FileIn failed");
      benchmark::DoNotOptimize(d.EntLineN);
    }
    s.times.push_back(ThreadSeconds() - start);
  }
  t.Done(state);
  g_fileInMedian = s.Median();
  s.Report(state);
  state.SetItemsProcessed(state.iterations() * kEntities);
}
BENCHMARK(BM_FileIn)->Unit(benchmark::kMillisecond);

// What a script pays: the call, the read (the GIL released), the Drawing handed to Python and
// dropped again.
void BM_DravikRead(benchmark::State& state) {
  const std::string path = jwwbench::SyntheticDrawing(kEntities);
  py::object read = py::module_::import("dravik").attr("read");
  const py::str arg(path);
  Spread s;
  jwwbench::Timed t("dravik");
  for (auto _ : state) {
    const double start = ThreadSeconds();
    {
      py::object d = read(arg);
      benchmark::DoNotOptimize(d.ptr());
    }
    s.times.push_back(ThreadSeconds() - start);
  }
  const double mean = t.Done(state);
  if (g_fileInMedian > 0) state.counters["x_filein"] = s.Median() / g_fileInMedian;
  jwwbench::ReportRatio(state, "x_filein_mean", mean, {"filein"});
  s.Report(state);
  state.SetItemsProcessed(state.iterations() * kEntities);
}
BENCHMARK(BM_DravikRead)->Unit(benchmark::kMillisecond);

// The same with the library's store of list memory emptied after every read (outside the timed
// part), as without the store: the lists' memory goes back to the C library, which may return it
// to the system, and the next read faults it in again.
void BM_DravikReadNoStore(benchmark::State& state) {
  const std::string path = jwwbench::SyntheticDrawing(kEntities);
  py::object read = py::module_::import("dravik").attr("read");
  const py::str arg(path);
  Spread s;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    {
      py::object d = read(arg);
      benchmark::DoNotOptimize(d.ptr());
    }
    s.times.push_back(ThreadSeconds() - start);
    state.PauseTiming();
    jww::ReleaseListMemory();
    state.ResumeTiming();
  }
  if (g_fileInMedian > 0) state.counters["x_filein"] = s.Median() / g_fileInMedian;
  s.Report(state);
}
BENCHMARK(BM_DravikReadNoStore)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  py::scoped_interpreter python;
  // The module of this build folder, whatever else the interpreter's path holds.
  py::module_::import("sys").attr("path").attr("insert")(0, DRAVIK_PYTHON_DIR);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
