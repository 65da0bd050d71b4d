// Building drawings through TJwwData: corrections, flag translation, derived text ends, solid
// forms, block insertions and the growth of the lists.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "jww/JwwUnit.h"

using namespace jww;

namespace {

TJwwData NewDrawing() {
  TJwwData d;
  d.DataDefaultSet();
  return d;
}

std::vector<std::pair<int, int>> Order(const TJwwData& d) {
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < d.Enthd.n1; ++i) out.emplace_back(d.EntNo[i].EntType, d.EntNo[i].EntNo);
  return out;
}

}  // namespace

TEST(Construct, LineCorrectsLayersColoursAndLineTypes) {
  struct Case {
    int lg, ly, co, tp;
    int wantLg, wantLy, wantCo, wantTp;
  } cases[] = {
      {16, -1, 1, 1, 0, 0, 1, 1},     {15, 15, 0, 10, 15, 15, 1, 1},  {2, 3, 11, 20, 2, 3, 1, 1},
      {0, 0, 100, 30, 0, 0, 1, 1},    {0, 0, 357, 63, 0, 0, 1, 1},    {0, 0, 101, 9, 0, 0, 101, 9},
      {0, 0, 356, 11, 0, 0, 356, 11}, {0, 0, 65537, 19, 0, 0, 1, 19}, {0, 0, 10, 31, 0, 0, 10, 31},
      {0, 0, 5, 62, 0, 0, 5, 62},     {0, 0, 5, 256 + 2, 0, 0, 5, 2},  // only the low 8 bits of tp count
  };
  TJwwData d = NewDrawing();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "lg " << c.lg << " ly " << c.ly << " co " << c.co << " tp " << c.tp);
    ASSERT_TRUE(d.AddEntLine(7, c.lg, c.ly, c.co, c.tp, 70000, 0, 1, 2, 3, 4));
    const TEntJwwLine& e = d.EntLine[d.EntLineN - 1];
    EXPECT_EQ(e.att.nGLayer, c.wantLg);
    EXPECT_EQ(e.att.nLayer, c.wantLy);
    EXPECT_EQ(e.att.nPenColor, c.wantCo);
    EXPECT_EQ(e.att.nPenStyle, c.wantTp);
    EXPECT_EQ(e.att.nPenWidth, 70000 & 0xFFFF);
    EXPECT_EQ(e.att.lGroup, 7u);
    EXPECT_EQ(e.end_y, 4);
  }
  // The replacements are defcoljww / defltpjww.
  d.defcoljww = 7;
  d.defltpjww = 3;
  ASSERT_TRUE(d.AddEntLine(-1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  EXPECT_EQ(d.EntLine[d.EntLineN - 1].att.nPenColor, 7);
  EXPECT_EQ(d.EntLine[d.EntLineN - 1].att.nPenStyle, 3);
  EXPECT_EQ(d.EntLine[d.EntLineN - 1].att.lGroup, 0xFFFFFFFFu);
}

TEST(Construct, FlagTranslationPerKind) {
  TJwwData d = NewDrawing();
  d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 1, u"b");
  struct Case {
    int fl;
    Word line, arc, ten, moji, solid, block;
  } cases[] = {
      {1, 0x0020, 0x0020, 0x0020, 0, 0x0020, 0x0020},
      {2, 0x2000, 0x0040, 0x0040, 0x4010, 0x2000, 0x2000},
      {4, 0x0800, 0x0010, 0x0010, 0x0020, 0x0800, 0x0800},
      {8, 0x8000, 0, 0, 0x0040, 0x1000, 0x1000},
      {16, 0x1000, 0x0080, 0x0080, 0x0080, 0, 0},
      {31, 0xB820, 0x00F0, 0x00F0, 0x40F0, 0x3820, 0x3820},
      {0xFE0, 0, 0, 0, 0xBF00, 0, 0},  // bits 5..11 only mean something for texts
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "fl " << c.fl);
    d.AddEntLine(0, 0, 0, 1, 1, 0, c.fl, 0, 0, 1, 1);
    d.AddEntArc(0, 0, 0, 1, 1, 0, c.fl, 0, 0, 1, 1, 0, 90, 0);
    d.AddEntTen(0, 0, 0, 1, 0, 0, c.fl, 0, 0, 0, 1);
    d.AddEntMoji(0, 0, 0, 1, 1, 0, c.fl, 0, 0.0, 0.0, 1.0, 0.0, 3.0, 3.0, 0.0, 0.0, u"", u"x");
    d.AddEntSolid(0, 0, 0, 1, 1, 0, c.fl, 0, 0, 0, 1, 0, 1, 1, 0, 1);
    ASSERT_TRUE(d.AddEntBlock(0, 0, 0, 1, 1, 0, c.fl, 0, 0, 0, 1, 1, 0));
    EXPECT_EQ(d.EntLine.at(d.EntLineN - 1).att.sFlg, c.line);
    EXPECT_EQ(d.EntEnko.at(d.EntEnkoN - 1).att.sFlg, c.arc);
    EXPECT_EQ(d.EntTen.at(d.EntTenN - 1).att.sFlg, c.ten);
    EXPECT_EQ(d.EntMoji.at(d.EntMojiN - 1).att.sFlg, c.moji);
    EXPECT_EQ(d.EntSolid.at(d.EntSolidN - 1).att.sFlg, c.solid);
    EXPECT_EQ(d.EntBlock.at(d.EntBlockN - 1).att.sFlg, c.block);
  }
  // Bit 4 of a block insertion marks its style instead.
  d.AddEntBlock(0, 0, 0, 1, 1, 0, 16, 0, 0, 0, 1, 1, 0);
  EXPECT_EQ(d.EntBlock[d.EntBlockN - 1].att.nPenStyle, 0x41);
}

