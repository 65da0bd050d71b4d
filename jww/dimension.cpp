// Dimensions: one record bundling the dimension line, its text, two auxiliary lines, the two end
// points turned along the line and the two reference points, each with attributes of its own.
// Five forms of the operation reduce to one: the text by its ends or at a base point, the
// auxiliary parts left out, given in full, or derived from two distances.
#include <cmath>

#include "common/Func_2.h"
#include "jww/construct.h"

namespace jww {

using namespace build;

namespace {

bool ValidDefinition(const TJwwData& d, Integer bdn) {
  return bdn >= 0 && bdn < d.EntBlockDefN && static_cast<size_t>(bdn) < d.EntBlockDef.size();
}

// Fixed sFlg bits of the parts, and the bits of each part's flag word that may add to them.
constexpr Word kSunpoFlag = 0x2000;
constexpr Word kPointFlag = 0x0040;
constexpr Integer kLineBits = ~2;         // bit 1 would add 0x2000 a second time
constexpr Integer kTextBits = ~3;         // bit 1 (0x4010) is always set; bit 0 means nothing here
constexpr Integer kPointBits = ~(2 | 8);  // bit 1 is the fixed 0x0040; bit 3 makes a temporary point

/// A point of the dimension: unused it carries the dimension's attributes with style 0 and zeros.
TEntJwwTen SunpoPoint(TJwwData& d, const TEntJwwAttr& own, const SunpoAuxPoint& g, Double x, Double y,
                      Double angle, bool reference) {
  TEntJwwTen e;
  e.att = own;
  e.att.nPenStyle = 0;
  if (g.ex == 0) return e;
  e.att.nPenColor = static_cast<Word>(g.co);
  d.Col_Check(e.att.nPenColor);
  e.att.nPenStyle = g.tp == 0 ? 1 : 100;
  e.att.nPenWidth = static_cast<Word>(g.wd);
  e.att.sFlg = static_cast<Word>(kPointFlag | Flags(FlagKind::kTen, g.fl & kPointBits));
  e.start_x = x;
  e.start_y = y;
  e.nCode = static_cast<Cardinal>(g.tp);
  e.radKaitenKaku = reference ? 0 : angle;
  e.dBairitsu = g.pb;
  e.bKariten = reference || (g.fl & 8) ? 1 : 0;
  return e;
}

TEntJwwLine AuxLine(TJwwData& d, const TEntJwwAttr& own, const SunpoAuxLine& g) {
  TEntJwwLine e;
  e.att = own;
  if (g.ex != 0) {
    e.att.nPenColor = static_cast<Word>(g.co);
    e.att.nPenStyle = static_cast<Byte>(g.tp);
    d.ColLtp_Check(e.att.nPenColor, e.att.nPenStyle);
    e.att.nPenWidth = static_cast<Word>(g.wd);
    e.att.sFlg = static_cast<Word>(kSunpoFlag | Flags(FlagKind::kLine, g.fl & kLineBits));
  }
  e.start_x = g.x1;
  e.start_y = g.y1;
  e.end_x = g.x2;
  e.end_y = g.y2;
  return e;
}

}  // namespace

bool build::AddSunpo(TJwwData& d, Target t, SunpoParams p) {
  p.tp2 = BasePointFix(p.tp2);
  ApplyTextType(d, p.ms, p.pw, p.ph, p.pd, p.co2);
  for (SunpoAuxLine& g : p.ho)
    if (g.ex == 0) g.x1 = g.y1 = g.x2 = g.y2 = 0;
  for (SunpoAuxPoint& g : p.te) {
    if ((g.fl & 8) || g.tp < -7 || g.tp > 11) g.tp = 0;
    if (g.pb < 1e-10) g.pb = 1.0;
  }
  for (SunpoAuxPoint& g : p.kt) {
    if ((g.fl & 8) || g.tp < -7 || g.tp > 0) g.tp = 0;
    if (g.pb < 1e-10) g.pb = 1.0;
  }

  TEntJwwSunpo e;
  e.att = MakeAttr(p.cn, p.lg, p.ly, p.co, p.tp, p.wd);
  d.ColLtp_Check(e.att.nPenColor, e.att.nPenStyle);
  e.att.sFlg = kSunpoFlag;
  const bool sxf = p.ho[0].ex || p.ho[1].ex || p.te[0].ex || p.te[1].ex || p.kt[0].ex || p.kt[1].ex;
  e.bSxfMode = sxf ? 1 : 0;

  e.Sen.att = e.att;
  e.Sen.att.sFlg = static_cast<Word>(kSunpoFlag | Flags(FlagKind::kLine, p.fl & kLineBits));
  e.Sen.start_x = p.px1;
  e.Sen.start_y = p.py1;
  e.Sen.end_x = p.px2;
  e.Sen.end_y = p.py2;

  TEntJwwMoji& m = e.Moji;
  m.att = MakeAttr(p.cn, p.lg, p.ly, p.co2, p.tp2, p.wd2);
  d.ColLtp_Check(m.att.nPenColor, m.att.nPenStyle);
  m.att.sFlg = static_cast<Word>(0x4010 | Flags(FlagKind::kMoji, p.fl2 & kTextBits));
  m.start_x = p.px3;
  m.start_y = p.py3;
  m.end_x = p.px4;
  m.end_y = p.py4;
  m.nMojiShu = static_cast<Cardinal>(p.ms);
  m.dSizeX = p.pw;
  m.dSizeY = p.ph;
  m.dKankaku = p.pd;
  m.degKakudo = p.pa;
  m.strFontName = *p.pf;
  m.str = *p.ps;

  e.Ho1 = AuxLine(d, e.att, p.ho[0]);
  e.Ho2 = AuxLine(d, e.att, p.ho[1]);
  // ex = 1 turns an end point away from the other end, any other non-zero value towards it.
  const Double away1 = VectorAngle(p.px1 - p.px2, p.py1 - p.py2);
  const Double away2 = VectorAngle(p.px2 - p.px1, p.py2 - p.py1);
  e.Te1 = SunpoPoint(d, e.att, p.te[0], p.px1, p.py1, p.te[0].ex == 1 ? away1 : away2, false);
  e.Te2 = SunpoPoint(d, e.att, p.te[1], p.px2, p.py2, p.te[1].ex == 1 ? away2 : away1, false);
  e.Kt1 = SunpoPoint(d, e.att, p.kt[0], p.kt[0].x, p.kt[0].y, 0, true);
  e.Kt2 = SunpoPoint(d, e.att, p.kt[1], p.kt[1].x, p.kt[1].y, 0, true);
  return Append(t, std::move(e));
}

bool build::AddSunpoAtBase(TJwwData& d, Target t, SunpoParams p) {
  p.tp2 = BasePointFix(p.tp2);
  ApplyTextType(d, p.ms, p.pw, p.ph, p.pd, p.co2);
  const Double px = p.px3, py = p.py3;
  TextEnds(p.tp2, p.fl2, px, py, p.pw, p.ph, p.pd, p.pa, *p.ps, p.px3, p.py3, p.px4, p.py4);
  return AddSunpo(d, t, p);
}

void build::DeriveAuxLines(SunpoParams& p, Double d1, Double d2) {
  auto derive = [&](SunpoAuxLine& line, const SunpoAuxPoint& ref, Double ex, Double ey) {
    const Double len = PointDistance(ref.x, ref.y, ex, ey);
    const Double th = VectorAngle(ex - ref.x, ey - ref.y);
    const Double c = std::cos(th), s = std::sin(th);
    line.x1 = ref.x + d1 * c;
    line.y1 = ref.y + d1 * s;
    line.x2 = ref.x + (len + d2) * c;
    line.y2 = ref.y + (len + d2) * s;
  };
  derive(p.ho[0], p.kt[0], p.px1, p.py1);
  derive(p.ho[1], p.kt[1], p.px2, p.py2);
}

Boolean TJwwData::AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2,
                              Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px3, Double py3,
                              Double px4, Double py4, Double pw, Double ph, Double pd, Double pa,
                              const string& pf, const string& ps) {
  SunpoParams p{cn, lg,  ly,  co,  tp,  wd, fl, px1, py1, px2, py2, co2, tp2, wd2, fl2,
                ms, px3, py3, px4, py4, pw, ph, pd,  pa,  &pf, &ps, {},  {},  {}};
  return AddSunpo(*this, DrawingTarget(*this), p);
}

