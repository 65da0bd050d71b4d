#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "jww/JwwUnit.h"

using namespace jww;

namespace {

TEntJwwBlock Ins(Cardinal no, double x, double y, double sx = 1, double sy = 1, double rad = 0) {
  TEntJwwBlock b;
  b.nNumber = no;
  b.DPKijunTen_x = x;
  b.DPKijunTen_y = y;
  b.dBairitsuX = sx;
  b.dBairitsuY = sy;
  b.radKaitenKaku = rad;
  return b;
}

TEntJwwBlockDef Def(Cardinal no, std::u16string name, std::vector<TEntJwwBlock> inserts = {}) {
  TEntJwwBlockDef d;
  d.nNumber = no;
  d.strName = std::move(name);
  d.mBlockN = static_cast<Integer>(inserts.size());
  d.mBlock = std::move(inserts);
  d.att.lGroup = 1000 + no;
  return d;
}

void SetDefs(TJwwData& d, std::vector<TEntJwwBlockDef> defs) {
  d.EntBlockDef = std::move(defs);
  d.EntBlockDefN = d.Enthd.n2 = static_cast<Integer>(d.EntBlockDef.size());
}

void SetInserts(TJwwData& d, std::vector<TEntJwwBlock> ins) {
  d.EntBlock = std::move(ins);
  d.EntBlockN = static_cast<Integer>(d.EntBlock.size());
}

}  // namespace

TEST(BlockTree, PlacementComposesParentAndChild) {
  TJwwData d;
  SetDefs(d, {Def(1, u"outer", {Ins(2, 10, 0)}), Def(2, u"inner")});
  SetInserts(d, {Ins(1, 100, 50, 2, 3, M_PI / 2)});
  d.EntBlock[0].att.lGroup = 7;
  d.MakeBlockTree();
  ASSERT_EQ(d.EntBlockTreeN, 2);
  const auto& n0 = d.EntBlockTree[0];
  EXPECT_NEAR(n0.r1, 0, 1e-12);
  EXPECT_NEAR(n0.r2, -3, 1e-12);
  EXPECT_NEAR(n0.r3, 2, 1e-12);
  EXPECT_NEAR(n0.r4, 0, 1e-12);
  EXPECT_NEAR(n0.x + n0.r1 + n0.r2, 97, 1e-12);  // block point (1, 1)
  EXPECT_NEAR(n0.y + n0.r3 + n0.r4, 52, 1e-12);
  EXPECT_EQ(n0.att.lGroup, 7u);
  EXPECT_EQ(n0.name, u"outer");
  const auto& n1 = d.EntBlockTree[1];
  EXPECT_NEAR(n1.x, 100, 1e-12);
  EXPECT_NEAR(n1.y, 70, 1e-12);
  EXPECT_NEAR(n1.r2, -3, 1e-12);
  EXPECT_EQ(n1.level, 1);
  EXPECT_EQ(n1.parent, 0);
  EXPECT_EQ(n1.defno, 1);
  EXPECT_EQ(n1.att.lGroup, 1001u);  // the attributes of the definition that holds it
}

TEST(BlockTree, RunningNumbersOfDefinitionsInUse) {
  TJwwData d;
  SetDefs(d, {Def(5, u"a"), Def(7, u"b", {Ins(9, 0, 0)}), Def(9, u"c"), Def(11, u"d", {Ins(5, 0, 0)})});
  d.MakeBlockTree();  // no insertions yet
  EXPECT_EQ(d.EntBlockTreeN, 0);
  EXPECT_EQ(d.ChangeBlockNo(7), 7u);

  SetInserts(d, {Ins(7, 0, 0), Ins(7, 1, 1), Ins(42, 0, 0)});
  d.MakeBlockTree();
  EXPECT_EQ(d.EntBlockTreeN, 5);  // two of 7, one unknown, a child of 9 under each 7
  EXPECT_EQ(d.EntBlockTree[2].defno, -1);
  EXPECT_EQ(d.EntBlockTree[3].parent, 0);
  EXPECT_EQ(d.EntBlockTree[4].parent, 1);
  EXPECT_EQ(d.EntBlockDef[0].ref_no, -1);  // only an unused definition inserts 5
  EXPECT_EQ(d.EntBlockDef[1].ref_no, 0);
  EXPECT_EQ(d.EntBlockDef[2].ref_no, 1);
  EXPECT_EQ(d.EntBlockNum, 2);
  EXPECT_EQ(d.ChangeBlockNo(9), 1u);
  EXPECT_EQ(d.ChangeBlockNo(5), 5u);
  EXPECT_EQ(d.ChangeBlockNo(6), 0u);
}

