// DXF input beside the DXF library's own parse of the same file, measured in the same run.
//
// - BM_DxfLibraryParse/<n>: the library reads the file into an adapter that keeps nothing: the
//   least any conversion through it can cost.
// - BM_DxfConvert/<n>: dxf::ReadDxf, the whole conversion (the file read and checked, parsed,
//   the drawing built); reports `x_parse`, its processor time over the parse's.
//
// The file (n entities: lines, arcs, circles, polylines, texts and hatches on 20 layers, in
// metres) is written once into the temporary folder.
#include <benchmark/benchmark.h>
#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/baseline.h"
#include "dxf/DxfIn.h"
#include "jww/JwwUnit.h"

namespace {

std::string SyntheticDxf(long n) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("dravik-bench-" + std::to_string(n) + ".dxf")).string();
  if (std::filesystem::exists(path)) return path;
  std::string s;
  auto g = [&s](int code, const std::string& v) { s += std::to_string(code) + "\n" + v + "\n"; };
  auto num = [&g](int code, double v) {
    char b[40];
    std::snprintf(b, sizeof b, "%.6f", v);
    g(code, b);
  };
  g(0, "SECTION"), g(2, "HEADER"), g(9, "$ACADVER"), g(1, "AC1015"), g(9, "$INSUNITS"), g(70, "6");
  g(0, "ENDSEC");
  g(0, "SECTION"), g(2, "TABLES"), g(0, "TABLE"), g(2, "LAYER"), g(70, "20");
  for (int l = 0; l < 20; ++l) g(0, "LAYER"), g(2, "L" + std::to_string(l)), g(70, "0"), g(62, std::to_string(l % 7 + 1)), g(6, "CONTINUOUS");
  g(0, "ENDTAB"), g(0, "ENDSEC");
  g(0, "SECTION"), g(2, "ENTITIES");
  for (long i = 0; i < n; ++i) {
    const double x = static_cast<double>(i % 400) * 0.25, y = static_cast<double>(i / 400) * 0.25;
    const std::string layer = "L" + std::to_string(i % 20);
    switch (i % 10) {
      case 0: case 1: case 2: case 3: case 4:
        g(0, "LINE"), g(8, layer), num(10, x), num(20, y), num(11, x + 0.2), num(21, y + 0.1);
        break;
      case 5: g(0, "ARC"), g(8, layer), num(10, x), num(20, y), num(40, 0.1), num(50, 30), num(51, 200); break;
      case 6: g(0, "CIRCLE"), g(8, layer), num(10, x), num(20, y), num(40, 0.05); break;
      case 7:
        g(0, "LWPOLYLINE"), g(8, layer), g(90, "4"), g(70, "1");
        for (int k = 0; k < 4; ++k) num(10, x + 0.1 * (k == 1 || k == 2)), num(20, y + 0.1 * (k >= 2)), num(42, k == 1 ? 0.4 : 0);
        break;
      case 8: g(0, "TEXT"), g(8, layer), num(10, x), num(20, y), num(40, 0.05), g(1, "Room " + std::to_string(i)); break;
      default:
        g(0, "HATCH"), g(8, layer), num(10, 0), num(20, 0), num(30, 0), g(2, "SOLID"), g(70, "1"), g(71, "0"),
            g(91, "1"), g(92, "2"), g(72, "0"), g(73, "1"), g(93, "3");
        num(10, x), num(20, y), num(10, x + 0.2), num(20, y), num(10, x + 0.1), num(20, y + 0.2);
        g(97, "0"), g(75, "0"), g(76, "1"), g(98, "0");
        break;
    }
  }
  g(0, "ENDSEC"), g(0, "EOF");
  std::ofstream(path, std::ios::binary) << s;
  return path;
}

class Nothing : public DL_CreationAdapter {};

void BM_DxfLibraryParse(benchmark::State& state) {
  const std::string path = SyntheticDxf(state.range(0));
  jwwbench::Timed t("parse" + std::to_string(state.range(0)));
  for (auto _ : state) {
    Nothing none;
    DL_Dxf dxf;
    benchmark::DoNotOptimize(dxf.in(path, &none));
  }
  t.Done(state);
}
BENCHMARK(BM_DxfLibraryParse)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_DxfConvert(benchmark::State& state) {
  const std::string path = SyntheticDxf(state.range(0));
  jwwbench::Timed t("convert" + std::to_string(state.range(0)));
  for (auto _ : state) {
    jww::TJwwData d;
    dxf::Report r;
    if (!dxf::ReadDxf(path, {}, d, r)) state.SkipWithError(r.error.c_str());
    benchmark::DoNotOptimize(d.EntLineN);
  }
  jwwbench::ReportRatio(state, "x_parse", t.Done(state), {"parse" + std::to_string(state.range(0))});
}
BENCHMARK(BM_DxfConvert)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
