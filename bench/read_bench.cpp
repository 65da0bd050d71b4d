// Whole-drawing reading on large synthetic drawings, each beside a baseline measured in the same
// run: reading the same file's bytes into memory (BM_ReadBytes). Compare BM_FileIn/<n> and
// BM_FilePrevIn1000/<n> with BM_ReadBytes/<n>. BM_FileInPeakMemory reports the peak resident
// memory a FileIn adds, as a ratio to the size of the lists it loads.
//
// The 1,000,000-entity drawing takes about a minute to generate the first time (it is kept in the
// temporary folder); run only the smaller one with --benchmark_filter=/100000$.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <fstream>
#include <string>

#include "bench/synth.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace {

std::u16string Drawing(benchmark::State& state) {
  return jww::Utf8ToStr(jwwbench::SyntheticDrawing(static_cast<uint32_t>(state.range(0))));
}

void BM_ReadBytes(benchmark::State& state) {
  const auto path = Drawing(state);
  int64_t size = 0;
  for (auto _ : state) {
    auto bytes = jww::ReadWholeFile(path);
    size = static_cast<int64_t>(bytes->size());
    benchmark::DoNotOptimize(bytes->data());
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_FileIn(benchmark::State& state) {
  const auto path = Drawing(state);
  const int64_t size = jww::FileDateSize(path).size;
  for (auto _ : state) {
    jww::TJwwData d;
    if (!d.FileIn(path)) state.SkipWithError("FileIn failed");
    benchmark::DoNotOptimize(d.EntLineN);
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_FilePrevIn1000(benchmark::State& state) {
  const auto path = Drawing(state);
  for (auto _ : state) {
    jww::TJwwData d;
    if (!d.FilePrevIn(path, 1000)) state.SkipWithError("FilePrevIn failed");
    benchmark::DoNotOptimize(d.EntLineN);
  }
}

void BM_MakeBlockTree(benchmark::State& state) {
  jww::TJwwData d;
  if (!d.FileIn(Drawing(state))) state.SkipWithError("FileIn failed");
  for (auto _ : state) {
    d.MakeBlockTree();
    benchmark::DoNotOptimize(d.EntBlockTreeN);
  }
  state.counters["nodes"] = d.EntBlockTreeN;
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

void BM_FileInPeakMemory(benchmark::State& state) {
  const auto path = Drawing(state);
  double ratio = 0, peakMb = 0, listMb = 0;
  for (auto _ : state) {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";  // peak resident size := current
    const long before = StatusKb("VmRSS:");
    jww::TJwwData d;
    if (!d.FileIn(path)) state.SkipWithError("FileIn failed");
    const long peak = StatusKb("VmHWM:") - before;
    peakMb = peak / 1024.0;
    listMb = ListBytes(d) / 1048576.0;
    ratio = peakMb / listMb;
  }
  state.counters["peak_MiB"] = peakMb;
  state.counters["lists_MiB"] = listMb;
  state.counters["peak_per_lists"] = ratio;
}

}  // namespace

BENCHMARK(BM_ReadBytes)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileIn)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilePrevIn1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MakeBlockTree)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileInPeakMemory)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
