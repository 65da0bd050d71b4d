#include "bench/synth.h"

#include <filesystem>

#include "tests/entity_bytes.h"

namespace jwwbench {

namespace {

using namespace jww;

TEntJwwAttr Attr(uint32_t i) {
  TEntJwwAttr a;
  a.lGroup = i;
  a.nPenStyle = 1;
  a.nPenColor = static_cast<Word>(1 + i % 9);
  a.nLayer = static_cast<Word>(i % 16);
  a.nGLayer = static_cast<Word>(i / 16 % 16);
  return a;
}

// One entity of a mix weighted like real plans: mostly lines, then texts and arcs.
void AddEntity(jwwtest::StreamBytes& sb, uint32_t i, uint32_t definitions) {
  const double x = i % 1000, y = i / 1000 * 0.5;
  switch (i % 20) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: {
      TEntJwwLine e;
      e.att = Attr(i);
      e.start_x = x, e.start_y = y, e.end_x = x + 10, e.end_y = y + 5;
      sb.Entity(e);
      break;
    }
    case 10: case 11: case 12: {
      TEntJwwMoji e;
      e.att = Attr(i);
      e.start_x = x, e.start_y = y, e.end_x = x + 20, e.end_y = y;
      e.nMojiShu = 3, e.dSizeX = 2.5, e.dSizeY = 2.5;
      e.strFontName = u"ＭＳ ゴシック";
      e.str = i % 2 ? u"寝室 6帖" : u"W=1820 H=2000";
      sb.Entity(e);
      break;
    }
    case 13: case 14: {
      TEntJwwEnko e;
      e.att = Attr(i);
      e.start_x = x, e.start_y = y, e.dHankei = 3, e.radEnkoKaku = 6.283185307179586;
      e.dHenpeiRitsu = 1, e.bZenEnFlg = 1;
      sb.Entity(e);
      break;
    }
    case 15: {
      TEntJwwTen e;
      e.att = Attr(i);
      e.start_x = x, e.start_y = y;
      sb.Entity(e);
      break;
    }
    case 16: {
      TEntJwwSunpo e;
      e.att = Attr(i);
      e.Sen.att = e.att;
      e.Sen.end_x = 910;
      e.Moji.att = e.att;
      e.Moji.dSizeX = e.Moji.dSizeY = 2;
      e.Moji.strFontName = u"ＭＳ ゴシック";
      e.Moji.str = u"910";
      sb.Entity(e);
      break;
    }
    case 17: {
      TEntJwwSolid e;
      e.att = Attr(i);
      e.att.nPenColor = 10;
      e.end_x = 5, e.DPoint2_x = 5, e.DPoint2_y = 5, e.DPoint3_y = 5, e.Color = 0x808080;
      sb.Entity(e);
      break;
    }
    default: {
      if (!definitions) {  // nothing to insert: a line of its own instead
        TEntJwwLine e;
        e.att = Attr(i);
        e.start_x = x, e.start_y = y + 0.25, e.end_x = x + 5, e.end_y = y;
        sb.Entity(e);
        break;
      }
      TEntJwwBlock e;
      e.att = Attr(i);
      e.DPKijunTen_x = x, e.DPKijunTen_y = y, e.dBairitsuX = e.dBairitsuY = 1;
      e.nNumber = definitions ? i % definitions : 0;
      sb.Entity(e);
      break;
    }
  }
}

}  // namespace

std::string SyntheticDrawing(uint32_t entities, uint32_t definitions) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("dravik-synth-" + std::to_string(entities) + "-" + std::to_string(definitions) + ".jww");
  if (std::filesystem::exists(path)) return path.string();
  jwwtest::Bytes b;
  b.Header(600);
  jwwtest::StreamBytes sb(b, 600);
  sb.Count(entities);
  for (uint32_t i = 0; i < entities; ++i) AddEntity(sb, i, definitions);
  sb.Count(definitions);
  for (uint32_t p = 0; p < definitions; ++p) {
    TEntJwwBlockDef def;
    def.nNumber = p;
    def.strName = u"部品" + std::u16string(1, char16_t(u'A' + p % 26)) + u"-" +
                  std::u16string(1, char16_t(u'0' + p / 26 % 10));
    sb.Def(def, static_cast<int32_t>(p + 1), 20);
    // Entities of kinds other than insertions, except that every tenth definition nests the next.
    for (uint32_t k = 0; k < 20; ++k) {
      if (k == 0 && p % 10 == 0 && p + 1 < definitions) {
        TEntJwwBlock e;
        e.dBairitsuX = e.dBairitsuY = 1;
        e.nNumber = p + 1;
        sb.Entity(e);
      } else {
        AddEntity(sb, k % 18, 0);
      }
    }
  }
  const auto tmp = path.string() + ".part";
  b.WriteTo(tmp);
  std::filesystem::rename(tmp, path);
  return path.string();
}

}  // namespace jwwbench
