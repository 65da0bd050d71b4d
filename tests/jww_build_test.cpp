// Drawings built through the library and through `jww build`, written at the version families
// and read back; the documented recipe example and the C++ example program; bad recipes.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "jww/JwwUnit.h"
#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

using jww::TJwwData;

namespace {

std::string Read(const std::string& path) { return jww::ReadWholeFile(jww::Utf8ToStr(path)).value_or(""); }
void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// Every kind of entity, every dimension form and every solid form, in the drawing and in two
// definitions (the outer one inserting the inner one).
TJwwData BuildEverything() {
  TJwwData d;
  d.DataDefaultSet();
  d.Enthd.strMemo = u"\u5e73\u9762\u56f3";
  EXPECT_TRUE(d.AddEntPre());
  bool ok = true;
  ok &= d.AddEntLine(1, 2, 3, 4, 2, 25, 1, 0, 0, 100, 50);
  ok &= d.AddEntArc(0, 0, 1, 5, 3, 0, 0, 10, 20, 7, 0.5, 30, 120, 15);
  ok &= d.AddEntArc(0, 0, 1, 5, 1, 0, 8, 10, 20, 3, 1, 0, 0, 0);
  ok &= d.AddEntTen(0, 0, 0, 2, 0, 0, 0, 4, 5, 0, 1);
  ok &= d.AddEntTen(0, 0, 0, 2, 7, 0, 0, 4, 5, 45, 2.5);
  ok &= d.AddEntMoji(0, 0, 2, 1, 5, 0, 0, 3, 50.0, 30.0, 0.0, 0.0, 0.0, 10.0, u"\uff2d\uff33 \u660e\u671d",
                     u"\u901a\u308a\u82af A-1");
  ok &= d.AddEntMoji(0, 0, 2, 1, 1, 0, 4, 0, 0.0, 0.0, 5.0, 0.0, 2.0, 3.0, 0.5, 0.0, u"", u"\u7e26");
  const std::u16string f, t = u"100";
  ok &= d.AddEntSunpo(0, 0, 4, 1, 1, 0, 0, 0, -10, 100, -10, 1, 2, 0, 0, 0, 40.0, -9.0, 60.0, -9.0, 2.5, 2.5, 0.5,
                      0.0, f, t);
  ok &= d.AddEntSunpo(0, 0, 4, 1, 1, 0, 0, 0, -10, 100, -10, 1, 2, 0, 0, 0, 50.0, -9.0, 2.5, 2.5, 0.5, 0.0, f, t);
  ok &= d.AddEntSunpo(0, 0, 4, 1, 1, 0, 0, 0, -20, 100, -20, 1, 2, 0, 0, 0, 40.0, -19.0, 60.0, -19.0, 2.5, 2.5,
                      0.5, 0.0, f, t,                                                //
                      1, 2, 1, 0, 0, 0.0, -2.0, 0.0, -23.0, 1, 2, 1, 0, 0, 100.0, -2.0, 100.0, -23.0,  //
                      1, 3, 0, 0, 0, 1.0, 2, 3, 0, 0, 0, 1.0,                       //
                      1, 3, 0, 0, 0, 0.0, 0.0, 1.0, 1, 3, 0, 0, 0, 100.0, 0.0, 1.0);
  ok &= d.AddEntSunpo(0, 0, 4, 1, 1, 0, 0, 0, -30, 100, -30, 1, 2, 0, 0, 0, 50.0, -29.0, 2.5, 2.5, 0.5, 0.0, f, t,
                      0, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0, 0, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0,  //
                      1, 3, 0, 0, 0, 1.0, 1, 3, 0, 0, 0, 1.0,                               //
                      0, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0, 0, 0, 0, 0, 0.0, 0.0, 0.0);
  ok &= d.AddEntSunpo(0, 0, 4, 1, 1, 0, 0, 0, -40, 100, -40, 1, 2, 0, 0, 0, 50.0, -39.0, 2.5, 2.5, 0.5, 0.0, f, t,
                      2.0, 3.0, 1, 2, 1, 0, 0, 1, 2, 1, 0, 0,  //
                      1, 3, 2, 0, 0, 1.0, 1, 3, 2, 0, 0, 1.0,  //
                      1, 3, 0, 0, 0, 0.0, 0.0, 1.0, 1, 3, 0, 0, 0, 100.0, 0.0, 1.0);
  ok &= d.AddEntSolid(0, 0, 5, 10, 1, 0, 0, 0x336699, 0, 0, 1, 0, 1, 1, 0, 1);
  ok &= d.AddEntSolid(0, 0, 5, 9, 1, 0, 0, 0, 0, 0, 1, 1);
  ok &= d.AddEntSolid(0, 0, 5, 9, 1, 0, 0, 0, 0, 0, 1, 0, 1, 1);
  ok &= d.AddEntSolidA(0, 0, 5, 10, 0, 0, 0xFF, 5, 5, 2, 1, 0);
  ok &= d.AddEntSolidA(0, 0, 5, 9, 0, 0, 0, 5, 5, 2, 1, 0, 0, 90);
  ok &= d.AddEntSolidC(0, 0, 5, 9, 2, 0, 0, 0, 5, 5, 2, 1, 0, 0, 90);
  ok &= d.AddEntSolidD(0, 0, 5, 9, 2, 0, 0, 0, 5, 5, 2, 1, 1, 0, 0, 90);

  ok &= d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"door");
  ok &= d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"\u7a93");
  ok &= d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"unused");
  ok &= d.AddBlkLine(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1);
  ok &= d.AddBlkArc(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 90, 0);
  ok &= d.AddBlkTen(0, 0, 0, 0, 1, 3, 0, 0, 1, 1, 0, 2);
  ok &= d.AddBlkSunpo(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 10, 0, 1, 2, 0, 0, 0, 5.0, 1.0, 2.0, 2.0, 0.5, 0.0, f, t, 1.0,
                      1.0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 1.0, 1, 1, 0, 0, 0, 1.0,  //
                      1, 1, 0, 0, 0, 0.0, -5.0, 1.0, 1, 1, 0, 0, 0, 10.0, -5.0, 1.0);
  ok &= d.AddBlkSolidC(0, 0, 0, 0, 9, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 90);
  ok &= d.AddBlkBlock(0, 0, 0, 0, 1, 1, 0, 0, 1, 2, 2, 1, 1, 0);
  ok &= d.AddBlkMoji(1, 0, 0, 0, 1, 1, 0, 0, 0, 0.0, 0.0, 2.0, 2.0, 0.0, 0.0, u"", u"W");
  ok &= d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, 100, 50, 2, 3, 30);
  ok &= d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 1, 0, 50, 1, 1, 0);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(d.AddEntPost());
  return d;
}

}  // namespace

