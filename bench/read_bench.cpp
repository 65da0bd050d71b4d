// Whole-drawing reading, each figure beside the fastest plain way to get the same bytes, measured
// in the same run: one read() into a buffer allocated outside the timed loop (BM_ReadInto), and a
// read-only mapping with every page touched (BM_MapTouch). Benchmarks of reading report
// `x_baseline`: their processor time divided by the faster of the two for the same file.
//
// - BM_FileIn/<n>, BM_FilePrevIn1000/<n>: synthetic drawings of n entities (steady state). FileIn
//   also reports `x_read` (against BM_ReadInto alone) and `x_floor`: against BM_ListsFloor/<n>,
//   writing fresh memory of the size of the lists it loads, which no reader of the whole model
//   can go below.
// - BM_FileInPeakMemory/<n>, BM_FileInPeakMemoryNamed/0 (syn60k), BM_FilePrevIn1000Memory/<n>:
//   peak resident memory a read adds in a process that keeps no list memory (FileIn as a ratio
//   to the lists it loads).
// - Named drawings (the shared 60,000-entity drawing and the corpus drawings A_manshon_heimen_rei,
//   nichiei_zu and Test2; skipped when absent), each against BM_ReadIntoNamed (`x_read`):
//   BM_FileInNamed reads one drawing again and again (steady state alone), BM_FileInInterleaved
//   reads the others between two reads of it (steady state interleaved; also `x_read_interleaved`,
//   against BM_ReadIntoInterleaved: the read() after the same other reads), and BM_FirstFileIn runs
//   FileIn once in a fresh process and reports that call's wall time (best and mean: a busy
//   machine adds to the wall time). Steady-state benchmarks also report `faults_per_parse`: the
//   minor page faults (getrusage) of one read of a drawing the process has read before.
//   BM_ListsFloorNamed is the steady-state floor of any eager reader of the drawing: the read()
//   and the lists' bytes written into kept memory, no parsing; its `x_read` is the ratio no such
//   reader goes below, and BM_FileInNamed reports `x_floor` against it.
// - BM_JwwInfoProcess/<n> against BM_CatProcess/<n>: `jww info` as a whole process against
//   `cat FILE > /dev/null`, processor time of the child (`x_cat`).
//
// The 1,000,000-entity drawing takes about a minute to generate the first time (it is kept in the
// temporary folder); run only the smaller one with --benchmark_filter=/100000$.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/baseline.h"
#include "bench/synth.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "jww/list_memory.h"

namespace {

using jwwbench::ReportRatio;
using jwwbench::Timed;

std::string SynthPath(benchmark::State& state) {
  return jwwbench::SyntheticDrawing(static_cast<uint32_t>(state.range(0)));
}

std::string Key(const char* what, benchmark::State& state) { return what + std::to_string(state.range(0)); }

/// The shared folder of real drawings ("" when absent).
std::string CorpusDir() {
  std::string dir;
  if (const char* env = std::getenv("DRAVIK_CORPUS")) dir = env;
#ifdef DRAVIK_CORPUS_DIR
  if (dir.empty()) dir = DRAVIK_CORPUS_DIR;
#endif
  std::error_code ec;
  if (dir.empty() || !std::filesystem::is_directory(dir, ec)) return {};
  return dir;
}

/// The drawing of the corpus whose file name ends in `suffix`, or "" when the corpus is absent.
std::string CorpusFile(const std::string& suffix) {
  const std::string dir = CorpusDir();
  if (dir.empty()) return {};
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = e.path().filename().string();
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
      return e.path().string();
  }
  return {};
}

/// The named drawings read alone, interleaved and first in a process: the shared 60,000-entity
/// drawing (beside the corpus, in ../bench) and three real ones of 0.02 to 0.12 MB.
struct TNamed {
  const char* key;
  const char* file;
};
constexpr TNamed kNamed[] = {
    {"syn60k", "../bench/syn60k.jww"},
    {"manshon", "_A_manshon_heimen_rei.jww"},
    {"nichiei", "_nichiei_zu.jww"},
    {"Test2", "_Test2.jww"},
};
constexpr int kNamedN = static_cast<int>(std::size(kNamed));

