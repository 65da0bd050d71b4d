// Comparing two large drawings that differ in 1 % of their entities (every hundredth line moved,
// every hundredth text reworded, every hundredth arc recoloured), each figure beside reading
// both drawings with FileIn in the same run:
// - BM_FileInBoth/<n>: the baseline, both drawings read in this process.
// - BM_Compare/<n>: compare::Compare alone on the two read drawings (`x_read`).
// - BM_ReadBothProcess/<n>: a fresh process that reads both drawings and ends (this program in
//   its child mode): what reading costs where memory is new, its pages cleared by the kernel.
// - BM_JwwDiffProcess/<n>: `jww diff` as a whole process, reading and comparing, processor time
//   of the child (`x_read`, against the in-process reading; the goal is at most 3), and
//   `x_read_process` against BM_ReadBothProcess.
// Each runs on two pairs: /0 keeps the order of the entities, /1 stores the revision's entities
// in another order (shuffled), where no record lies where it was and everything is matched
// through the hashes.
// The 1,000,000-entity pair takes a minute or two to make the first time (kept in the temporary
// folder); --benchmark_filter=/100000/ runs the smaller pairs alone.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

#include "bench/baseline.h"
#include "bench/synth.h"
#include "common/codepage.h"
#include "compare/Compare.h"
#include "jww/JwwUnit.h"

namespace {

using jwwbench::ReportRatio;
using jwwbench::Timed;

struct Pair {
  std::string a, b;
};

// The synthetic drawing as the writer stores it (so that only the edits differ, not what the
// writer corrects) and its revision with 1 % of its entities edited.
Pair Drawings(benchmark::State& state) {
  Pair p;
  const std::string synth = jwwbench::SyntheticDrawing(static_cast<uint32_t>(state.range(0)));
  p.a = synth.substr(0, synth.size() - 4) + "-base.jww";
  const bool reorder = state.range(1) != 0;
  p.b = synth.substr(0, synth.size() - 4) + (reorder ? "-rev-shuffled.jww" : "-rev.jww");
  if (std::filesystem::exists(p.b)) return p;
  jww::TJwwData d;
  if (!d.FileIn(jww::Utf8ToStr(synth)) || !d.FileOut(jww::Utf8ToStr(p.a), d.Enthd.jwVer) ||
      !d.FileIn(jww::Utf8ToStr(p.a)))
    return {};
  // One in a hundred of every kind the drawing's own list holds, three ways.
  for (int i = 0; i < d.EntLineN; i += 100) d.EntLine[i].start_x += 1;
  for (int i = 0; i < d.EntMojiN; i += 100) d.EntMoji[i].str += u"!";
  for (int i = 0; i < d.EntEnkoN; i += 100) d.EntEnko[i].att.nPenColor = d.EntEnko[i].att.nPenColor % 8 + 1;
  for (int i = 0; i < d.EntTenN; i += 100) d.EntTen[i].start_y -= 1;
  for (int i = 0; i < d.EntSolidN; i += 100) d.EntSolid[i].att.nLayer = (d.EntSolid[i].att.nLayer + 1) % 16;
  for (int i = 0; i < d.EntSunpoN; i += 100) d.EntSunpo[i].Moji.str += u"0";
  for (int i = 0; i < d.EntBlockN; i += 100) d.EntBlock[i].DPKijunTen_x += 2;
  // The writer stores the entities in the order of the drawing's list of them.
  if (reorder) std::shuffle(d.EntNo.begin(), d.EntNo.begin() + d.Enthd.n1, std::mt19937(20261210));
  if (!d.FileOut(jww::Utf8ToStr(p.b), d.Enthd.jwVer)) return {};
  return p;
}

std::string Key(const char* what, benchmark::State& state) {
  return what + std::to_string(state.range(0)) + "/" + std::to_string(state.range(1));
}

void BM_FileInBoth(benchmark::State& state) {
  const Pair p = Drawings(state);
  if (p.b.empty()) return state.SkipWithError("cannot make the drawings");
  Timed t(Key("both", state));
  for (auto _ : state) {
    jww::TJwwData a, b;
    if (!a.FileIn(jww::Utf8ToStr(p.a)) || !b.FileIn(jww::Utf8ToStr(p.b))) state.SkipWithError("FileIn failed");
    benchmark::DoNotOptimize(a.EntLineN + b.EntLineN);
  }
  t.Done(state);
}

void BM_Compare(benchmark::State& state) {
  const Pair p = Drawings(state);
  jww::TJwwData a, b;
  if (p.b.empty() || !a.FileIn(jww::Utf8ToStr(p.a)) || !b.FileIn(jww::Utf8ToStr(p.b)))
    return state.SkipWithError("cannot read the drawings");
  Timed t(Key("compare", state));
  compare::Result r;
  for (auto _ : state) {
    r = compare::Compare(a, b);
    benchmark::DoNotOptimize(r.unchanged);
  }
  ReportRatio(state, "x_read", t.Done(state), {Key("both", state)});
  state.counters["changes"] = static_cast<double>(r.entities.size());
  state.counters["unchanged"] = static_cast<double>(r.unchanged);
}

void BM_ReadBothProcess(benchmark::State& state) {
  const Pair p = Drawings(state);
  double cpu = 0;
  for (auto _ : state) {
    const double s = jwwbench::RunProcess({jwwbench::ExeFolder() + "/diff_bench", "--read-both", p.a, p.b});
    if (s < 0) return state.SkipWithError("the reading child failed");
    cpu += s;
  }
  cpu /= static_cast<double>(state.iterations());
  jwwbench::Keep(Key("bothprocess", state), cpu);
  state.counters["child_cpu_ms"] = 1e3 * cpu;
}

void BM_JwwDiffProcess(benchmark::State& state) {
  const Pair p = Drawings(state);
  const std::string tool = jwwbench::ExeFolder() + "/../tools/jww";
  if (!std::filesystem::exists(tool)) return state.SkipWithError("build the jww tool first");
  double cpu = 0;
  for (auto _ : state) {
    // jww diff ends with 1 for drawings that differ; the shell turns that into success.
    const double s = jwwbench::RunProcess(
        {"/bin/sh", "-c", "\"$0\" diff \"$1\" \"$2\" >/dev/null; test $? -eq 1", tool, p.a, p.b});
    if (s < 0) return state.SkipWithError("jww diff did not report a difference");
    cpu += s;
  }
  cpu /= static_cast<double>(state.iterations());
  state.counters["child_cpu_ms"] = 1e3 * cpu;
  ReportRatio(state, "x_read", cpu, {Key("both", state)});
  ReportRatio(state, "x_read_process", cpu, {Key("bothprocess", state)});
}

}  // namespace

#define PAIRS ArgsProduct({{100000, 1000000}, {0, 1}})->Unit(benchmark::kMillisecond)
// The first read of a pair meets it cold (made just now, or out of the page cache): not the
// baseline.
BENCHMARK(BM_FileInBoth)->PAIRS->MinWarmUpTime(0.5);
BENCHMARK(BM_Compare)->PAIRS;
BENCHMARK(BM_ReadBothProcess)->PAIRS;
BENCHMARK(BM_JwwDiffProcess)->PAIRS;

int main(int argc, char** argv) {
  // Child mode of BM_ReadBothProcess: both drawings read with FileIn, nothing else.
  if (argc == 4 && std::string(argv[1]) == "--read-both") {
    jww::TJwwData a, b;
    return a.FileIn(jww::Utf8ToStr(argv[2])) && b.FileIn(jww::Utf8ToStr(argv[3])) ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
