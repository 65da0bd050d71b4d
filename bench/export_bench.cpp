// Export speed on the 100,000-entity synthetic drawing, beside FileIn of the same drawing in the
// same run: building the scene (target: no slower than FileIn), painting it to a PNG at 150 dpi,
// writing its DXF (target: within 3 x FileIn) and its PDF and SVG. Compare each with BM_FileIn.
// BM_Preview is the window's preview of the 1,000,000-entity drawing.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>

#include <cstdlib>

#include "bench/synth.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "painter/ScenePainter.h"
#include "scene/DxfOut.h"

namespace {

std::u16string Drawing(benchmark::State& state, uint32_t definitions = 200) {
  return jww::Utf8ToStr(jwwbench::SyntheticDrawing(static_cast<uint32_t>(state.range(0)), definitions));
}

// The synthetic drawing's tables are zeroed, which hides every layer; show them all.
void Load(benchmark::State& state, jww::TJwwData& d, uint32_t definitions = 200) {
  if (!d.FileIn(Drawing(state, definitions))) state.SkipWithError("FileIn failed");
  for (auto& g : d.EntLgrp) g.anGLay = 2, g.adScale = 100;
  for (auto& l : d.EntLay) l.aanLay = 2;
}

// The second argument, where there is one, is the number of block definitions: 0 gives a drawing
// of as many entities without insertions, to tell what drawing blocks once brings from what
// each primitive costs.
void BM_FileIn(benchmark::State& state) {
  const auto path = Drawing(state, state.range(1));
  for (auto _ : state) {
    jww::TJwwData d;
    if (!d.FileIn(path)) state.SkipWithError("FileIn failed");
    benchmark::DoNotOptimize(d.EntLineN);
  }
}

void BM_SceneBuild(benchmark::State& state) {
  jww::TJwwData d;
  Load(state, d);
  size_t prims = 0;
  for (auto _ : state) {
    const scene::Scene s = scene::Build(d);
    prims = s.prims.size();
    benchmark::DoNotOptimize(prims);
  }
  state.counters["prims"] = static_cast<double>(prims);
}

void NeedGui() {
  if (!qApp) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "export_bench";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  }
}

void BM_Png150(benchmark::State& state) {
  NeedGui();
  jww::TJwwData d;
  Load(state, d);
  const scene::Scene s = scene::Build(d);
  for (auto _ : state) {
    const QImage img = scene::RenderDpi(s, 150);
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    benchmark::DoNotOptimize(bytes.data());
  }
}

// PDF of the same drawing into memory (target: within 3 x the PNG at 150 dpi and 5 x FileIn, and
// no more than twice the DXF's size).
void BM_Pdf(benchmark::State& state) {
  NeedGui();
  jww::TJwwData d;
  Load(state, d, state.range(1));
  const scene::Scene s = scene::Build(d);
  const QString path = QString::fromStdString(std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                                              "/export_bench.pdf");
  qint64 size = 0;
  for (auto _ : state) {
    if (!scene::WritePdf(s, path)) state.SkipWithError("WritePdf failed");
    size = QFileInfo(path).size();
  }
  QFile::remove(path);
  state.counters["MiB"] = size / 1048576.0;
}

void BM_Svg(benchmark::State& state) {
  NeedGui();
  jww::TJwwData d;
  Load(state, d);
  const scene::Scene s = scene::Build(d);
  const QString path = QString::fromStdString(std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                                              "/export_bench.svg");
  qint64 size = 0;
  for (auto _ : state) {
    if (!scene::WriteSvg(s, path)) state.SkipWithError("WriteSvg failed");
    size = QFileInfo(path).size();
  }
  QFile::remove(path);
  state.counters["MiB"] = size / 1048576.0;
}

// Work units of the picture (the scene walk's budget): what --budget is measured against.
void BM_Measure(benchmark::State& state) {
  jww::TJwwData d;
  Load(state, d);
  const scene::Scene s = scene::Build(d);
  scene::WalkResult r;
  for (auto _ : state) {
    scene::WalkOptions o;
    o.budget = size_t(1) << 40;
    r = scene::Measure(s, o);
    benchmark::DoNotOptimize(r.work);
  }
  state.counters["units"] = static_cast<double>(r.work);
}

void BM_Dxf(benchmark::State& state) {
  jww::TJwwData d;
  Load(state, d, state.range(1));
  const scene::Scene s = scene::Build(d);
  size_t size = 0;
  for (auto _ : state) {
    const std::string dxf = scene::DxfBytes(s);
    size = dxf.size();
    benchmark::DoNotOptimize(dxf.data());
  }
  state.counters["MiB"] = size / 1048576.0;
}

// The window's preview of a drawing: what RenderDrawingFile does (a budgeted read of 20,000
// items, the scene, a 480 x 340 picture), with the synthetic drawing's layers shown. Target:
// under 0.5 s even for the 1,000,000-entity drawing.
void BM_Preview(benchmark::State& state) {
  NeedGui();
  const auto path = Drawing(state);
  for (auto _ : state) {
    jww::TJwwData d;
    d.FilePrevIn(path, 20000);
    for (auto& g : d.EntLgrp) g.anGLay = 2;
    for (auto& l : d.EntLay) l.aanLay = 2;
    const QImage img = scene::RenderFit(scene::Build(d), QSize(480, 340));
    benchmark::DoNotOptimize(img.constBits());
  }
}

}  // namespace

BENCHMARK(BM_Preview)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileIn)->Args({100000, 200})->Args({100000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneBuild)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png150)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dxf)->Args({100000, 200})->Args({100000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pdf)->Args({100000, 200})->Args({100000, 0})->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Svg)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Measure)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