std::string NamedPath(int i) {
  const std::string file = kNamed[i].file;
  if (file.rfind("../", 0) == 0) {
    const std::string dir = CorpusDir();
    std::error_code ec;
    const std::string path = dir.empty() ? "" : dir + "/" + file;
    return !path.empty() && std::filesystem::is_regular_file(path, ec) ? path : "";
  }
  return CorpusFile(file);
}

/// Minor page faults of this thread so far.
long MinorFaults() {
  rusage ru{};
  ::getrusage(RUSAGE_THREAD, &ru);
  return ru.ru_minflt;
}

/// Processor time of this thread in seconds.
double ThreadSeconds() {
  timespec ts{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// ---- baselines ---------------------------------------------------------------------------------

void ReadIntoBody(benchmark::State& state, const std::string& path, const std::string& key) {
  std::vector<char> buf(static_cast<size_t>(std::filesystem::file_size(path)));
  Timed t(key);
  for (auto _ : state) benchmark::DoNotOptimize(jwwbench::ReadInto(path, buf));
  t.Done(state);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(buf.size()));
}

void MapTouchBody(benchmark::State& state, const std::string& path, const std::string& key) {
  Timed t(key);
  for (auto _ : state) benchmark::DoNotOptimize(jwwbench::MapAndTouch(path));
  t.Done(state);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_ReadInto(benchmark::State& state) { ReadIntoBody(state, SynthPath(state), Key("read", state)); }
void BM_MapTouch(benchmark::State& state) { MapTouchBody(state, SynthPath(state), Key("map", state)); }

size_t ListBytes(const jww::TJwwData& d);

// ---- reading -----------------------------------------------------------------------------------

void FileInBody(benchmark::State& state, const std::string& path, const std::string& n) {
  const auto upath = jww::Utf8ToStr(path);
  {
    jww::TJwwData warm;  // steady state: the process has read this drawing before
    if (!warm.FileIn(upath)) return state.SkipWithError("FileIn failed");
  }
  const long faults = MinorFaults();
  Timed t("filein" + n);
  for (auto _ : state) {
    jww::TJwwData d;
    if (!d.FileIn(upath)) state.SkipWithError("FileIn failed");
    benchmark::DoNotOptimize(d.EntLineN);
  }
  const double seconds = t.Done(state);
  state.counters["faults_per_parse"] =
      static_cast<double>(MinorFaults() - faults) / static_cast<double>(state.iterations());
  ReportRatio(state, "x_baseline", seconds, {"read" + n, "map" + n});
  ReportRatio(state, "x_read", seconds, {"read" + n});
  ReportRatio(state, "x_floor", seconds, {"floor" + n});
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(path)));
}

