// Dimensions built in their five forms: the derived auxiliary lines, the turned end points, the
// reference points, the text ends and the flags of each part, against values worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "jww/JwwUnit.h"

using namespace jww;

namespace {

TJwwData NewDrawing() {
  TJwwData d;
  d.DataDefaultSet();
  return d;
}

struct Aux {
  int ex3 = 0, ex4 = 0, ex5 = 0, ex6 = 0, ex7 = 0, ex8 = 0;
  int tp5 = 0, tp7 = 0, fl5 = 0;
};

// Form 5: line (0,10)-(100,10), reference points (0,0) and (100,0), aux lines 2 and 3.
bool AddForm5(TJwwData& d, const Aux& a, double x9 = 0, double y9 = 0, double x1 = 0, double y1 = 10) {
  return d.AddEntSunpo(0, 0, 0, 1, 1, 0, 0, x1, y1, 100, 10, 1, 2, 0, 0, 0, 50.0, 10.0, 3.0, 4.0, 1.0, 0.0,
                       u"", u"100", 2.0, 3.0,                                //
                       a.ex3, 2, 1, 0, 0,                                    //
                       a.ex4, 2, 1, 0, 0,                                    //
                       a.ex5, 3, a.tp5, 0, a.fl5, 2.0,                       //
                       a.ex6, 3, 0, 0, 0, 0.0,                               //
                       a.ex7, 4, a.tp7, 0, 0, x9, y9, 1.0,                   //
                       a.ex8, 4, 0, 0, 0, 100.0, 0.0, 1.0);
}

void ExpectLine(const TEntJwwLine& l, double x1, double y1, double x2, double y2) {
  EXPECT_NEAR(l.start_x, x1, 1e-12);
  EXPECT_NEAR(l.start_y, y1, 1e-12);
  EXPECT_NEAR(l.end_x, x2, 1e-12);
  EXPECT_NEAR(l.end_y, y2, 1e-12);
}

}  // namespace

TEST(Dimension, DerivedAuxiliaryLinesAndTurnedEndPoints) {
  TJwwData d = NewDrawing();
  struct Case {
    int ex5, ex6;
    double turn1, turn2;
  } cases[] = {{1, 1, M_PI, 0}, {2, 2, 0, M_PI}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ex5);
    Aux a;
    a.ex3 = a.ex4 = 1;
    a.ex5 = c.ex5;
    a.ex6 = c.ex6;
    ASSERT_TRUE(AddForm5(d, a));
    const TEntJwwSunpo& s = d.EntSunpo[d.EntSunpoN - 1];
    EXPECT_EQ(s.bSxfMode, 1);
    ExpectLine(s.Ho1, 0, 2, 0, 13);
    ExpectLine(s.Ho2, 100, 2, 100, 13);
    EXPECT_EQ(s.Ho1.att.nPenColor, 2);
    EXPECT_EQ(s.Ho1.att.sFlg, 0x2000);
    EXPECT_EQ(s.Te1.start_x, 0);
    EXPECT_EQ(s.Te1.start_y, 10);
    EXPECT_EQ(s.Te2.start_x, 100);
    EXPECT_DOUBLE_EQ(s.Te1.radKaitenKaku, c.turn1);
    EXPECT_DOUBLE_EQ(s.Te2.radKaitenKaku, c.turn2);
    EXPECT_EQ(s.Te1.dBairitsu, 2.0);
    EXPECT_EQ(s.Te2.dBairitsu, 1.0);  // scale 0 becomes 1
    EXPECT_EQ(s.Te1.att.sFlg, 0x0040);
    EXPECT_EQ(s.Te1.att.nPenColor, 3);
  }
  // A reference point on the line's end: direction 0, the line runs from d1 to d2 past it.
  Aux a;
  a.ex3 = 1;
  ASSERT_TRUE(AddForm5(d, a, 5, 5, 5, 5));
  ExpectLine(d.EntSunpo[d.EntSunpoN - 1].Ho1, 7, 5, 8, 5);
}