Boolean TJwwData::AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp,
                              Integer wd, Integer fl, Double px1, Double py1, Double px2, Double py2,
                              Integer co2, Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px3,
                              Double py3, Double px4, Double py4, Double pw, Double ph, Double pd, Double pa,
                              const string& pf, const string& ps) {
  SunpoParams p{cn, lg,  ly,  co,  tp,  wd, fl, px1, py1, px2, py2, co2, tp2, wd2, fl2,
                ms, px3, py3, px4, py4, pw, ph, pd,  pa,  &pf, &ps, {},  {},  {}};
  if (!ValidDefinition(*this, bdn)) return false;
  return AddSunpo(*this, DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]), p);
}

Boolean TJwwData::AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2,
                              Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px, Double py,
                              Double pw, Double ph, Double pd, Double pa, const string& pf, const string& ps) {
  SunpoParams p{cn, lg, ly, co, tp, wd, fl, px1, py1, px2, py2, co2, tp2, wd2, fl2,
                ms, px, py, 0,  0,  pw, ph, pd,  pa,  &pf, &ps, {},  {},  {}};
  return AddSunpoAtBase(*this, DrawingTarget(*this), p);
}

Boolean TJwwData::AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp,
                              Integer wd, Integer fl, Double px1, Double py1, Double px2, Double py2,
                              Integer co2, Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px,
                              Double py, Double pw, Double ph, Double pd, Double pa, const string& pf,
                              const string& ps) {
  SunpoParams p{cn, lg, ly, co, tp, wd, fl, px1, py1, px2, py2, co2, tp2, wd2, fl2,
                ms, px, py, 0,  0,  pw, ph, pd,  pa,  &pf, &ps, {},  {},  {}};
  if (!ValidDefinition(*this, bdn)) return false;
  return AddSunpoAtBase(*this, DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]), p);
}