TEST(BuildRoundTrip, EveryKindAtEveryVersionFamily) {
  const TJwwData d = BuildEverything();
  ASSERT_EQ(d.EntSunpoN, 5);
  ASSERT_EQ(d.EntBlockTreeN, 3);  // door, the window inside it, the window alone
  jwwtest::TempDir dir;
  const auto path = jww::Utf8ToStr(dir.path("all.jww"));
  for (int ver : {700, 600, 420, 351, 300, 230}) {
    SCOPED_TRACE(ver);
    TJwwData w = d;
    ASSERT_TRUE(w.FileOut(path, ver));
    TJwwData r;
    ASSERT_TRUE(r.FileIn(path)) << r.LastError().message;
    EXPECT_EQ(r.Enthd.jwVer, ver);
    EXPECT_EQ(r.Enthd.strMemo, d.Enthd.strMemo);
    // Below 420 a dimension with auxiliary parts is written as itself plus its two auxiliary
    // lines and four points: three such dimensions in the drawing, one in the door.
    const int sxf = ver < 420 ? 1 : 0;
    EXPECT_EQ(r.EntLineN, d.EntLineN + sxf * 3 * 2);
    EXPECT_EQ(r.EntTenN, d.EntTenN + sxf * 3 * 4);
    EXPECT_EQ(r.Enthd.n1, d.Enthd.n1 + sxf * 3 * 6);
    EXPECT_EQ(r.EntEnkoN, d.EntEnkoN);
    EXPECT_EQ(r.EntMojiN, d.EntMojiN);
    EXPECT_EQ(r.EntSunpoN, d.EntSunpoN);
    EXPECT_EQ(r.EntSolidN, d.EntSolidN);
    EXPECT_EQ(r.EntBlockN, 2);
    ASSERT_EQ(r.EntBlockDefN, 2);  // the unused definition is not written
    EXPECT_EQ(r.EntBlockTreeN, 3);
    EXPECT_EQ(r.EntBlockDef[0].strName, d.EntBlockDef[0].strName);
    EXPECT_EQ(r.EntBlockDef[0].N, d.EntBlockDef[0].N + sxf * 6);
    EXPECT_EQ(r.EntBlockDef[0].mBlockN, 1);
    EXPECT_EQ(r.EntBlockDef[1].mMoji[0].str, u"W");

    // Values as built.
    EXPECT_EQ(r.EntLine[0].end_y, 50);
    EXPECT_EQ(r.EntLine[0].att.sFlg, 0x20);
    EXPECT_EQ(r.EntLine[0].att.nPenWidth, ver >= 351 ? 25 : 0);
    EXPECT_EQ(r.EntEnko[1].bZenEnFlg, 1u);
    EXPECT_EQ(r.EntTen[1].nCode, 7u);
    EXPECT_EQ(r.EntMoji[0].str, d.EntMoji[0].str);
    EXPECT_EQ(r.EntMoji[0].start_x, d.EntMoji[0].start_x);
    EXPECT_EQ(r.EntMoji[0].degKakudo, 10);
    EXPECT_EQ(r.EntMoji[1].end_x, d.EntMoji[1].end_x);
    EXPECT_EQ(r.EntSunpo[1].Moji.start_x, d.EntSunpo[1].Moji.start_x);
    EXPECT_EQ(r.EntSunpo[4].bSxfMode, ver >= 420 ? 1 : 0);
    if (ver >= 420) {
      EXPECT_EQ(r.EntSunpo[4].Ho1.end_y, d.EntSunpo[4].Ho1.end_y);
      EXPECT_EQ(r.EntSunpo[4].Te1.radKaitenKaku, d.EntSunpo[4].Te1.radKaitenKaku);
      EXPECT_EQ(r.EntSunpo[2].Kt2.start_x, 100);
    }
    EXPECT_EQ(r.EntSolid[0].Color, 0x336699u);
    EXPECT_EQ(r.EntSolid[3].att.nPenStyle, 111);
    EXPECT_EQ(r.EntSolid[3].DPoint3_x, 6.283185307179586);
    EXPECT_EQ(r.EntSolid[6].DPoint3_y, 1.0);  // the ring's inner radius
    EXPECT_EQ(r.EntBlock[0].dBairitsuY, 3);

    // Read back and written again: the same bytes, so the read kept everything written.
    const std::string first = Read(dir.path("all.jww"));
    ASSERT_TRUE(r.FileOut(jww::Utf8ToStr(dir.path("again.jww")), ver));
    EXPECT_EQ(Read(dir.path("again.jww")), first);
  }
}

