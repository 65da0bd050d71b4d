// Writes the seed inputs of the whole-drawing fuzz targets (fuzz/corpus/filein, fileprevin).
// Disabled in normal runs; regenerate with
//   DRAVIK_SEED_DIR=fuzz/corpus build/tests/dravik_tests
//       --gtest_also_run_disabled_tests --gtest_filter='*WriteFuzzSeeds*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "jww/stream.h"
#include "tests/entity_bytes.h"

using namespace jww;
using jwwtest::Bytes;
using jwwtest::StreamBytes;

namespace {

// Every entity kind, a nested definition with a long time field, and for version 700 two images.
std::string SeedDrawing(int ver) {
  Bytes b;
  b.Header(ver);
  StreamBytes sb(b, ver);
  TEntJwwLine line;
  line.att.nPenStyle = 1;
  line.end_x = 10;
  TEntJwwEnko arc;
  arc.dHankei = 5;
  TEntJwwTen pt;
  pt.att.nPenStyle = 100;
  TEntJwwMoji txt;
  txt.strFontName = u"ＭＳ ゴシック";
  txt.str = u"^@BM%temp%a.jpg,1,1";
  TEntJwwSunpo dim;
  dim.Moji.str = u"100";
  dim.Te1.att.nPenStyle = 100;
  TEntJwwSolid sol;
  sol.att.nPenColor = 10;
  TEntJwwBlock ins;
  ins.nNumber = 1;
  ins.dBairitsuX = ins.dBairitsuY = 1;
  sb.Count(9).Entity(line).Entity(arc).Entity(pt).Entity(txt).Entity(dim).Entity(sol).Entity(ins);
  sb.Entity(line);
  b.u16(0x0001);  // an unrecognised tag
  sb.Entity(ins);
  TEntJwwBlockDef d1, d2;
  d1.nNumber = 1;
  d1.strName = u"outer";
  d2.nNumber = 2;
  d2.strName = u"inner";
  d2.dtime = 0x80000001u;
  TEntJwwBlock ins2 = ins;
  ins2.nNumber = 2;
  sb.Count(2).Def(d1, 1, 2).Entity(ins2).Entity(txt).Def(d2, 2, 2).Entity(line).Entity(pt);
  if (ver >= 700) b.i32(2).str("a.jpg.gz").i32(4).raw("GZIP").str("").i32(9);
  return b.data();
}

}  // namespace

// The seeds are complete drawings: every one reads True with a nested block tree.
TEST(FuzzSeeds, SeedsReadCompletely) {
  for (int ver : {220, 300, 350, 351, 420, 600, 700}) {
    const std::string bytes = SeedDrawing(ver);
    InStream s(bytes.data(), bytes.size());
    TJwwData d;
    d.BindImageExr = true;
    ASSERT_TRUE(d.DrawingIn(s, false, 0)) << ver << " " << d.LastError().message;
    EXPECT_EQ(d.EntNo[8].EntType, kEntBlock);
    EXPECT_EQ(d.EntBlockTreeN, 4);  // two insertions of outer, each holding inner
    EXPECT_EQ(d.EntBlockDef[1].dtime, 2u);
    EXPECT_EQ(d.BindImageN, ver >= 700 ? 2 : 0);
  }
}

TEST(FuzzSeeds, DISABLED_WriteFuzzSeeds) {
  const char* dir = std::getenv("DRAVIK_SEED_DIR");
  if (!dir) GTEST_SKIP() << "set DRAVIK_SEED_DIR";
  for (int ver : {220, 300, 350, 351, 420, 600, 700}) {
    const std::string bytes = SeedDrawing(ver);
    const std::string name = "drawing-" + std::to_string(ver);
    Bytes().raw(bytes).WriteTo(std::string(dir) + "/filein/" + name);
    // The preview target takes its budget from the first byte.
    for (int budget : {3, 12, 127})
      Bytes().u8(static_cast<uint8_t>(budget)).raw(bytes).WriteTo(
          std::string(dir) + "/fileprevin/" + name + "-budget" + std::to_string(budget));
  }
}
