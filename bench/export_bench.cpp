// Export speed on the 100,000-entity synthetic drawing, beside FileIn of the same drawing in the
// same run: building the scene (target: no slower than FileIn), painting it to a PNG at 150 dpi,
// and writing its DXF (target: within 3 x FileIn). Compare each with BM_FileIn. BM_Preview is
// the window's preview of the 1,000,000-entity drawing.
#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <cstdlib>

#include "bench/synth.h"
#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "painter/ScenePainter.h"
#include "scene/DxfOut.h"

namespace {

std::u16string Drawing(benchmark::State& state) {
  return jww::Utf8ToStr(jwwbench::SyntheticDrawing(static_cast<uint32_t>(state.range(0))));
}

// The synthetic drawing's tables are zeroed, which hides every layer; show them all.
void Load(benchmark::State& state, jww::TJwwData& d) {
  if (!d.FileIn(Drawing(state))) state.SkipWithError("FileIn failed");
  for (auto& g : d.EntLgrp) g.anGLay = 2, g.adScale = 100;
  for (auto& l : d.EntLay) l.aanLay = 2;
}

void BM_FileIn(benchmark::State& state) {
  const auto path = Drawing(state);
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

void BM_Dxf(benchmark::State& state) {
  jww::TJwwData d;
  Load(state, d);
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
BENCHMARK(BM_FileIn)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SceneBuild)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Png150)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dxf)->Arg(100000)->Unit(benchmark::kMillisecond);