TEST(Dimension, UnusedPartsAndPointCodes) {
  TJwwData d = NewDrawing();
  // Form 1 and form 5 with every ex 0: a simple dimension, whatever the lines would have been.
  ASSERT_TRUE(d.AddEntSunpo(7, 2, 3, 5, 2, 9, 31, 0.0, 10.0, 100.0, 10.0, 1, 2, 0, 1, 0, 40.0, 10.0, 60.0, 10.0,
                            3.0, 4.0, 1.0, 0.0, u"", u"100"));
  ASSERT_TRUE(AddForm5(d, Aux{}));
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const TEntJwwSunpo& s = d.EntSunpo[i];
    EXPECT_EQ(s.bSxfMode, 0);
    ExpectLine(s.Ho1, 0, 0, 0, 0);
    ExpectLine(s.Ho2, 0, 0, 0, 0);
    for (const TEntJwwTen* t : {&s.Te1, &s.Te2, &s.Kt1, &s.Kt2}) {
      EXPECT_EQ(t->att.nPenStyle, 0);
      EXPECT_EQ(t->att.nPenColor, s.att.nPenColor);
      EXPECT_EQ(t->att.sFlg, 0x2000);
      EXPECT_EQ(t->start_x, 0);
      EXPECT_EQ(t->dBairitsu, 0);
      EXPECT_EQ(t->bKariten, 0u);
    }
    EXPECT_EQ(s.att.sFlg, 0x2000);
  }
  const TEntJwwSunpo& s = d.EntSunpo[0];
  EXPECT_EQ(s.Sen.att.sFlg, 0xB820);  // fl = 31: bit 1 not consulted
  EXPECT_EQ(s.Moji.att.sFlg, 0x4010);  // fl2 = 1: nothing added
  EXPECT_EQ(s.Ho1.att.lGroup, 7u);
  EXPECT_EQ(s.Ho1.att.nLayer, 3);
  EXPECT_EQ(s.Moji.att.nGLayer, 2);
  EXPECT_EQ(s.Moji.att.nPenStyle, 2);  // the text base point

  struct Code {
    int ex7, tp7, ex5, tp5, fl5;
    Cardinal kt1Code, te1Code;
    Cardinal te1Kariten;
  } codes[] = {
      {1, 5, 1, 5, 0, 0, 5, 0},          // a reference point code of 5 is 0, an end point's is kept
      {1, -7, 1, 12, 0, Cardinal(-7), 0, 0},
      {1, 1, 1, 5, 8, 0, 0, 1},          // bit 3: temporary end point with code 0
  };
  for (const Code& c : codes) {
    Aux a;
    a.ex7 = c.ex7;
    a.tp7 = c.tp7;
    a.ex5 = c.ex5;
    a.tp5 = c.tp5;
    a.fl5 = c.fl5;
    ASSERT_TRUE(AddForm5(d, a, 1, 2));
    const TEntJwwSunpo& t = d.EntSunpo[d.EntSunpoN - 1];
    EXPECT_EQ(t.Kt1.nCode, c.kt1Code);
    EXPECT_EQ(t.Te1.nCode, c.te1Code);
    EXPECT_EQ(t.Te1.bKariten, c.te1Kariten);
  }
  // Only the first reference point in use: a temporary point at its place, not turned.
  Aux only;
  only.ex7 = 1;
  ASSERT_TRUE(AddForm5(d, only, 1, 2));
  const TEntJwwSunpo& k = d.EntSunpo[d.EntSunpoN - 1];
  EXPECT_EQ(k.bSxfMode, 1);
  EXPECT_EQ(k.Kt1.bKariten, 1u);
  EXPECT_EQ(k.Kt1.start_x, 1);
  EXPECT_EQ(k.Kt1.start_y, 2);
  EXPECT_EQ(k.Kt1.radKaitenKaku, 0);
  EXPECT_EQ(k.Kt1.att.nPenStyle, 1);
  EXPECT_EQ(k.Kt1.att.nPenColor, 4);
  EXPECT_EQ(k.Te1.att.nPenStyle, 0);
}

TEST(Dimension, TextPlacedAtItsBasePointAndTextTypes) {
  TJwwData d = NewDrawing();
  // Forms 2 and 4 place the text as a base-point text does.
  ASSERT_TRUE(d.AddEntSunpo(0, 0, 0, 1, 1, 0, 0, 0.0, 0.0, 20.0, 0.0, 1, 6, 0, 0, 0, 10.0, 0.0, 3.0, 4.0, 1.0,
                            0.0, u"", u"AB"));
  ASSERT_TRUE(d.AddEntSunpo(0, 0, 0, 1, 1, 0, 0, 0.0, 0.0, 20.0, 0.0, 1, 6, 0, 0, 0, 10.0, 0.0, 3.0, 4.0, 1.0,
                            0.0, u"", u"AB",                                  //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0,                //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0,                //
                            1, 1, 0, 0, 0, 1.0, 1, 1, 0, 0, 0, 1.0,           //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0,                     //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0));
  for (int i = 0; i < 2; ++i) {
    const TEntJwwMoji& m = d.EntSunpo[i].Moji;
    EXPECT_DOUBLE_EQ(m.start_x, 6.5);
    EXPECT_DOUBLE_EQ(m.start_y, -2);
    EXPECT_DOUBLE_EQ(m.end_x, 10);
    EXPECT_DOUBLE_EQ(m.end_y, -2);
    EXPECT_EQ(m.att.nPenStyle, 6);
  }
  EXPECT_EQ(d.EntSunpo[1].bSxfMode, 1);
  // Form 3 with a text type: sizes and colour from type 3, also for a text given by its ends.
  ASSERT_TRUE(d.AddEntSunpo(0, 0, 0, 1, 1, 0, 0, 0.0, 0.0, 20.0, 0.0, 9, 0, 0, 0, 3, 1.0, 2.0, 3.0, 4.0, 9.0,
                            9.0, 9.0, 0.0, u"", u"AB",                        //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0,                //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0, 0.0,                //
                            0, 0, 0, 0, 0, 0.0, 0, 0, 0, 0, 0, 0.0,           //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0,                     //
                            0, 0, 0, 0, 0, 0.0, 0.0, 0.0));
  const TEntJwwMoji& m = d.EntSunpo[2].Moji;
  EXPECT_EQ(m.dSizeX, 3.0);
  EXPECT_EQ(m.dKankaku, 0.5);
  EXPECT_EQ(m.att.nPenColor, 2);
  EXPECT_EQ(m.nMojiShu, 3u);
  EXPECT_EQ(m.att.nPenStyle, 1);  // base point 0 becomes 1
  EXPECT_EQ(m.end_y, 4.0);        // ends as given
  EXPECT_EQ(d.Enthd.n1, 3);
  EXPECT_EQ(d.EntNo[2].EntType, 5);
  EXPECT_EQ(d.EntNo[2].EntNo, 2);
}
