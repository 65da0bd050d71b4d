// The file manager's thumbnail (256 px: bounded preview read, scene, painter), each figure beside
// the fastest plain way to get the same files' bytes in the same run (one read() per file into a
// buffer allocated outside the loop). BM_Thumbnail reports `x_baseline`, its processor time over
// BM_ReadBytes's for the same files, and `ms_per_drawing`.
// - /0: every corpus drawing (skipped when the corpus is absent);
// - /1000000: the 1,000,000-entity synthetic drawing with every layer shown, where the item
//   budget has to keep the cost flat;
// - /-6: a block bomb of a few dozen items that would place 10^7 lines, where the thumbnail's
//   placement limit has to.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/baseline.h"
#include "bench/synth.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "thumbnail/Thumbnail.h"

namespace {

void NeedGui() {
  if (!qApp) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "thumbnail_bench";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  }
}

std::vector<std::string> CorpusDrawings() {
  std::string dir;
  if (const char* env = std::getenv("DRAVIK_CORPUS")) dir = env;
#ifdef DRAVIK_CORPUS_DIR
  if (dir.empty()) dir = DRAVIK_CORPUS_DIR;
#endif
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    std::string ext = e.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (e.is_regular_file(ec) && ext == ".jww") out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The synthetic drawing with every layer group and layer shown (its tables are zeroed, which hides
// them all), written once beside the synthetic file.
std::string VisibleSynthetic(uint32_t entities) {
  const std::string src = jwwbench::SyntheticDrawing(entities);
  const std::string dst = src + ".visible.jww";
  if (!std::filesystem::exists(dst)) {
    jww::TJwwData d;
    if (!d.FileIn(jww::Utf8ToStr(src))) return {};
    for (auto& g : d.EntLgrp) g.anGLay = 2, g.adScale = 100;
    for (auto& l : d.EntLay) l.aanLay = 2;
    if (!d.FileOut(jww::Utf8ToStr(dst), 600)) return {};
  }
  return dst;
}

template <class T>
void Add(std::vector<T>& list, jww::Integer& n, std::vector<jww::TEntJwwNo>& order, int kind, const T& e) {
  list.push_back(e);
  order.push_back({kind, n++});
}

// A hostile drawing of a few dozen items: definition k inserts definition k - 1 ten times,
// definition 0 holds ten lines across the paper, and the drawing inserts the last definition once,
// so that placed in full it would be 10^(depth + 1) lines, all on the paper (depth 6 keeps the
// innermost definition within the block tree's limit, so the file holds it). Written once to the
// temporary folder.
std::string BlockBomb(int depth) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("dravik-block-bomb-" + std::to_string(depth) + ".jww")).string();
  if (std::filesystem::exists(path)) return path;
  jww::TJwwData d;
  d.DataDefaultSet();
  jww::TEntJwwAttr att;
  att.nPenStyle = 1;
  att.nPenColor = 1;
  for (int k = 0; k <= depth; ++k) {
    jww::TEntJwwBlockDef b;
    b.nNumber = static_cast<jww::Cardinal>(k);
    b.strName = u"b" + jww::Utf8ToStr(std::to_string(k));
    for (int i = 0; i < 10; ++i) {
      if (k == 0) {
        Add(b.mLine, b.mLineN, b.mNo, jww::kEntLine, jww::TEntJwwLine{att, -40.0, i - 30.0, 40.0, 30.0 - i});
      } else {
        // All ten on top of each other, so that every placed line crosses the paper.
        jww::TEntJwwBlock ins{att, 0, 0, 1, 1, i * 0.01, static_cast<jww::Cardinal>(k - 1)};
        Add(b.mBlock, b.mBlockN, b.mNo, jww::kEntBlock, ins);
      }
    }
    b.N = static_cast<jww::Integer>(b.mNo.size());
    d.EntBlockDef.push_back(b);
  }
  d.EntBlockDefN = d.Enthd.n2 = depth + 1;
  Add(d.EntBlock, d.EntBlockN, d.EntNo, jww::kEntBlock,
      jww::TEntJwwBlock{att, 0, 0, 1, 1, 0, static_cast<jww::Cardinal>(depth)});
  d.Enthd.n1 = 1;
  d.MakeBlockTree();
  return d.FileOut(jww::Utf8ToStr(path), 600) ? path : std::string();
}

std::vector<std::string> Files(benchmark::State& state) {
  std::vector<std::string> files;
  if (state.range(0) < 0) {
    files.push_back(BlockBomb(static_cast<int>(-state.range(0))));
    if (files[0].empty()) state.SkipWithError("block bomb not written");
  } else if (state.range(0) == 0) {
    files = CorpusDrawings();
    if (files.empty()) state.SkipWithError("no corpus drawings (DRAVIK_CORPUS)");
  } else {
    files.push_back(VisibleSynthetic(static_cast<uint32_t>(state.range(0))));
    if (files[0].empty()) state.SkipWithError("synthetic drawing not written");
  }
  return files;
}

std::string Key(const char* what, benchmark::State& state) { return what + std::to_string(state.range(0)); }

void BM_ReadBytes(benchmark::State& state) {
  const std::vector<std::string> files = Files(state);
  size_t largest = 0;
  for (const auto& f : files) largest = std::max<size_t>(largest, std::filesystem::file_size(f));
  std::vector<char> buf(largest);
  jwwbench::Timed t(Key("read", state));
  for (auto _ : state)
    for (const auto& f : files) benchmark::DoNotOptimize(jwwbench::ReadInto(f, buf));
  t.Done(state);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * files.size()));
}

void BM_Thumbnail(benchmark::State& state) {
  NeedGui();
  const std::vector<std::string> files = Files(state);
  jwwbench::Timed t(Key("thumb", state));
  for (auto _ : state) {
    for (const auto& f : files) {
      const QImage img = dravik::DrawingThumbnail(QString::fromStdString(f), 256);
      if (img.isNull()) state.SkipWithError("no thumbnail");
      benchmark::DoNotOptimize(img.constBits());
    }
  }
  const double seconds = t.Done(state);
  jwwbench::ReportRatio(state, "x_baseline", seconds, {Key("read", state)});
  state.counters["ms_per_drawing"] = files.empty() ? 0 : seconds * 1000 / static_cast<double>(files.size());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * files.size()));
}

// 0: every corpus drawing; a positive number: the synthetic drawing of that many entities; a
// negative one: the block bomb of that depth.
BENCHMARK(BM_ReadBytes)->Arg(0)->Arg(1'000'000)->Arg(-6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Thumbnail)->Arg(0)->Arg(1'000'000)->Arg(-6)->Unit(benchmark::kMillisecond);

}  // namespace