#ifdef DRAVIK_JWW_TOOL
namespace {

jwwtest::ToolRun Jww(const std::string& args, const jwwtest::TempDir& dir) {
  return jwwtest::RunTool(DRAVIK_JWW_TOOL, args, dir);
}

/// The first ```json block of the recipe document.
std::string DocExample() {
  const std::string doc = Read(std::string(DRAVIK_DOCS_DIR) + "/recipes.md");
  const size_t a = doc.find("```json\n");
  const size_t b = doc.find("```", a + 8);
  if (a == std::string::npos || b == std::string::npos) return "";
  return doc.substr(a + 8, b - a - 8);
}

}  // namespace

TEST(JwwBuild, TheDocumentedFloorPlanAtFourVersions) {
  jwwtest::TempDir dir;
  const std::string plan = dir.path("plan.json");
  Write(plan, DocExample());
  for (int ver : {700, 600, 420, 230}) {
    SCOPED_TRACE(ver);
    const std::string out = dir.path("plan" + std::to_string(ver) + ".jww");
    const jwwtest::ToolRun run = Jww("build " + plan + " " + out + " --version " + std::to_string(ver), dir);
    ASSERT_EQ(run.status, 0) << run.err;
    TJwwData r;
    ASSERT_TRUE(r.FileIn(jww::Utf8ToStr(out))) << r.LastError().message;
    EXPECT_EQ(r.Enthd.jwVer, ver);
    EXPECT_EQ(r.Enthd.strMemo, u"Studio, ground floor");
    EXPECT_EQ(r.Enthd.nZumen, 3);
    EXPECT_EQ(r.EntLgrp[0].adScale, 50);
    EXPECT_EQ(r.EntLgrp[1].adScale, 1);
    const int sxf = ver < 420 ? 2 : 0;  // two dimensions with auxiliary parts
    EXPECT_EQ(r.EntLineN, 10 + 2 * sxf);
    EXPECT_EQ(r.EntTenN, 4 * sxf);
    EXPECT_EQ(r.EntMojiN, 4);
    EXPECT_EQ(r.EntSunpoN, 3);
    EXPECT_EQ(r.EntSolidN, 1);
    EXPECT_EQ(r.EntBlockN, 2);
    ASSERT_EQ(r.EntBlockDefN, 1);
    EXPECT_EQ(r.EntBlockDef[0].strName, u"door@@SfigorgFlag@@4");
    EXPECT_EQ(r.EntBlockDef[0].N, 3);
    EXPECT_EQ(r.EntBlockTreeN, 2);
    // In real millimetres at 1:50: "Studio" centred on (-1200, 0), on the paper (-24, 0); its six
    // half-width characters of 5 mm (paper) are 15 long.
    EXPECT_EQ(r.EntMoji[0].str, u"Studio");
    EXPECT_DOUBLE_EQ(r.EntMoji[0].start_x, -31.5);
    EXPECT_DOUBLE_EQ(r.EntMoji[0].start_y, -2.5);
    EXPECT_DOUBLE_EQ(r.EntMoji[0].end_x, -16.5);
    EXPECT_DOUBLE_EQ(r.EntMoji[0].dSizeY, 5);
    EXPECT_EQ(r.EntSolid[0].Color, 8421504u);
    if (ver >= 420) {
      EXPECT_DOUBLE_EQ(r.EntSunpo[0].Ho1.start_y, -42);  // "gap" 100 below the room's -2000
      EXPECT_DOUBLE_EQ(r.EntSunpo[0].Ho1.end_y, -54);    // "overshoot" 100 past the line at -2600
      EXPECT_DOUBLE_EQ(r.EntSunpo[0].Te1.radKaitenKaku, M_PI);
    }
    // Everything lies on the A3 paper (420 x 297 mm about its centre).
    auto onPaper = [](double x, double y) { return std::fabs(x) <= 210 && std::fabs(y) <= 148.5; };
    for (const auto& l : r.EntLine) EXPECT_TRUE(onPaper(l.start_x, l.start_y) && onPaper(l.end_x, l.end_y));
    for (const auto& m : r.EntMoji) EXPECT_TRUE(onPaper(m.start_x, m.start_y) && onPaper(m.end_x, m.end_y)) << jww::StrToUtf8(m.str);
    for (const auto& d : r.EntSunpo) EXPECT_TRUE(onPaper(d.Sen.start_x, d.Sen.start_y) && onPaper(d.Sen.end_x, d.Sen.end_y));
    for (const auto& b : r.EntBlock) EXPECT_TRUE(onPaper(b.DPKijunTen_x, b.DPKijunTen_y));
  }
}

