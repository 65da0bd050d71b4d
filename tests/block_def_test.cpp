// Block definitions built by a program: names, numbers, their own lists, and nested insertions
// that would make a definition insert itself.
#include <gtest/gtest.h>

#include "jww/JwwUnit.h"

using namespace jww;

namespace {

TJwwData NewDrawing() {
  TJwwData d;
  d.DataDefaultSet();
  return d;
}

bool Def(TJwwData& d, const string& name, int bf = 4) { return d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, bf, name); }

}  // namespace

TEST(BlockDef, NamesAndNumbers) {
  TJwwData d = NewDrawing();
  struct Case {
    string name;
    int bf;
    string want;
  } cases[] = {
      {u"door", 0, u"door@@SfigorgFlag@@4"},
      {u"door", 5, u"door~1@@SfigorgFlag@@4"},
      {u"door", 2, u"door~2@@SfigorgFlag@@2"},
      {u"win@@sfigorgflag@@1", 3, u"win@@sfigorgflag@@1"},  // already decorated, in any case
      {u"win", 1, u"win~1@@SfigorgFlag@@1"},
  };
  Cardinal number = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.want.begin(), c.want.end()));
    const TEntJwwBlockTree tree = d.EntBlockTree.empty() ? TEntJwwBlockTree{} : d.EntBlockTree[0];
    ASSERT_TRUE(Def(d, c.name, c.bf));
    ASSERT_EQ(d.EntBlockDefN, int(number) + 1);
    EXPECT_EQ(d.Enthd.n2, d.EntBlockDefN);
    const TEntJwwBlockDef& b = d.EntBlockDef.back();
    EXPECT_EQ(b.strName, c.want);
    EXPECT_EQ(b.nNumber, number++);
    EXPECT_EQ(b.ref_no, -1);
    EXPECT_FALSE(b.ref_flag);
    EXPECT_EQ(b.N, 0);
    EXPECT_TRUE(b.mLine.empty());
  }
  EXPECT_EQ(d.EntBlockTreeN, 0);  // untouched until AddEntPost

  // Numbers continue after the largest; past the last a Cardinal holds, the smallest free one.
  for (Cardinal top : {9u, 0xFFFFFFFFu}) {
    TJwwData e = NewDrawing();
    for (Cardinal n : {5u, 0u, top}) {
      ASSERT_TRUE(Def(e, u"x"));
      e.EntBlockDef.back().nNumber = n;
    }
    ASSERT_TRUE(Def(e, u"y"));
    EXPECT_EQ(e.EntBlockDef.back().nNumber, top == 9 ? 10u : 1u);
  }
  ASSERT_TRUE(d.AddBlkDef(0, 20, -3, 0, 70, 0, 15, 1, u"flags"));
  EXPECT_EQ(d.EntBlockDef.back().att.sFlg, 0x3820);
  EXPECT_EQ(d.EntBlockDef.back().att.nGLayer, 0);
  EXPECT_EQ(d.EntBlockDef.back().att.nPenStyle, 1);
}