Boolean TJwwData::AddEntSunpo(
    Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl, Double px1, Double py1,
    Double px2, Double py2, Integer co2, Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px3,
    Double py3, Double px4, Double py4, Double pw, Double ph, Double pd, Double pa, const string& pf,
    const string& ps, Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3, Double px5, Double py5,
    Double px6, Double py6, Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4, Double px7,
    Double py7, Double px8, Double py8, Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5,
    Double pb5, Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6, Integer ex7,
    Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9, Double py9, Double pb7, Integer ex8,
    Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10, Double py10, Double pb8) {
  SunpoParams p{cn,
                lg,
                ly,
                co,
                tp,
                wd,
                fl,
                px1,
                py1,
                px2,
                py2,
                co2,
                tp2,
                wd2,
                fl2,
                ms,
                px3,
                py3,
                px4,
                py4,
                pw,
                ph,
                pd,
                pa,
                &pf,
                &ps,
                {{ex3, co3, tp3, wd3, fl3, px5, py5, px6, py6}, {ex4, co4, tp4, wd4, fl4, px7, py7, px8, py8}},
                {{ex5, co5, tp5, wd5, fl5, 0, 0, pb5}, {ex6, co6, tp6, wd6, fl6, 0, 0, pb6}},
                {{ex7, co7, tp7, wd7, fl7, px9, py9, pb7}, {ex8, co8, tp8, wd8, fl8, px10, py10, pb8}}};
  return AddSunpo(*this, DrawingTarget(*this), p);
}