TEST(BlockTree, NamesNumbersAndFreeNames) {
  TJwwData d;
  SetDefs(d, {Def(3, u"door"), Def(4, u"door~1"), Def(5, u"win@@SfigorgFlag@@1")});
  const std::u16string deco = u"@@SfigorgFlag@@4";
  struct Case {
    std::u16string in, name;
    Integer no;
  } cases[] = {
      {u"door", u"door~2", 0},
      {u"Door", u"Door", -1},
      {u"door" + deco, u"door~2" + deco, 0},
      {u"door@@sfigorgflag@@2", u"door~2@@sfigorgflag@@2", 0},
      {u"win", u"win~1", 2},
      {u"", u"", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(d.GetBlkName(c.in), c.name);
    EXPECT_EQ(d.GetBlkNo(c.in), c.no);
  }
  EXPECT_EQ(d.GetBlkNumber(1), 4);
  EXPECT_EQ(d.GetBlkNumber(-1), -1);
  EXPECT_EQ(d.GetBlkNumber(3), -1);
}

// A definition that inserts itself, directly or through another, ends the expansion there; a
// chain that multiplies its insertions stops at the node bound instead of exhausting memory.
TEST(BlockTree, CyclesAndExplosionsEnd) {
  TJwwData d;
  SetDefs(d, {Def(1, u"self", {Ins(1, 1, 0)}), Def(2, u"a", {Ins(3, 0, 0)}), Def(3, u"b", {Ins(2, 0, 0)})});
  SetInserts(d, {Ins(1, 0, 0), Ins(2, 0, 0)});
  d.MakeBlockTree();
  // 1 -> 1 (kept, not expanded); 2 -> 3 -> 2 (kept, not expanded)
  ASSERT_EQ(d.EntBlockTreeN, 5);
  EXPECT_EQ(d.EntBlockTree[2].defno, 0);
  EXPECT_EQ(d.EntBlockTree[4].level, 2);
  EXPECT_EQ(d.EntBlockNum, 3);

  // 40 definitions, each inserting the next 10 times: 10^40 placements in principle.
  std::vector<TEntJwwBlockDef> chain;
  for (Cardinal i = 0; i < 40; ++i) chain.push_back(Def(i, u"c", std::vector<TEntJwwBlock>(10, Ins(i + 1, 0, 0))));
  SetDefs(d, chain);
  SetInserts(d, {Ins(0, 0, 0)});
  const auto t0 = std::chrono::steady_clock::now();
  d.MakeBlockTree();
  EXPECT_LE(d.EntBlockTreeN, 1 + (1 << 20));
  EXPECT_GE(d.EntBlockTreeN, 1 << 20);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(30));
}

// Use follows the insertions, not the placement tree: however early the tree is cut, every
// definition the drawing reaches is in use, and one that only unused definitions insert is not.
TEST(BlockTree, DefinitionsInUseAreMarkedWhereverTheTreeIsCut) {
  struct Case {
    const char* what;
    std::vector<TEntJwwBlockDef> defs;
    std::vector<TEntJwwBlock> drawing;
    std::vector<bool> inUse;
  };
  std::vector<Case> cases;
  cases.push_back({"plate x1000 -> bolt x1100 -> thread",
                   {Def(1, u"plate", std::vector<TEntJwwBlock>(1100, Ins(2, 0, 0))),
                    Def(2, u"bolt", {Ins(3, 0, 0)}), Def(3, u"thread"), Def(4, u"spare", {Ins(3, 0, 0)})},
                   std::vector<TEntJwwBlock>(1000, Ins(1, 0, 0)),
                   {true, true, true, false}});
  {
    Case c{"8 definitions each inserting the next 10 times", {}, {Ins(0, 0, 0)}, {}};
    for (Cardinal i = 0; i < 8; ++i) c.defs.push_back(Def(i, u"n", std::vector<TEntJwwBlock>(i < 7 ? 10 : 0, Ins(i + 1, 0, 0))));
    c.inUse.assign(8, true);
    cases.push_back(std::move(c));
  }
  {
    // Deep enough to exhaust the ancestor steps of the self-insertion guard.
    Case c{"a chain of 12000 definitions", {}, {Ins(0, 0, 0)}, {}};
    for (Cardinal i = 0; i < 12000; ++i) c.defs.push_back(Def(i, u"c", {Ins(i + 1, 0, 0)}));
    c.defs.back().mBlock[0].nNumber = 0;  // and a cycle back to the top
    c.inUse.assign(12000, true);
    cases.push_back(std::move(c));
  }
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    TJwwData d;
    SetDefs(d, std::move(c.defs));
    SetInserts(d, std::move(c.drawing));
    d.MakeBlockTree();
    EXPECT_LE(d.EntBlockTreeN, d.EntBlockN + (1 << 20));
    Integer used = 0;
    for (size_t i = 0; i < c.inUse.size(); ++i) {
      EXPECT_EQ(d.EntBlockDef[i].ref_flag, c.inUse[i]) << "definition " << i;
      if (c.inUse[i]) {
        EXPECT_EQ(d.EntBlockDef[i].ref_no, used++) << "definition " << i;
      }
    }
    EXPECT_EQ(d.EntBlockNum, used);
  }
}

