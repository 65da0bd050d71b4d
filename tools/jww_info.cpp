// jww info: a drawing in a few lines for people.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/codepage.h"
#include "jww/construct.h"
#include "tools/jww_commands.h"

namespace jwwtool {

namespace {

// A definition's name as the user gave it: names made by the construction library carry a
// decoration ("@@SfigorgFlag@@4") that the block tree and the drawing program leave out too.
// `jww dump` keeps the stored name whole.
std::u16string GivenName(const std::u16string& stored) {
  const size_t at = jww::build::BlkNameDecorationPos(stored);
  return at == std::u16string::npos || at == 0 ? stored : stored.substr(0, at);
}

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
  if (budget) {
    if (!ReadDrawing(d, file, budget)) return 1;
    d.GetFontNames();
    n = {d.Enthd.n1, d.EntLineN, d.EntEnkoN, d.EntTenN, d.EntMojiN, d.EntSunpoN, d.EntSolidN, d.EntBlockN};
  } else if (!ReportRead(d, file, d.FileSummaryIn(jww::PathFromNative(file), n))) {
    // Counts and font names are all a description needs of the entities: a summary read keeps
    // no geometry, which on a large drawing is most of a whole read's time and memory.
    return 1;
  }
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
  std::printf("fonts     %d\n", d.FontNameN);
  for (int i = 0; i < d.FontNameN; ++i) {
    // Texts that name no font are drawn in the drawing program's default one.
    const std::string name = ShownText(d.FontNames[i]);
    std::printf("  %s\n", name.empty() ? "(no name: the default font)" : name.c_str());
  }
  std::printf("definitions %d (%d in use)\n", d.EntBlockDefN, d.EntBlockNum);
  for (int i = 0; i < ShownCount(d.EntBlockDefN, all); ++i) {
    const auto& b = d.EntBlockDef[i];
    std::printf("  #%u %s: %d entities%s\n", b.nNumber, ShownText(GivenName(b.strName)).c_str(), b.N,
                b.ref_flag ? "" : " (not in use)");
  }
  MoreLine(d.EntBlockDefN, all);
  std::printf("block tree %d nodes\n", d.EntBlockTreeN);
  for (int i = 0; i < ShownCount(d.EntBlockTreeN, all); ++i) {
    const auto& t = d.EntBlockTree[i];
    std::printf("  %*s%s (#%u) at %g, %g\n", 2 * t.level, "", ShownText(GivenName(t.name)).c_str(), t.no, t.x, t.y);
  }
  MoreLine(d.EntBlockTreeN, all);
  std::printf("images    %d\n", d.BindImageN);
  for (int i = 0; i < d.BindImageN; ++i)
    std::printf("  %s, %d bytes\n", ShownText(d.BindImage[i].Fname).c_str(), d.BindImage[i].Fsize);
  return 0;
}

}  // namespace jwwtool