Boolean TJwwData::AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp,
                              Integer wd, Integer fl, Double px1, Double py1, Double px2, Double py2,
                              Integer co2, Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px3,
                              Double py3, Double px4, Double py4, Double pw, Double ph, Double pd, Double pa,
                              const string& pf, const string& ps, Integer ex3, Integer co3, Integer tp3,
                              Integer wd3, Integer fl3, Double px5, Double py5, Double px6, Double py6,
                              Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4, Double px7,
                              Double py7, Double px8, Double py8, Integer ex5, Integer co5, Integer tp5,
                              Integer wd5, Integer fl5, Double pb5, Integer ex6, Integer co6, Integer tp6,
                              Integer wd6, Integer fl6, Double pb6, Integer ex7, Integer co7, Integer tp7,
                              Integer wd7, Integer fl7, Double px9, Double py9, Double pb7, Integer ex8,
                              Integer co8, Integer tp8, Integer wd8, Integer fl8, Double px10, Double py10,
                              Double pb8) {
  SunpoParams p{cn,
                lg,
                ly,
                co,
                tp,
                wd,
                fl,
                px1,
                py1,
                px2,
                py2,
                co2,
                tp2,
                wd2,
                fl2,
                ms,
                px3,
                py3,
                px4,
                py4,
                pw,
                ph,
                pd,
                pa,
                &pf,
                &ps,
                {{ex3, co3, tp3, wd3, fl3, px5, py5, px6, py6}, {ex4, co4, tp4, wd4, fl4, px7, py7, px8, py8}},
                {{ex5, co5, tp5, wd5, fl5, 0, 0, pb5}, {ex6, co6, tp6, wd6, fl6, 0, 0, pb6}},
                {{ex7, co7, tp7, wd7, fl7, px9, py9, pb7}, {ex8, co8, tp8, wd8, fl8, px10, py10, pb8}}};
  if (!ValidDefinition(*this, bdn)) return false;
  return AddSunpo(*this, DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]), p);
}

Boolean TJwwData::AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2,
                              Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px, Double py,
                              Double pw, Double ph, Double pd, Double pa, const string& pf, const string& ps,
                              Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3, Double px5,
                              Double py5, Double px6, Double py6, Integer ex4, Integer co4, Integer tp4,
                              Integer wd4, Integer fl4, Double px7, Double py7, Double px8, Double py8,
                              Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,
                              Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,
                              Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                              Double py9, Double pb7, Integer ex8, Integer co8, Integer tp8, Integer wd8,
                              Integer fl8, Double px10, Double py10, Double pb8) {
  SunpoParams p{cn,
                lg,
                ly,
                co,
                tp,
                wd,
                fl,
                px1,
                py1,
                px2,
                py2,
                co2,
                tp2,
                wd2,
                fl2,
                ms,
                px,
                py,
                0,
                0,
                pw,
                ph,
                pd,
                pa,
                &pf,
                &ps,
                {{ex3, co3, tp3, wd3, fl3, px5, py5, px6, py6}, {ex4, co4, tp4, wd4, fl4, px7, py7, px8, py8}},
                {{ex5, co5, tp5, wd5, fl5, 0, 0, pb5}, {ex6, co6, tp6, wd6, fl6, 0, 0, pb6}},
                {{ex7, co7, tp7, wd7, fl7, px9, py9, pb7}, {ex8, co8, tp8, wd8, fl8, px10, py10, pb8}}};
  return AddSunpoAtBase(*this, DrawingTarget(*this), p);
}

Boolean TJwwData::AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp,
                              Integer wd, Integer fl, Double px1, Double py1, Double px2, Double py2,
                              Integer co2, Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px,
                              Double py, Double pw, Double ph, Double pd, Double pa, const string& pf,
                              const string& ps, Integer ex3, Integer co3, Integer tp3, Integer wd3, Integer fl3,
                              Double px5, Double py5, Double px6, Double py6, Integer ex4, Integer co4,
                              Integer tp4, Integer wd4, Integer fl4, Double px7, Double py7, Double px8,
                              Double py8, Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5,
                              Double pb5, Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6,
                              Double pb6, Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7,
                              Double px9, Double py9, Double pb7, Integer ex8, Integer co8, Integer tp8,
                              Integer wd8, Integer fl8, Double px10, Double py10, Double pb8) {
  SunpoParams p{cn,
                lg,
                ly,
                co,
                tp,
                wd,
                fl,
                px1,
                py1,
                px2,
                py2,
                co2,
                tp2,
                wd2,
                fl2,
                ms,
                px,
                py,
                0,
                0,
                pw,
                ph,
                pd,
                pa,
                &pf,
                &ps,
                {{ex3, co3, tp3, wd3, fl3, px5, py5, px6, py6}, {ex4, co4, tp4, wd4, fl4, px7, py7, px8, py8}},
                {{ex5, co5, tp5, wd5, fl5, 0, 0, pb5}, {ex6, co6, tp6, wd6, fl6, 0, 0, pb6}},
                {{ex7, co7, tp7, wd7, fl7, px9, py9, pb7}, {ex8, co8, tp8, wd8, fl8, px10, py10, pb8}}};
  if (!ValidDefinition(*this, bdn)) return false;
  return AddSunpoAtBase(*this, DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]), p);
}