void BM_FileIn(benchmark::State& state) {
  FileInBody(state, SynthPath(state), std::to_string(state.range(0)));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FilePrevIn1000(benchmark::State& state) {
  const auto path = jww::Utf8ToStr(SynthPath(state));
  const std::string n = std::to_string(state.range(0));
  Timed t("prev" + n);
  for (auto _ : state) {
    jww::TJwwData d;
    if (!d.FilePrevIn(path, 1000)) state.SkipWithError("FilePrevIn failed");
    benchmark::DoNotOptimize(d.EntLineN);
  }
  ReportRatio(state, "x_baseline", t.Done(state), {"read" + n, "map" + n});
}

void BM_MakeBlockTree(benchmark::State& state) {
  jww::TJwwData d;
  if (!d.FileIn(jww::Utf8ToStr(SynthPath(state)))) state.SkipWithError("FileIn failed");
  for (auto _ : state) {
    d.MakeBlockTree();
    benchmark::DoNotOptimize(d.EntBlockTreeN);
  }
  state.counters["nodes"] = d.EntBlockTreeN;
}

void BM_ReadIntoNamed(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  state.SetLabel(kNamed[i].key);
  const std::string path = NamedPath(i);
  if (path.empty()) return state.SkipWithError("drawing absent (set DRAVIK_CORPUS)");
  ReadIntoBody(state, path, std::string("read") + kNamed[i].key);
}

/// The least an eager reader of one named drawing spends in steady state: one read() of the file
/// into a buffer kept between rounds, and as many bytes as the loaded lists hold written into
/// memory kept between rounds - no parsing, no allocation, no page faults. FileInNamed reports
/// `x_floor` against it; its own `x_read` is the ratio to read() no eager reader goes below.
void BM_ListsFloorNamed(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  state.SetLabel(kNamed[i].key);
  const std::string path = NamedPath(i);
  if (path.empty()) return state.SkipWithError("drawing absent (set DRAVIK_CORPUS)");
  size_t bytes = 0;
  {
    jww::TJwwData d;
    if (!d.FileIn(jww::Utf8ToStr(path))) return state.SkipWithError("FileIn failed");
    bytes = ListBytes(d);
  }
  std::vector<char> buf(static_cast<size_t>(std::filesystem::file_size(path)));
  std::vector<char> lists(bytes);
  int round = 0;
  Timed t(std::string("floor") + kNamed[i].key);
  for (auto _ : state) {
    benchmark::DoNotOptimize(jwwbench::ReadInto(path, buf));
    std::memset(lists.data(), ++round, bytes);
    benchmark::ClobberMemory();
  }
  const double seconds = t.Done(state);
  state.counters["lists_KiB"] = bytes / 1024.0;
  ReportRatio(state, "x_read", seconds, {std::string("read") + kNamed[i].key});
}

/// Steady state alone: the same drawing read again and again.
void BM_FileInNamed(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  state.SetLabel(kNamed[i].key);
  const std::string path = NamedPath(i);
  if (path.empty()) return state.SkipWithError("drawing absent (set DRAVIK_CORPUS)");
  FileInBody(state, path, kNamed[i].key);
}

/// Steady state interleaved: between two reads of the drawing the process reads the other named
/// drawings (documents made and freed), as a viewer or a converter does. Only the named
/// drawing's read is timed and its faults counted.
/// The other named drawings' paths for an interleaved benchmark of drawing `i` (empty when one
/// is absent), and the reads done between two of its rounds.
std::vector<std::u16string> NamedPaths() {
  std::vector<std::u16string> paths;
  for (int k = 0; k < kNamedN; ++k) {
    const std::string p = NamedPath(k);
    if (p.empty()) return {};
    paths.push_back(jww::Utf8ToStr(p));
  }
  return paths;
}

void ReadOthers(const std::vector<std::u16string>& paths, int i) {
  for (int k = 0; k < kNamedN; ++k) {
    if (k == i) continue;
    jww::TJwwData d;
    benchmark::DoNotOptimize(d.FileIn(paths[static_cast<size_t>(k)]));
  }
}

/// The baseline of the interleaved steady state: one read() of the drawing into a buffer kept
/// between rounds, with the other named drawings read between two rounds as in
/// BM_FileInInterleaved - the plain way to get the same bytes after the same other work, whose
/// file pages and buffer the other reads have pushed out of the caches as they push FileIn's.
void BM_ReadIntoInterleaved(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  state.SetLabel(kNamed[i].key);
  const std::vector<std::u16string> paths = NamedPaths();
  if (paths.empty()) return state.SkipWithError("drawing absent (set DRAVIK_CORPUS)");
  const std::string path = NamedPath(i);
  std::vector<char> buf(static_cast<size_t>(std::filesystem::file_size(path)));
  double seconds = 0;
  for (auto _ : state) {
    ReadOthers(paths, i);
    const double t0 = ThreadSeconds();
    benchmark::DoNotOptimize(jwwbench::ReadInto(path, buf));
    seconds += ThreadSeconds() - t0;
  }
  const double perRound = seconds / static_cast<double>(state.iterations());
  jwwbench::Keep(std::string("readInterleaved") + kNamed[i].key, perRound);
  state.counters["read_us"] = 1e6 * perRound;
  ReportRatio(state, "x_read", perRound, {std::string("read") + kNamed[i].key});
}

void BM_FileInInterleaved(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  state.SetLabel(kNamed[i].key);
  const std::vector<std::u16string> paths = NamedPaths();
  if (paths.empty()) return state.SkipWithError("drawing absent (set DRAVIK_CORPUS)");
  auto others = [&] { ReadOthers(paths, i); };
  {
    jww::TJwwData warm;
    if (!warm.FileIn(paths[i])) return state.SkipWithError("FileIn failed");
  }
  double seconds = 0;
  long faults = 0;
  for (auto _ : state) {
    others();
    const long f0 = MinorFaults();
    const double t0 = ThreadSeconds();
    {
      jww::TJwwData d;
      if (!d.FileIn(paths[i])) state.SkipWithError("FileIn failed");
      benchmark::DoNotOptimize(d.EntLineN);
    }
    seconds += ThreadSeconds() - t0;
    faults += MinorFaults() - f0;
  }
  const double iters = static_cast<double>(state.iterations());
  state.counters["filein_us"] = 1e6 * seconds / iters;
  state.counters["faults_per_parse"] = static_cast<double>(faults) / iters;
  ReportRatio(state, "x_read", seconds / iters, {std::string("read") + kNamed[i].key});
  ReportRatio(state, "x_read_interleaved", seconds / iters, {std::string("readInterleaved") + kNamed[i].key});
}

/// FileIn once in a fresh process (this program, started with --first-filein): whatever a first
/// read pays once per process (tables, first page faults of the code) shows here.
void BM_FirstFileIn(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  state.SetLabel(kNamed[i].key);
  const std::string path = NamedPath(i);
  if (path.empty()) return state.SkipWithError("drawing absent (set DRAVIK_CORPUS)");
  const std::string out = (std::filesystem::temp_directory_path() / "dravik-first-filein.txt").string();
  double sum = 0, best = 1e30;
  for (auto _ : state) {
    if (jwwbench::RunProcess({"/proc/self/exe", "--first-filein", path, out}) < 0)
      return state.SkipWithError("child failed");
    double us = 0;
    std::ifstream(out) >> us;
    sum += us;
    best = std::min(best, us);
  }
  std::remove(out.c_str());
  state.counters["first_FileIn_us"] = sum / static_cast<double>(state.iterations());
  state.counters["best_us"] = best;
}

// ---- whole processes ---------------------------------------------------------------------------

void BM_CatProcess(benchmark::State& state) {
  const std::string path = SynthPath(state);
  double cpu = 0;
  for (auto _ : state) {
    const double s = jwwbench::RunProcess({"/bin/cat", path});
    if (s < 0) return state.SkipWithError("cat failed");
    cpu += s;
  }
  jwwbench::Keep(Key("cat", state), cpu / static_cast<double>(state.iterations()));
  state.counters["child_cpu_ms"] = 1e3 * cpu / static_cast<double>(state.iterations());
}

void BM_JwwInfoProcess(benchmark::State& state) {
  const std::string path = SynthPath(state);
  const std::string tool = jwwbench::ExeFolder() + "/../tools/jww";
  if (!std::filesystem::exists(tool)) return state.SkipWithError("build the jww tool first");
  double cpu = 0;
  for (auto _ : state) {
    const double s = jwwbench::RunProcess({tool, "info", path});
    if (s < 0) return state.SkipWithError("jww info failed");
    cpu += s;
  }
  cpu /= static_cast<double>(state.iterations());
  state.counters["child_cpu_ms"] = 1e3 * cpu;
  ReportRatio(state, "x_cat", cpu, {Key("cat", state)});
}

// ---- memory ------------------------------------------------------------------------------------

size_t StrBytes(const std::u16string& s) { return s.capacity() > 7 ? (s.capacity() + 1) * 2 : 0; }

template <class T>
size_t VecBytes(const std::vector<T>& v) {
  return v.size() * sizeof(T);
}

/// Bytes the loaded lists need at their lengths (records plus the heap part of their strings).
size_t ListBytes(const jww::TJwwData& d) {
  auto moji = [](const std::vector<jww::TEntJwwMoji>& v) {
    size_t n = VecBytes(v);
    for (const auto& m : v) n += StrBytes(m.str) + StrBytes(m.strFontName);
    return n;
  };
  auto sunpo = [](const std::vector<jww::TEntJwwSunpo>& v) {
    size_t n = VecBytes(v);
    for (const auto& m : v) n += StrBytes(m.Moji.str) + StrBytes(m.Moji.strFontName);
    return n;
  };
  size_t n = VecBytes(d.EntNo) + VecBytes(d.EntLine) + VecBytes(d.EntEnko) + VecBytes(d.EntTen) +
             moji(d.EntMoji) + sunpo(d.EntSunpo) + VecBytes(d.EntSolid) + VecBytes(d.EntBlock) +
             VecBytes(d.EntBlockDef) + VecBytes(d.EntBlockTree);
  for (const auto& b : d.EntBlockDef)
    n += VecBytes(b.mNo) + VecBytes(b.mLine) + VecBytes(b.mEnko) + VecBytes(b.mTen) + moji(b.mMoji) +
         sunpo(b.mSunpo) + VecBytes(b.mSolid) + VecBytes(b.mBlock);
  return n;
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string k;
  long v = 0;
  while (in >> k) {
    if (k == key) {
      in >> v;
      return v;
    }
    std::getline(in, k);
  }
  return 0;
}

/// Peak resident memory `read` adds, in MiB, from a process that keeps no list memory.
template <class Read>
double PeakMb(Read&& read) {
  jww::ReleaseListMemory();
  malloc_trim(0);
  std::ofstream("/proc/self/clear_refs") << "5";  // peak resident size := current
  const long before = StatusKb("VmRSS:");
  read();
  return (StatusKb("VmHWM:") - before) / 1024.0;
}

// The least any reader that loads the lists must spend: memory of the lists' size, from the
// allocator as FileIn takes it (advised for huge pages from 32 MiB on) and written once, then
// freed, as a document's lists are when the next read starts. No parsing at all; FileIn reports
// its time against it as `x_floor`.
void BM_ListsFloor(benchmark::State& state) {
  size_t bytes = 0;
  {
    jww::TJwwData d;
    if (!d.FileIn(jww::Utf8ToStr(SynthPath(state)))) return state.SkipWithError("FileIn failed");
    bytes = ListBytes(d);
  }
  Timed t(Key("floor", state));
  for (auto _ : state) {
    std::vector<char> lists;
    jww::ReserveList(lists, bytes);
    lists.resize(bytes);
    benchmark::DoNotOptimize(lists.data());
    benchmark::ClobberMemory();
  }
  t.Done(state);
  state.counters["lists_MiB"] = bytes / 1048576.0;
}

void PeakMemoryBody(benchmark::State& state, const std::string& file) {
  const auto path = jww::Utf8ToStr(file);
  double peakMb = 0, listMb = 0;
  for (auto _ : state) {
    peakMb = PeakMb([&] {
      jww::TJwwData d;
      if (!d.FileIn(path)) state.SkipWithError("FileIn failed");
      listMb = ListBytes(d) / 1048576.0;
    });
  }
  state.counters["peak_MiB"] = peakMb;
  state.counters["lists_MiB"] = listMb;
  state.counters["peak_per_lists"] = peakMb / listMb;
}

void BM_FileInPeakMemory(benchmark::State& state) { PeakMemoryBody(state, SynthPath(state)); }

void BM_FileInPeakMemoryNamed(benchmark::State& state) {
  const int i = static_cast<int>(state.range(0));
  state.SetLabel(kNamed[i].key);
  const std::string path = NamedPath(i);
  if (path.empty()) return state.SkipWithError("drawing absent (set DRAVIK_CORPUS)");
  PeakMemoryBody(state, path);
}

void BM_FilePrevIn1000Memory(benchmark::State& state) {
  const auto path = jww::Utf8ToStr(SynthPath(state));
  double peakMb = 0;
  for (auto _ : state) {
    peakMb = PeakMb([&] {
      jww::TJwwData d;
      if (!d.FilePrevIn(path, 1000)) state.SkipWithError("FilePrevIn failed");
    });
  }
  state.counters["peak_MiB"] = peakMb;
}

}  // namespace

BENCHMARK(BM_ReadInto)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapTouch)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListsFloor)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileIn)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilePrevIn1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MakeBlockTree)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadIntoNamed)->DenseRange(0, kNamedN - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListsFloorNamed)->DenseRange(0, kNamedN - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FileInNamed)->DenseRange(0, kNamedN - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadIntoInterleaved)->DenseRange(0, kNamedN - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FileInInterleaved)->DenseRange(0, kNamedN - 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstFileIn)->DenseRange(0, kNamedN - 1)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CatProcess)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JwwInfoProcess)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileInPeakMemory)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileInPeakMemoryNamed)->Arg(0)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilePrevIn1000Memory)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // Child mode of BM_FirstFileInTest2: one FileIn, its time in microseconds written to a file.
  if (argc == 4 && std::string(argv[1]) == "--first-filein") {
    const auto path = jww::Utf8ToStr(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    jww::TJwwData d;
    const bool ok = d.FileIn(path);
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
    std::ofstream(argv[3]) << us << '\n';
    return ok ? 0 : 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