TEST(BlockDef, EntitiesGoToTheDefinition) {
  TJwwData d = NewDrawing();
  ASSERT_TRUE(Def(d, u"a"));
  const Integer n1 = d.Enthd.n1;
  for (int bad : {-1, 1}) {
    EXPECT_FALSE(d.AddBlkLine(bad, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
    EXPECT_FALSE(d.AddBlkMoji(bad, 0, 0, 0, 1, 1, 0, 0, 0, 0.0, 0.0, 3.0, 4.0, 1.0, 0.0, u"", u"AB"));
    EXPECT_FALSE(d.AddBlkSolidA(bad, 0, 0, 0, 1, 0, 0, 0, 0, 0, 1, 1, 0));
    EXPECT_FALSE(d.AddBlkSunpo(bad, 0, 0, 0, 1, 1, 0, 0, 0.0, 0.0, 20.0, 0.0, 1, 6, 0, 0, 0, 10.0, 0.0, 3.0, 4.0,
                               1.0, 0.0, u"", u"AB"));
  }
  EXPECT_EQ(d.EntBlockDef[0].N, 0);
  EXPECT_TRUE(d.EntBlockDef[0].mLine.empty());

  ASSERT_TRUE(d.AddBlkLine(0, 0, 16, 0, 1, 1, 0, 31, 0, 0, 1, 1));
  ASSERT_TRUE(d.AddBlkArc(0, 0, 0, 0, 1, 1, 0, 8, 0, 0, 1, 1, 10, 20, 0));
  ASSERT_TRUE(d.AddBlkLine(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  // A base-point text with a text type, as in the drawing.
  ASSERT_TRUE(d.AddBlkMoji(0, 0, 0, 0, 1, 6, 0, 0, 3, 10.0, 0.0, 9.0, 9.0, 9.0, 0.0, u"", u"AB"));
  ASSERT_TRUE(d.AddEntMoji(0, 0, 0, 1, 6, 0, 0, 3, 10.0, 0.0, 9.0, 9.0, 9.0, 0.0, u"", u"AB"));
  ASSERT_TRUE(d.AddBlkSunpo(0, 0, 0, 0, 1, 1, 0, 0, 0.0, 0.0, 20.0, 0.0, 1, 6, 0, 0, 0, 10.0, 0.0, 3.0, 4.0, 1.0,
                            0.0, u"", u"AB"));
  ASSERT_TRUE(d.AddBlkSolid(0, 0, 0, 0, 10, 1, 0, 0, 255, 0, 0, 1, 1));
  ASSERT_TRUE(d.AddBlkSolidD(0, 0, 0, 0, 1, 2, 0, 0, 0, 0, 0, 3, 1, 1, 0, 0, 90));
  ASSERT_TRUE(d.AddBlkTen(0, 0, 0, 0, 1, 5, 0, 0, 0, 0, 0, 0));

  const TEntJwwBlockDef& b = d.EntBlockDef[0];
  EXPECT_EQ(d.Enthd.n1, n1 + 1);  // only the drawing's own text
  ASSERT_EQ(b.N, 8);
  const int kinds[] = {1, 2, 1, 4, 5, 6, 6, 3};
  const int nos[] = {0, 0, 1, 0, 0, 0, 1, 0};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(b.mNo[i].EntType, kinds[i]) << i;
    EXPECT_EQ(b.mNo[i].EntNo, nos[i]) << i;
  }
  EXPECT_EQ(b.mLine[0].att.sFlg, 0xB820);
  EXPECT_EQ(b.mLine[0].att.nGLayer, 0);
  EXPECT_EQ(b.mEnko[0].bZenEnFlg, 1u);
  const TEntJwwMoji& in = b.mMoji[0];
  const TEntJwwMoji& out = d.EntMoji[d.EntMojiN - 1];
  EXPECT_EQ(in.start_x, out.start_x);
  EXPECT_EQ(in.end_x, out.end_x);
  EXPECT_EQ(in.dSizeX, 3.0);
  EXPECT_EQ(b.mSunpo[0].Moji.start_x, 6.5);
  EXPECT_EQ(b.mSolid[0].Color, 255u);
  EXPECT_EQ(b.mSolid[1].att.nPenStyle, 106);
  EXPECT_EQ(b.mTen[0].nCode, 5u);

  // Steps of 500: the 501st line grows mLine to 1000.
  EXPECT_EQ(b.mLine.size(), 500u);
  EXPECT_EQ(b.mNo.size(), 500u);
  while (d.EntBlockDef[0].mLineN < 501) d.AddBlkLine(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1);
  EXPECT_EQ(d.EntBlockDef[0].mLine.size(), 1000u);

  d.AddBlkDefPost(5);  // ignored
  d.AddBlkDefPost(0);
  EXPECT_EQ(d.EntBlockDef[0].mLine.size(), 501u);
  EXPECT_EQ(d.EntBlockDef[0].mNo.size(), size_t(d.EntBlockDef[0].N));
  EXPECT_EQ(d.EntBlockDef[0].mEnko.size(), 1u);
  // Trimmed, it still takes more: the list grows on demand.
  ASSERT_TRUE(d.AddBlkLine(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  EXPECT_EQ(d.EntBlockDef[0].mLineN, 502);
  ASSERT_TRUE(d.AddEntPre());
  EXPECT_EQ(d.EntBlockDef[0].mLine.size(), 1002u);
}

TEST(BlockDef, NestedInsertionsNeverFormACycle) {
  TJwwData d = NewDrawing();
  for (const char16_t* n : {u"a", u"b", u"c"}) ASSERT_TRUE(Def(d, n));
  auto nest = [&](int into, int bn) { return d.AddBlkBlock(into, 0, 0, 0, 1, 1, 0, 0, bn, 0, 0, 0, 0, 0); };
  EXPECT_FALSE(nest(0, 0));  // itself
  ASSERT_TRUE(nest(0, 1));   // a > b
  ASSERT_TRUE(nest(1, 2));   // b > c
  EXPECT_FALSE(nest(2, 0));  // c > a would close a > b > c > a
  EXPECT_FALSE(nest(1, 0));
  EXPECT_FALSE(nest(3, 0));  // no such definition
  EXPECT_FALSE(nest(0, 3));
  ASSERT_TRUE(nest(0, 2));   // a > c as well: no cycle
  EXPECT_EQ(d.EntBlockDef[2].mBlockN, 0);
  EXPECT_EQ(d.EntBlockDef[0].mBlockN, 2);
  EXPECT_EQ(d.EntBlockDef[0].mBlock[0].dBairitsuX, 1.0);

  ASSERT_TRUE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0));
  ASSERT_TRUE(d.AddEntPost());
  EXPECT_EQ(d.EntBlockTreeN, 4);  // a, b in a, c in b, c in a
  EXPECT_EQ(d.EntBlockNum, 3);
}