Boolean TJwwData::AddEntSunpo(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Double px1, Double py1, Double px2, Double py2, Integer co2,
                              Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px, Double py,
                              Double pw, Double ph, Double pd, Double pa, const string& pf, const string& ps,
                              Double d1, Double d2, Integer ex3, Integer co3, Integer tp3, Integer wd3,
                              Integer fl3, Integer ex4, Integer co4, Integer tp4, Integer wd4, Integer fl4,
                              Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5, Double pb5,
                              Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6, Double pb6,
                              Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7, Double px9,
                              Double py9, Double pb7, Integer ex8, Integer co8, Integer tp8, Integer wd8,
                              Integer fl8, Double px10, Double py10, Double pb8) {
  SunpoParams p{cn,
                lg,
                ly,
                co,
                tp,
                wd,
                fl,
                px1,
                py1,
                px2,
                py2,
                co2,
                tp2,
                wd2,
                fl2,
                ms,
                px,
                py,
                0,
                0,
                pw,
                ph,
                pd,
                pa,
                &pf,
                &ps,
                {{ex3, co3, tp3, wd3, fl3}, {ex4, co4, tp4, wd4, fl4}},
                {{ex5, co5, tp5, wd5, fl5, 0, 0, pb5}, {ex6, co6, tp6, wd6, fl6, 0, 0, pb6}},
                {{ex7, co7, tp7, wd7, fl7, px9, py9, pb7}, {ex8, co8, tp8, wd8, fl8, px10, py10, pb8}}};
  DeriveAuxLines(p, d1, d2);
  return AddSunpoAtBase(*this, DrawingTarget(*this), p);
}

Boolean TJwwData::AddBlkSunpo(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp,
                              Integer wd, Integer fl, Double px1, Double py1, Double px2, Double py2,
                              Integer co2, Integer tp2, Integer wd2, Integer fl2, Integer ms, Double px,
                              Double py, Double pw, Double ph, Double pd, Double pa, const string& pf,
                              const string& ps, Double d1, Double d2, Integer ex3, Integer co3, Integer tp3,
                              Integer wd3, Integer fl3, Integer ex4, Integer co4, Integer tp4, Integer wd4,
                              Integer fl4, Integer ex5, Integer co5, Integer tp5, Integer wd5, Integer fl5,
                              Double pb5, Integer ex6, Integer co6, Integer tp6, Integer wd6, Integer fl6,
                              Double pb6, Integer ex7, Integer co7, Integer tp7, Integer wd7, Integer fl7,
                              Double px9, Double py9, Double pb7, Integer ex8, Integer co8, Integer tp8,
                              Integer wd8, Integer fl8, Double px10, Double py10, Double pb8) {
  SunpoParams p{cn,
                lg,
                ly,
                co,
                tp,
                wd,
                fl,
                px1,
                py1,
                px2,
                py2,
                co2,
                tp2,
                wd2,
                fl2,
                ms,
                px,
                py,
                0,
                0,
                pw,
                ph,
                pd,
                pa,
                &pf,
                &ps,
                {{ex3, co3, tp3, wd3, fl3}, {ex4, co4, tp4, wd4, fl4}},
                {{ex5, co5, tp5, wd5, fl5, 0, 0, pb5}, {ex6, co6, tp6, wd6, fl6, 0, 0, pb6}},
                {{ex7, co7, tp7, wd7, fl7, px9, py9, pb7}, {ex8, co8, tp8, wd8, fl8, px10, py10, pb8}}};
  DeriveAuxLines(p, d1, d2);
  if (!ValidDefinition(*this, bdn)) return false;
  return AddSunpoAtBase(*this, DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]), p);
}

}  // namespace jww