TEST(Construct, ArcsAndPoints) {
  TJwwData d = NewDrawing();
  ASSERT_TRUE(d.AddEntArc(0, 0, 0, 1, 1, 0, 8, 5, 6, 2, 0.5, 45, 90, 30));
  const TEntJwwEnko& a = d.EntEnko[0];
  EXPECT_EQ(a.radKaishiKaku, 0);
  EXPECT_DOUBLE_EQ(a.radEnkoKaku, 2 * M_PI);
  EXPECT_DOUBLE_EQ(a.radKatamukiKaku, M_PI / 6);
  EXPECT_EQ(a.bZenEnFlg, 1u);
  EXPECT_EQ(a.dHenpeiRitsu, 0.5);
  EXPECT_EQ(a.dHankei, 2);
  ASSERT_TRUE(d.AddEntArc(0, 0, 0, 1, 1, 0, 0, 5, 6, 2, 1, 45, 90, 0));
  EXPECT_DOUBLE_EQ(d.EntEnko[1].radKaishiKaku, M_PI / 4);
  EXPECT_EQ(d.EntEnko[1].bZenEnFlg, 0u);

  struct Case {
    int tp, fl;
    double pb;
    Cardinal code;
    int style, kariten;
    double scale;
  } points[] = {
      {12, 0, 2, 0, 1, 0, 2},   {-8, 0, 2, 0, 1, 0, 2},         {-7, 0, 0, 4294967289u, 100, 0, 1},
      {11, 0, -2, 11, 100, 0, 1}, {5, 8, 1e-11, 0, 1, 1, 1},     {0, 0, 1e-10, 0, 1, 0, 1e-10},
  };
  for (const Case& c : points) {
    SCOPED_TRACE(testing::Message() << "tp " << c.tp << " fl " << c.fl << " pb " << c.pb);
    ASSERT_TRUE(d.AddEntTen(0, 0, 0, 1, c.tp, 0, c.fl, 1, 2, 90, c.pb));
    const TEntJwwTen& t = d.EntTen[d.EntTenN - 1];
    EXPECT_EQ(t.nCode, c.code);
    EXPECT_EQ(t.att.nPenStyle, c.style);
    EXPECT_EQ(t.bKariten, Cardinal(c.kariten));
    EXPECT_EQ(t.dBairitsu, c.scale);
    EXPECT_DOUBLE_EQ(t.radKaitenKaku, M_PI / 2);
  }
}