// "units": "real": every coordinate and length divided by the scale of the item's group (a
// block's items by the block's group), text sizes and factors as given.
TEST(JwwBuild, RealUnitsAreDividedByTheGroupsScale) {
  jwwtest::TempDir dir;
  const std::string plan = dir.path("real.json"), out = dir.path("real.jww");
  Write(plan, R"({"scales": [50, 1, 200], "units": "real", "items": [
    {"type": "line", "from": [-1000, 500], "to": [3000, 500]},
    {"type": "line", "group": 1, "from": [10, 20], "to": [30, 40]},
    {"type": "circle", "group": 2, "center": [2000, -4000], "radius": 1000},
    {"type": "text", "text": "A", "at": [500, 1000], "size": [4, 3], "spacing": 1},
    {"type": "solid", "group": 2, "corners": [[0, 0], [400, 0], [400, 200], [0, 200]]},
    {"type": "dimension", "from": [0, -500], "to": [1000, -500], "text": "1000", "text_at": [500, -450],
     "text_size": [2, 2], "refs": [[0, 0], [1000, 0]], "gap": 100, "overshoot": 50},
    {"type": "block", "name": "b", "group": 2, "items": [{"type": "line", "from": [0, 0], "to": [2000, 0]}]},
    {"type": "insert", "block": "b", "group": 2, "at": [4000, 0], "scale": 2},
    {"type": "point", "at": [100, 100], "code": 2, "scale": 3}
  ]})");
  const jwwtest::ToolRun run = Jww("build " + plan + " " + out, dir);
  ASSERT_EQ(run.status, 0) << run.err;
  TJwwData r;
  ASSERT_TRUE(r.FileIn(jww::Utf8ToStr(out))) << r.LastError().message;
  ASSERT_EQ(r.EntLineN, 2);
  EXPECT_DOUBLE_EQ(r.EntLine[0].start_x, -20);
  EXPECT_DOUBLE_EQ(r.EntLine[0].end_x, 60);
  EXPECT_DOUBLE_EQ(r.EntLine[0].end_y, 10);
  EXPECT_DOUBLE_EQ(r.EntLine[1].start_x, 10);  // 1:1 keeps its numbers
  EXPECT_DOUBLE_EQ(r.EntLine[1].end_y, 40);
  ASSERT_EQ(r.EntEnkoN, 1);
  EXPECT_DOUBLE_EQ(r.EntEnko[0].start_x, 10);
  EXPECT_DOUBLE_EQ(r.EntEnko[0].start_y, -20);
  EXPECT_DOUBLE_EQ(r.EntEnko[0].dHankei, 5);
  ASSERT_EQ(r.EntMojiN, 1);
  EXPECT_DOUBLE_EQ(r.EntMoji[0].start_x, 10);
  EXPECT_DOUBLE_EQ(r.EntMoji[0].start_y, 20);
  EXPECT_DOUBLE_EQ(r.EntMoji[0].dSizeX, 4);
  EXPECT_DOUBLE_EQ(r.EntMoji[0].dSizeY, 3);
  EXPECT_DOUBLE_EQ(r.EntMoji[0].dKankaku, 1);
  ASSERT_EQ(r.EntSolidN, 1);
  EXPECT_DOUBLE_EQ(r.EntSolid[0].DPoint2_x, 2);
  EXPECT_DOUBLE_EQ(r.EntSolid[0].DPoint2_y, 1);
  ASSERT_EQ(r.EntSunpoN, 1);
  EXPECT_DOUBLE_EQ(r.EntSunpo[0].Sen.end_x, 20);
  EXPECT_DOUBLE_EQ(r.EntSunpo[0].Sen.end_y, -10);
  EXPECT_DOUBLE_EQ(r.EntSunpo[0].Ho1.start_y, -2);  // gap 100
  EXPECT_DOUBLE_EQ(r.EntSunpo[0].Ho1.end_y, -11);   // overshoot 50
  EXPECT_DOUBLE_EQ(r.EntSunpo[0].Moji.dSizeY, 2);
  ASSERT_EQ(r.EntBlockDefN, 1);
  ASSERT_EQ(r.EntBlockDef[0].mLineN, 1);
  EXPECT_DOUBLE_EQ(r.EntBlockDef[0].mLine[0].end_x, 10);
  ASSERT_EQ(r.EntBlockN, 1);
  EXPECT_DOUBLE_EQ(r.EntBlock[0].DPKijunTen_x, 20);
  EXPECT_DOUBLE_EQ(r.EntBlock[0].dBairitsuX, 2);
  ASSERT_EQ(r.EntTenN, 1);
  EXPECT_DOUBLE_EQ(r.EntTen[0].start_x, 2);
  EXPECT_DOUBLE_EQ(r.EntTen[0].dBairitsu, 3);

  Write(plan, R"({"units": "metres", "items": []})");
  const jwwtest::ToolRun bad = Jww("build " + plan + " " + dir.path("bad.jww"), dir);
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("/units: expected \"paper\" or \"real\""), std::string::npos) << bad.err;
}