// 8 definitions each inserting the next 10 times, with names of 3000 characters: a million nodes
// must not hold a million copies of the names (that took gigabytes).
TEST(BlockTree, NodesShareTheirDefinitionsName) {
  TJwwData d;
  std::vector<TEntJwwBlockDef> defs;
  for (Cardinal i = 0; i < 8; ++i)
    defs.push_back(Def(i, std::u16string(3000, static_cast<char16_t>(u'a' + i)),
                       std::vector<TEntJwwBlock>(i < 7 ? 10 : 0, Ins(i + 1, 0, 0))));
  SetDefs(d, std::move(defs));
  SetInserts(d, {Ins(0, 0, 0), Ins(0, 1, 1)});
  d.MakeBlockTree();
  ASSERT_GT(d.EntBlockTreeN, 1000);
  const auto& first = d.EntBlockTree[0].name;
  EXPECT_EQ(first, d.EntBlockDef[0].strName);
  EXPECT_EQ(&d.EntBlockTree[1].name.str(), &first.str());
  const Integer last = d.EntBlockTreeN - 1;
  EXPECT_EQ(&d.EntBlockTree[last].name.str(), &d.EntBlockTree[last - 1].name.str());
  EXPECT_EQ(d.EntBlockTree[last].name.str().size(), 3000u);
}

TEST(FontsPaper, PaperSizes) {
  struct Case {
    Integer code;
    double w, h;
  } cases[] = {{3, 420, 297}, {14, 100000, 70732}, {8, 1682, 1189}, {0, 1189, 841},
               {5, 1189, 841}, {7, 1189, 841},     {-1, 1189, 841}, {15, 1189, 841}};
  TJwwData d;
  for (const auto& c : cases) {
    d.Enthd.nZumen = c.code;
    double w = 0, h = 0;
    d.GetPaperSize(w, h);
    EXPECT_EQ(w, c.w) << c.code;
    EXPECT_EQ(h, c.h) << c.code;
  }
}

TEST(FontsPaper, FontNamesInOrderOfFirstUse) {
  TJwwData d;
  auto moji = [](std::u16string f) {
    TEntJwwMoji m;
    m.strFontName = std::move(f);
    return m;
  };
  d.EntMoji = {moji(u"X"), moji(u"Y"), moji(u"X"), moji(u"unused spare")};
  d.EntMojiN = 3;
  d.EntSunpo.resize(1);
  d.EntSunpo[0].Moji = moji(u"W");
  d.EntSunpoN = 1;
  TEntJwwBlockDef def;
  for (int i = 0; i < 250; ++i) def.mMoji.push_back(moji(u"F" + std::u16string(1, char16_t(u'A' + i % 26)) + std::u16string(1, char16_t(u'0' + i / 26))));
  def.mMojiN = 250;
  d.EntBlockDef = {def};
  d.EntBlockDefN = 1;
  d.GetFontNames();
  ASSERT_EQ(d.FontNameN, 3 + 250);
  EXPECT_EQ(d.FontNames.size(), 253u);
  EXPECT_EQ(d.FontNames[0], u"X");
  EXPECT_EQ(d.FontNames[1], u"Y");
  EXPECT_EQ(d.FontNames[2], u"W");
  EXPECT_EQ(d.GetFontNamesIndex(u"Y"), 1);
  EXPECT_EQ(d.GetFontNamesIndex(u"@X"), 0);
  EXPECT_EQ(d.GetFontNamesIndex(u"@@@X"), 0);
  EXPECT_EQ(d.GetFontNamesIndex(u"@@@@X"), -1);
  EXPECT_EQ(d.GetFontNamesIndex(u"x"), -1);
  EXPECT_EQ(d.GetFontNamesIndex(u"Z"), -1);

  // A name with a leading "@" is stored once as held, however many texts use it (not once per
  // text: the list would grow with the texts), and not at all after the plain name.
  d = TJwwData();
  d.EntMoji = {moji(u"@V"), moji(u"@V"), moji(u"V"), moji(u"@V"), moji(u"W"), moji(u"@@W")};
  d.EntMojiN = 6;
  d.GetFontNames();
  EXPECT_EQ(d.FontNames, (std::vector<std::u16string>{u"@V", u"V", u"W"}));
  EXPECT_EQ(d.FontNameN, 3);
  EXPECT_EQ(d.GetFontNamesIndex(u"@V"), 1);
}