TEST(Construct, TextTypesAndBasePoints) {
  TJwwData d = NewDrawing();
  struct Case {
    int ms;
    Cardinal wantMs;
    double wantW;
    int wantCo;
  } types[] = {{3, 3, 3.0, 2}, {20003, 20003, 3.0, 2}, {10011, 10000, 7.0, 5}, {-5, 0, 7.0, 5}, {0, 0, 7.0, 5}};
  for (const Case& c : types) {
    SCOPED_TRACE(testing::Message() << "ms " << c.ms);
    ASSERT_TRUE(d.AddEntMoji(0, 0, 0, 5, 0, 0, 0, c.ms, 0.0, 0.0, 1.0, 0.0, 7.0, 8.0, 9.0, 0.0, u"f", u"t"));
    const TEntJwwMoji& m = d.EntMoji[d.EntMojiN - 1];
    EXPECT_EQ(m.nMojiShu, c.wantMs);
    EXPECT_EQ(m.dSizeX, c.wantW);
    EXPECT_EQ(m.att.nPenColor, c.wantCo);
    EXPECT_EQ(m.att.nPenStyle, 1);  // base point 0 becomes 1
  }

  struct Place {
    int tp, fl;
    double x1, y1, x2, y2;
  } places[] = {
      {6, 0, 6.5, -2, 10, -2},   // middle right
      {1, 0, 10, 0, 13.5, 0},    // lower left
      {10, 0, 10, 0, 13.5, 0},   // out of range: lower left
      {1, 4, 10, 0, 19, 0},      // vertical writing: 2 * 4 + 1 along the line
  };
  for (const Place& p : places) {
    SCOPED_TRACE(testing::Message() << "tp " << p.tp << " fl " << p.fl);
    ASSERT_TRUE(d.AddEntMoji(0, 0, 0, 1, p.tp, 0, p.fl, 0, 10.0, 0.0, 3.0, 4.0, 1.0, 0.0, u"", u"AB"));
    const TEntJwwMoji& m = d.EntMoji[d.EntMojiN - 1];
    EXPECT_DOUBLE_EQ(m.start_x, p.x1);
    EXPECT_DOUBLE_EQ(m.start_y, p.y1);
    EXPECT_DOUBLE_EQ(m.end_x, p.x2);
    EXPECT_DOUBLE_EQ(m.end_y, p.y2);
  }

  // A text type on a document without text types is a free-size text with the sizes passed.
  TJwwData bare;
  ASSERT_TRUE(bare.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 20003, 0.0, 0.0, 2.0, 5.0, 1.0, 0.0, u"", u"AB"));
  EXPECT_EQ(bare.EntMoji[0].nMojiShu, 20000u);
  EXPECT_EQ(bare.EntMoji[0].dSizeX, 2);
  EXPECT_DOUBLE_EQ(bare.EntMoji[0].end_x, 2 * 1 + 0.5);
}

TEST(Construct, SolidForms) {
  TJwwData d = NewDrawing();
  struct Colour {
    int co, fc;
    Cardinal want;
  } colours[] = {{10, 255, 255}, {9, 255, 0}, {10, -1, 0}, {10, 16777216, 0}, {10, 0xFFFFFF, 0xFFFFFF}};
  for (const Colour& c : colours) {
    ASSERT_TRUE(d.AddEntSolid(0, 0, 0, c.co, 1, 0, 0, c.fc, 0, 0, 1, 0, 1, 1, 0, 1));
    EXPECT_EQ(d.EntSolid[d.EntSolidN - 1].Color, c.want) << c.co << " " << c.fc;
  }
  auto corners = [&](const TEntJwwSolid& s) {
    return std::vector<double>{s.start_x, s.start_y, s.end_x, s.end_y, s.DPoint2_x, s.DPoint2_y, s.DPoint3_x, s.DPoint3_y};
  };
  d.AddEntSolid(0, 0, 0, 1, 1, 0, 0, 0, 1, 2, 3, 4);
  EXPECT_EQ(corners(d.EntSolid[d.EntSolidN - 1]), (std::vector<double>{1, 2, 3, 4, 3, 4, 3, 4}));
  d.AddEntSolid(0, 0, 0, 1, 1, 0, 0, 0, 1, 2, 3, 4, 5, 6);
  EXPECT_EQ(corners(d.EntSolid[d.EntSolidN - 1]), (std::vector<double>{1, 2, 3, 4, 5, 6, 1, 2}));

  const double r = M_PI / 180;
  struct Curve {
    const char* what;
    std::function<bool()> add;
    int style;
    std::vector<double> want;
  } curves[] = {
      {"A full", [&] { return d.AddEntSolidA(0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 0.5, 30); }, 111,
       {1, 2, 3, 0.5, 30 * r, 0, 6.283185307179586, 100}},
      {"A part", [&] { return d.AddEntSolidA(0, 0, 0, 1, 0, 0, 0, 1, 2, 3, 0.5, 30, 45, 90); }, 111,
       {1, 2, 3, 0.5, 30 * r, 45 * r, 90 * r, 0}},
      {"C 1", [&] { return d.AddEntSolidC(0, 0, 0, 1, 1, 0, 0, 0, 1, 2, 3, 1, 0, 45, 90); }, 101,
       {1, 2, 3, 1, 0, 45 * r, 90 * r, 0}},
      {"C 2", [&] { return d.AddEntSolidC(0, 0, 0, 1, 2, 0, 0, 0, 1, 2, 3, 1, 0, 45, 90); }, 101,
       {1, 2, 3, 1, 0, 45 * r, 90 * r, 5}},
      {"C 3", [&] { return d.AddEntSolidC(0, 0, 0, 1, 3, 0, 0, 0, 1, 2, 3, 1, 0, 45, 90); }, 101,
       {1, 2, 3, 1, 0, 45 * r, 90 * r, -1}},
      {"C 7", [&] { return d.AddEntSolidC(0, 0, 0, 1, 7, 0, 0, 0, 1, 2, 3, 1, 0, 45, 90); }, 101,
       {1, 2, 3, 1, 0, 0, 2 * M_PI, 100}},
      {"D 2", [&] { return d.AddEntSolidD(0, 0, 0, 1, 2, 0, 0, 0, 1, 2, 3, 1.5, 1, 0, 45, 90); }, 106,
       {1, 2, 3, 1, 0, 45 * r, 90 * r, 1.5}},
      {"D 0", [&] { return d.AddEntSolidD(0, 0, 0, 1, 0, 0, 0, 0, 1, 2, 3, 1.5, 1, 0, 45, 90); }, 105,
       {1, 2, 3, 1, 0, 45 * r, 90 * r, 1.5}},
  };
  for (const Curve& c : curves) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.add());
    const TEntJwwSolid& s = d.EntSolid[d.EntSolidN - 1];
    EXPECT_EQ(s.att.nPenStyle, c.style);
    const std::vector<double> got = corners(s);
    for (size_t i = 0; i < 8; ++i) EXPECT_DOUBLE_EQ(got[i], c.want[i]) << i;
  }
}

