// jww convert and jww info for DXF input: the DXF built into a drawing (dxf/), then written as a
// drawing or exported through the same scene as any drawing.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/codepage.h"
#include "dxf/DxfIn.h"
#include "tools/jww_commands.h"

namespace jwwtool {

namespace {

// "1:50", "1/50" or "50" -> 50; false for anything else.
bool ParseScale(const std::string& s, double& out) {
  std::string t = s;
  if (const size_t at = t.find_first_of(":/"); at != std::string::npos) {
    if (t.substr(0, at) != "1") return false;
    t = t.substr(at + 1);
  }
  char* end = nullptr;
  out = std::strtod(t.c_str(), &end);
  return !t.empty() && *end == '\0' && out > 0 && out < 1e12;
}

bool Read(const std::string& in, const dxf::Options& o, jww::TJwwData& d, dxf::Report& r) {
  if (dxf::ReadDxf(in, o, d, r)) return true;
  if (r.line > 0)
    std::fprintf(stderr, "jww: %s: line %ld: %s\n", Shown(in).c_str(), r.line, Shown(r.error).c_str());
  else
    std::fprintf(stderr, "jww: %s: %s\n", Shown(in).c_str(), Shown(r.error).c_str());
  return false;
}

}  // namespace

bool IsDxfInput(const std::string& in) { return dxf::LooksLikeDxf(in); }

int ConvertDxf(const std::string& in, const std::string& out, const std::string& format,
               const std::optional<int>& version, const std::string& scale, const std::string& paper,
               const ExportOptions& picture) {
  dxf::Options o;
  o.paper = paper;
  if (!scale.empty()) {
    double s;
    if (!ParseScale(scale, s)) {
      std::fprintf(stderr, "jww: --scale: expected 1:N or N with N positive, got '%s'\n", Shown(scale).c_str());
      return 2;
    }
    o.scale = s;
  }
  if (version && format != "jww") {
    std::fprintf(stderr, "jww: --version applies to .jww output only\n");
    return 2;
  }
  jww::TJwwData d;
  dxf::Report r;
  if (!Read(in, o, d, r)) return 2;
  if (format != "jww") return ExportDrawing(d, out, format, picture);
  const int ver = version.value_or(600);
  if (!d.FileOut(jww::Utf8ToStr(out), ver)) {
    std::fprintf(stderr, "jww: %s: cannot write a version %d drawing: %s\n", Shown(out).c_str(), ver,
                 d.LastError().message.c_str());
    return 1;
  }
  return 0;
}

int InfoDxf(const std::string& in) {
  jww::TJwwData d;
  dxf::Report r;
  if (!Read(in, {}, d, r)) return 2;
  std::printf("file      %s (DXF)\n", Shown(in).c_str());
  std::printf("units     %s\n", r.units.c_str());
  std::printf("extents   %g, %g .. %g, %g mm\n", r.minX, r.minY, r.maxX, r.maxY);
  std::printf("scale     1:%g\n", r.scale);
  std::printf("paper     %s\n", r.paper.c_str());
  std::printf("layers    %d", r.layers);
  if (r.layersMerged) std::printf(" (%d past the 256th put on the last layer)", r.layersMerged);
  std::printf("\n");
  std::printf("colours   %d extended\n", r.extendedColors);
  std::printf("linetypes %d extended", r.extendedLinetypes);
  if (r.linetypesApproximated) std::printf(" (%d more drawn as the nearest standard one)", r.linetypesApproximated);
  std::printf("\n");
  std::printf("converted\n");
  for (const auto& [kind, n] : r.converted) std::printf("  %s %ld\n", kind.c_str(), n);
  std::printf("skipped\n");
  for (const auto& [kind, n] : r.skipped) std::printf("  %s %ld\n", kind.c_str(), n);
  std::printf("entities  %d: lines %d, arcs %d, points %d, texts %d, solids %d, block insertions %d; "
              "definitions %d\n",
              d.Enthd.n1, d.EntLineN, d.EntEnkoN, d.EntTenN, d.EntMojiN, d.EntSolidN, d.EntBlockN, d.EntBlockDefN);
  return 0;
}

}  // namespace jwwtool
