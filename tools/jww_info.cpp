// jww info: a drawing in a few lines for people.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <string>

#include "common/codepage.h"
#include "tools/jww_commands.h"

namespace jwwtool {

namespace {

// Text from the drawing as UTF-8 for a terminal: control characters are written escaped ("\n",
// "\x1b"), so that a memo cannot move the cursor, retitle the window or clear the screen.
std::string U8(const std::u16string& s) {
  std::u16string safe;
  safe.reserve(s.size());
  for (char16_t c : s) {
    if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F)) {
      safe.push_back(c);
      continue;
    }
    char buf[8];
    switch (c) {
      case u'\n': std::snprintf(buf, sizeof buf, "\\n"); break;
      case u'\r': std::snprintf(buf, sizeof buf, "\\r"); break;
      case u'\t': std::snprintf(buf, sizeof buf, "\\t"); break;
      default: std::snprintf(buf, sizeof buf, "\\x%02x", static_cast<unsigned>(c));
    }
    safe.append(buf, buf + std::strlen(buf));
  }
  return jww::StrToUtf8(safe);
}

}  // namespace

int Info(int argc, char** argv) {
  CLI::App app{"Shows a drawing's version, memo, paper, entity counts, fonts, block definitions, "
               "block tree and bound images."};
  std::string file;
  std::optional<int> budget;
  app.add_option("drawing", file, "The drawing (.jww)")->required();
  app.add_option("--budget", budget, "Read only this many entity items (bounded preview)");
  if (int status; !ParseOptions(app, argc, argv, status)) return status;

  jww::TJwwData d;
  d.BindImageExr = true;  // list the images, write none
  if (!ReadDrawing(d, file, budget)) return 1;
  d.GetFontNames();
  double w = 0, h = 0;
  d.GetPaperSize(w, h);

  std::printf("file      %s\n", file.c_str());
  std::printf("version   %d\n", d.Enthd.jwVer);
  std::printf("memo      %s\n", U8(d.Enthd.strMemo).c_str());
  std::printf("paper     %s (code %d) %g x %g mm\n", U8(jww::PaperLabel(d.Enthd.nZumen)).c_str(),
              d.Enthd.nZumen, w, h);
  std::printf("entities  %d: lines %d, arcs %d, points %d, texts %d, dimensions %d, solids %d, "
              "block insertions %d\n",
              d.Enthd.n1, d.EntLineN, d.EntEnkoN, d.EntTenN, d.EntMojiN, d.EntSunpoN, d.EntSolidN,
              d.EntBlockN);
  std::printf("fonts     %d\n", d.FontNameN);
  for (int i = 0; i < d.FontNameN; ++i) std::printf("  %s\n", U8(d.FontNames[i]).c_str());
  std::printf("definitions %d (%d in use)\n", d.EntBlockDefN, d.EntBlockNum);
  for (int i = 0; i < d.EntBlockDefN; ++i) {
    const auto& b = d.EntBlockDef[i];
    std::printf("  #%u %s: %d entities%s\n", b.nNumber, U8(b.strName).c_str(), b.N,
                b.ref_flag ? "" : " (not in use)");
  }
  std::printf("block tree %d nodes\n", d.EntBlockTreeN);
  for (int i = 0; i < d.EntBlockTreeN; ++i) {
    const auto& n = d.EntBlockTree[i];
    std::printf("  %*s%s (#%u) at %g, %g\n", 2 * n.level, "", U8(n.name).c_str(), n.no, n.x, n.y);
  }
  std::printf("images    %d\n", d.BindImageN);
  for (int i = 0; i < d.BindImageN; ++i)
    std::printf("  %s, %d bytes\n", U8(d.BindImage[i].Fname).c_str(), d.BindImage[i].Fsize);
  return 0;
}

}  // namespace jwwtool