TEST(Construct, BlockInsertionChecksItsDefinition) {
  TJwwData d = NewDrawing();
  EXPECT_FALSE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0));  // no definition yet
  ASSERT_TRUE(d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"door"));
  const int n1 = d.Enthd.n1;
  EXPECT_FALSE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 1, 1, 0));
  EXPECT_FALSE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, -1, 0, 0, 1, 1, 0));
  EXPECT_EQ(d.EntBlockN, 0);
  EXPECT_EQ(d.Enthd.n1, n1);
  ASSERT_TRUE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, 5, 6, 0, -2, 90));
  const TEntJwwBlock& b = d.EntBlock[0];
  EXPECT_EQ(b.dBairitsuX, 1.0);
  EXPECT_EQ(b.dBairitsuY, -2.0);
  EXPECT_DOUBLE_EQ(b.radKaitenKaku, M_PI / 2);
  EXPECT_EQ(b.nNumber, 0u);
}

TEST(Construct, DrawingOrderAndListGrowth) {
  TJwwData d;  // not even default settings: the first addition of each kind needs no AddEntPre
  ASSERT_TRUE(d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  ASSERT_TRUE(d.AddEntArc(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 0, 90, 0));
  ASSERT_TRUE(d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  EXPECT_EQ(Order(d), (std::vector<std::pair<int, int>>{{1, 0}, {2, 0}, {1, 1}}));
  EXPECT_EQ(d.EntLine.size(), 1000u);
  EXPECT_EQ(d.EntEnko.size(), 1000u);
  EXPECT_EQ(d.EntNo.size(), 1000u);

  // 1500 lines, trimmed as a read leaves them.
  for (int i = 2; i < 1500; ++i) d.AddEntLine(0, 0, 0, 1, 1, 0, 0, i, 0, 1, 1);
  ASSERT_TRUE(d.AddEntPost());
  EXPECT_EQ(d.EntLine.size(), 1500u);
  EXPECT_EQ(d.EntNo.size(), 1501u);
  // Without AddEntPre the list grows on demand instead of being written past its end.
  ASSERT_TRUE(d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  EXPECT_EQ(d.EntLineN, 1501);
  EXPECT_GE(d.EntLine.size(), 1501u);
  ASSERT_TRUE(d.AddEntPost());

  ASSERT_TRUE(d.AddEntPre());
  EXPECT_EQ(d.EntLine.size(), 2501u);
  EXPECT_EQ(d.EntEnko.size(), 1001u);
  while (d.EntLineN < 2000) d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1);
  EXPECT_EQ(d.EntLine.size(), 2501u);
  d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1);  // the 2001st
  EXPECT_EQ(d.EntLine.size(), 3000u);
  ASSERT_TRUE(d.AddEntPost());
  EXPECT_EQ(d.EntLine.size(), 2001u);
  EXPECT_EQ(d.EntNo.size(), size_t(d.Enthd.n1));
  EXPECT_EQ(d.EntEnko.size(), 1u);
}