TEST(JwwBuild, BadRecipesNameTheItemAndWriteNothing) {
  jwwtest::TempDir dir;
  const std::string out = dir.path("out.jww"), kept = dir.path("kept.jww");
  Write(kept, "keep me");
  struct Case {
    const char* recipe;
    const char* where;
  } cases[] = {
      {R"({"items": [{"type": "line", "from": [0, 0]}]})", "item 0 at /items/0/to: missing point"},
      {R"({"items": [{"type": "line", "from": [0, 0], "to": [1, "a"]}]})", "item 0 at /items/0/to: expected a point"},
      {R"({"items": [{"type": "lin"}]})", "item 0 at /items/0/type: unknown item type 'lin'"},
      {R"({"items": [{"type": "point", "at": [0, 0]}, {"type": "line", "from": [0, 0], "to": [1, 1], "colour": 2}]})",
       "item 1 at /items/1/colour: unknown field"},
      {R"({"items": [{"type": "insert", "block": "door", "at": [0, 0]}]})", "item 0 at /items/0/block: no block named 'door'"},
      {R"({"items": [{"type": "block", "name": "a", "items": [{"type": "insert", "block": "a", "at": [0, 0]}]}]})",
       "item 0 (block 'a'), item 0 at /items/0/items/0/block: a block cannot insert itself"},
      {R"({"items": [{"type": "block", "name": "a", "items": []}, {"type": "block", "name": "a", "items": []}]})",
       "item 1 at /items/1/name: a block named 'a' is already defined"},
      {R"({"scales": [1, -5], "items": []})", "/scales/1: expected a positive scale"},
      {R"({"paper": "B9", "items": []})", "/paper: unknown paper size"},
      {R"({"items": [{"type": "text", "text": "x", "at": [0, 0], "size": [0, 1]}]})", "item 0 at /items/0/size"},
      {R"({"items": [{"type": "point", "at": [0, 0], "code": 1.5}]})", "item 0 at /items/0/code: expected an integer"},
      {R"({"items": [{"type": "solid", "corners": [[0, 0]]}]})", "item 0 at /items/0/corners: expected 2 to 4 points"},
      {R"({"items": [], "colour": 1})", "/colour: unknown field"},
      {R"({"items": {}})", "/items: expected a list"},
      {R"([1, 2])", "/: expected an object"},
      {R"({"items": [)", "not JSON"},
      {R"({"items": [{"type": "line", "from": [1e400, 0], "to": [1, 1]}]})", "not JSON"},
      {R"({"items": [{"type": "line", "from": [-1e400, 0], "to": [1, 1]}]})", "not JSON"},
      {R"({"write_group": 16, "items": []})", "/write_group: expected 0 to 15"},
      {R"({"write_group": -2147483648, "items": []})", "/write_group: expected 0 to 15"},
      {R"({"paper": 999, "items": []})", "/paper: unknown paper code"},
      {R"({"paper": -5, "items": []})", "/paper: unknown paper code"},
      {R"({"paper": 5, "items": []})", "/paper: unknown paper code"},
      {R"({"items": [{"type": "line", "layer": 18446744073709551615, "from": [0, 0], "to": [1, 1]}]})",
       "item 0 at /items/0/layer: expected an integer from -2147483648 to 2147483647"},
      {R"({"items": [{"type": "line", "group": 9223372036854775808, "from": [0, 0], "to": [1, 1]}]})",
       "item 0 at /items/0/group: expected an integer from"},
      {R"({"items": [{"type": "block", "name": "a\u001b[2J", "items": []}, {"type": "block", "name": "a\u001b[2J", "items": []}]})",
       "item 1 at /items/1/name: a block named 'a\\x1b[2J' is already defined"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.recipe);
    Write(dir.path("bad.json"), c.recipe);
    for (const std::string& target : {out, kept}) {
      const jwwtest::ToolRun run = Jww("build " + dir.path("bad.json") + " " + target, dir);
      EXPECT_EQ(run.status, 2);
      EXPECT_NE(run.err.find(c.where), std::string::npos) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_EQ(Read(kept), "keep me");
  }
  // A drawing that cannot be written: exit 1.
  Write(dir.path("ok.json"), R"({"paper": 14, "write_group": 15, "items": [{"type": "line", "from": [0, 0], "to": [1, 1]}]})");
  EXPECT_EQ(Jww("build " + dir.path("ok.json") + " " + kept + "/sub.jww", dir).status, 1);
  EXPECT_EQ(Jww("build " + dir.path("missing.json") + " " + out, dir).status, 2);
  EXPECT_EQ(Jww("build " + dir.path("ok.json") + " " + out + " --version 100", dir).status, 2);
  EXPECT_EQ(Jww("build " + dir.path("ok.json") + " " + out, dir).status, 0);
}

#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator reserves far more address space
// A recipe too large for the memory at hand ends with one line and exit 1, never an abort.
TEST(JwwBuild, ARecipeBeyondTheMemoryEndsCleanly) {
  jwwtest::TempDir dir;
  std::string items;
  for (int i = 0; i < 300000; ++i) items += R"({"type": "line", "from": [0, 0], "to": [1, 1]},)";
  items.pop_back();
  Write(dir.path("big.json"), R"({"items": [)" + items + "]}");
  const jwwtest::ToolRun run = jwwtest::RunTool("ulimit -v 100000; " DRAVIK_JWW_TOOL,
                                                "build " + dir.path("big.json") + " " + dir.path("big.jww"), dir);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "jww: " + dir.path("big.json") + ": the recipe is too large for the memory available\n");
  EXPECT_FALSE(std::filesystem::exists(dir.path("big.jww")));
}
#endif
#endif

#ifdef DRAVIK_EXAMPLE_BUILD
TEST(JwwBuild, TheExampleProgramBuildsADrawing) {
  jwwtest::TempDir dir;
  for (int ver : {700, 351}) {
    const std::string out = dir.path("example.jww");
    ASSERT_EQ(jwwtest::RunTool(DRAVIK_EXAMPLE_BUILD, out + " " + std::to_string(ver), dir).status, 0);
    TJwwData r;
    ASSERT_TRUE(r.FileIn(jww::Utf8ToStr(out)));
    EXPECT_EQ(r.EntLineN, ver >= 420 ? 4 : 6);
    EXPECT_EQ(r.EntMoji[0].str, u"Example");
    EXPECT_EQ(r.EntSunpoN, 1);
    EXPECT_EQ(r.EntBlockN, 2);
    EXPECT_EQ(r.EntBlockTreeN, 2);
    EXPECT_EQ(r.EntBlockDef[0].mSolidN, 1);
  }
}
#endif
