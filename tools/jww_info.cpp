// jww info: a drawing in a few lines for people.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/codepage.h"
#include "tools/jww_commands.h"

namespace jwwtool {

namespace {

// A description stays a few screens long: of the definitions and the block tree (one node per
// placed block, which can run to millions) the first ones are listed unless all are asked for.
constexpr int kListed = 100;

int ShownCount(int count, bool all) { return all ? count : std::min(count, kListed); }

void MoreLine(int count, bool all) {
  if (count > ShownCount(count, all)) std::printf("  ... %d more (--all lists them)\n", count - kListed);
}

}  // namespace

int Info(int argc, char** argv) {
  CLI::App app{"Shows a drawing's version, memo, paper, entity counts, fonts, block definitions, "
               "block tree and bound images."};
  std::string file;
  std::optional<int> budget;
  app.add_option("drawing", file, "The drawing (.jww), or a DXF file (what converting it would make)")->required();
  bool all = false;
  app.add_option("--budget", budget, "Read only this many entity items (bounded preview)");
  app.add_flag("--all", all, "List every block definition and block tree node");
  if (int status; !ParseOptions(app, argc, argv, status)) return status;
  if (IsDxfInput(file)) return InfoDxf(file);

  jww::TJwwData d;
  d.BindImageExr = true;  // list the images, write none
  jww::TJwwKindCounts n;
  scene::WalkResult exported;  // what a picture of the drawing would leave out
  // One read serves the counts, the font names and what a picture would leave out, which needs
  // the geometry placed; its scene is walked without drawing anything.
  if (!ReadDrawing(d, file, budget)) return 1;
  d.GetFontNames();
  n = {d.Enthd.n1, d.EntLineN, d.EntEnkoN, d.EntTenN, d.EntMojiN, d.EntSunpoN, d.EntSolidN, d.EntBlockN};
  exported = scene::Measure(scene::Build(d), {});
  double w = 0, h = 0;
  d.GetPaperSize(w, h);

  std::printf("file      %s\n", Shown(file).c_str());
  std::printf("version   %d\n", d.Enthd.jwVer);
  std::printf("memo      %s\n", ShownText(d.Enthd.strMemo).c_str());
  std::printf("paper     %s (code %d) %g x %g mm\n", ShownText(jww::PaperLabel(d.Enthd.nZumen)).c_str(),
              d.Enthd.nZumen, w, h);
  std::printf("entities  %d: lines %d, arcs %d, points %d, texts %d, dimensions %d, solids %d, "
              "block insertions %d\n",
              n.stored, n.line, n.enko, n.ten, n.moji, n.sunpo, n.solid, n.block);
  if (exported.unrepresentable)
    std::printf("left out  %s%zu primitive%s beyond the coordinates a picture can hold (exports leave "
                "them out)\n", exported.complete ? "" : "at least ", exported.unrepresentable,
                exported.unrepresentable == 1 ? "" : "s");
  std::printf("fonts     %d\n", d.FontNameN);
  for (int i = 0; i < d.FontNameN; ++i) {
    // Texts that name no font are drawn in the drawing program's default one.
    const std::string name = ShownText(d.FontNames[i]);
    std::printf("  %s\n", name.empty() ? "(no name: the default font)" : name.c_str());
  }
  std::printf("definitions %d (%d in use)\n", d.EntBlockDefN, d.EntBlockNum);
  for (int i = 0; i < ShownCount(d.EntBlockDefN, all); ++i) {
    const auto& b = d.EntBlockDef[i];
    std::printf("  #%u %s: %d entities%s\n", b.nNumber, ShownText(jww::GivenBlockName(b.strName)).c_str(), b.N,
                b.ref_flag ? "" : " (not in use)");
  }
  MoreLine(d.EntBlockDefN, all);
  std::printf("block tree %d nodes\n", d.EntBlockTreeN);
  for (int i = 0; i < ShownCount(d.EntBlockTreeN, all); ++i) {
    const auto& t = d.EntBlockTree[i];
    std::printf("  %*s%s (#%u) at %g, %g\n", 2 * t.level, "", ShownText(jww::GivenBlockName(t.name)).c_str(), t.no, t.x, t.y);
  }
  MoreLine(d.EntBlockTreeN, all);
  std::printf("images    %d\n", d.BindImageN);
  for (int i = 0; i < d.BindImageN; ++i)
    std::printf("  %s, %d bytes\n", ShownText(d.BindImage[i].Fname).c_str(), d.BindImage[i].Fsize);
  return 0;
}

}  // namespace jwwtool
