// Building a drawing entity by entity: the checks and corrections every addition makes, flag
// translation, derived text ends, and the lists growing in steps (1000 in the drawing, 500 in a
// block definition). A list that has no room grows on demand, whatever was called before, so an
// addition never writes past a list's end.
#include <climits>
#include <cmath>
#include <new>

#include "common/Func_2.h"
#include "jww/construct.h"

namespace jww {

namespace build {

Target DrawingTarget(TJwwData& d) {
  return {d.EntNo,   d.Enthd.n1, kDrawingStep, d.EntLine,  d.EntLineN,  d.EntEnko,  d.EntEnkoN,
          d.EntTen,  d.EntTenN,  d.EntMoji,    d.EntMojiN, d.EntSunpo,  d.EntSunpoN, d.EntSolid,
          d.EntSolidN, d.EntBlock, d.EntBlockN};
}

Target DefinitionTarget(TEntJwwBlockDef& b) {
  return {b.mNo,   b.N,      kDefinitionStep, b.mLine,  b.mLineN,  b.mEnko,  b.mEnkoN, b.mTen,
          b.mTenN, b.mMoji,  b.mMojiN,        b.mSunpo, b.mSunpoN, b.mSolid, b.mSolidN, b.mBlock,
          b.mBlockN};
}

bool ValidColor(Integer col) { return (col >= 1 && col <= 10) || (col >= 101 && col <= 356); }

bool ValidLineType(Integer ltp) {
  return (ltp >= 1 && ltp <= 9) || (ltp >= 11 && ltp <= 19) || (ltp >= 31 && ltp <= 62);
}

TEntJwwAttr MakeAttr(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd) {
  TEntJwwAttr a;
  a.lGroup = static_cast<Cardinal>(cn);
  a.nGLayer = static_cast<Word>(LayerFix(lg));
  a.nLayer = static_cast<Word>(LayerFix(ly));
  a.nPenColor = static_cast<Word>(co);
  a.nPenStyle = static_cast<Byte>(tp);
  a.nPenWidth = static_cast<Word>(wd);
  return a;
}

Word Flags(FlagKind kind, Integer fl) {
  // The sFlg value each bit of `fl` adds, bit 0 first; 0 where the bit means something else
  // (full circle, temporary point, block style) or nothing.
  static constexpr Word kTable[6][12] = {
      /* line  */ {0x0020, 0x2000, 0x0800, 0x8000, 0x1000},
      /* arc   */ {0x0020, 0x0040, 0x0010, 0, 0x0080},
      /* point */ {0x0020, 0x0040, 0x0010, 0, 0x0080},
      /* text  */ {0, 0x4010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0200, 0x0400, 0x1000, 0x8000, 0x2000, 0x0800},
      /* solid */ {0x0020, 0x2000, 0x0800, 0x1000},
      /* block */ {0x0020, 0x2000, 0x0800, 0x1000},
  };
  const Word* row = kTable[static_cast<int>(kind)];
  Word out = 0;
  for (int bit = 0; bit < 12; ++bit)
    if (fl & (1 << bit)) out = static_cast<Word>(out | row[bit]);
  return out;
}

void ApplyTextType(const TJwwData& d, Integer& ms, Double& pw, Double& ph, Double& pd, Integer& co) {
  const Integer r = ms % 10000;
  if (r >= 1 && r <= 10 && static_cast<size_t>(r) <= d.EntMoj.size()) {
    const TEntJwwMojiType& t = d.EntMoj[static_cast<size_t>(r - 1)];
    pw = t.adMojiX;
    ph = t.adMojiY;
    pd = t.adMojiD;
    co = t.anMojiCol;
  } else {
    ms = ms / 10000 * 10000;
  }
}

void TextEnds(Integer tp, Integer fl, Double px, Double py, Double pw, Double ph, Double pd, Double pa,
              std::u16string_view ps, Double& x1, Double& y1, Double& x2, Double& y2) {
  const bool vertical = fl & 4;
  const Double len = vertical ? TextExtentFixed(ps, ph, pd) : TextExtent(ps, pw, pd);
  const Double high = vertical ? pw : ph;
  TextStartPoint(tp - 1, px, py, len, high, pa, x1, y1);
  TextAnchorConvert(tp - 1, 2, px, py, len, high, pa, x2, y2);
}

namespace {

/// Makes room for entry `c` (1-based): the step rule (a count of k * step + 1 opens the next
/// step), and on demand when the list is shorter than that. Lists never shrink here.
template <class T>
void Room(std::vector<T>& list, int64_t c, Integer step) {
  const size_t want = static_cast<size_t>(c + step - 1);
  if ((c % step == 1 || static_cast<size_t>(c) > list.size()) && want > list.size()) list.resize(want);
}

}  // namespace

template <class T>
bool Append(Target& t, T rec) {
  std::vector<T>* list;
  Integer* count;
  Integer kind;
  if constexpr (std::is_same_v<T, TEntJwwLine>) list = &t.line, count = &t.lineN, kind = kEntLine;
  else if constexpr (std::is_same_v<T, TEntJwwEnko>) list = &t.enko, count = &t.enkoN, kind = kEntEnko;
  else if constexpr (std::is_same_v<T, TEntJwwTen>) list = &t.ten, count = &t.tenN, kind = kEntTen;
  else if constexpr (std::is_same_v<T, TEntJwwMoji>) list = &t.moji, count = &t.mojiN, kind = kEntMoji;
  else if constexpr (std::is_same_v<T, TEntJwwSunpo>) list = &t.sunpo, count = &t.sunpoN, kind = kEntSunpo;
  else if constexpr (std::is_same_v<T, TEntJwwSolid>) list = &t.solid, count = &t.solidN, kind = kEntSolid;
  else list = &t.block, count = &t.blockN, kind = kEntBlock;

  if (*count < 0 || t.noN < 0 || *count == INT_MAX || t.noN == INT_MAX) return false;
  const int64_t c = int64_t{*count} + 1, n = int64_t{t.noN} + 1;
  try {
    Room(*list, c, t.step);
    Room(t.no, n, t.step);
  } catch (...) {  // lack of memory: nothing is counted
    return false;
  }
  (*list)[static_cast<size_t>(c - 1)] = std::move(rec);
  t.no[static_cast<size_t>(n - 1)] = {kind, static_cast<Integer>(c - 1)};
  *count = static_cast<Integer>(c);
  t.noN = static_cast<Integer>(n);
  return true;
}

template bool Append(Target&, TEntJwwLine);
template bool Append(Target&, TEntJwwEnko);
template bool Append(Target&, TEntJwwTen);
template bool Append(Target&, TEntJwwMoji);
template bool Append(Target&, TEntJwwSunpo);
template bool Append(Target&, TEntJwwSolid);
template bool Append(Target&, TEntJwwBlock);

}  // namespace build

using namespace build;

namespace {

constexpr Double kPi = 3.14159265358979323846;

Double Rad(Double deg) { return deg / 180 * kPi; }

Word LowColor(Integer defcol) { return static_cast<Word>(defcol); }

// Point codes: a temporary point (fl bit 3) has code 0; codes outside lo..hi become 0.
Integer PointCode(Integer tp, Integer fl, Integer lo, Integer hi) {
  if (fl & 8) return 0;
  return tp < lo || tp > hi ? 0 : tp;
}

TEntJwwLine MakeLine(TJwwData& d, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                     Integer fl, Double px1, Double py1, Double px2, Double py2) {
  TEntJwwLine e;
  e.att = MakeAttr(cn, lg, ly, co, tp, wd);
  d.ColLtp_Check(e.att.nPenColor, e.att.nPenStyle);
  e.att.sFlg = Flags(FlagKind::kLine, fl);
  e.start_x = px1;
  e.start_y = py1;
  e.end_x = px2;
  e.end_y = py2;
  return e;
}

TEntJwwEnko MakeArc(TJwwData& d, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                    Integer fl, Double px, Double py, Double pr, Double ph, Double psa, Double pda, Double pka) {
  const bool full = fl & 8;
  if (full) {
    psa = 0;
    pda = 360;
  }
  TEntJwwEnko e;
  e.att = MakeAttr(cn, lg, ly, co, tp, wd);
  d.ColLtp_Check(e.att.nPenColor, e.att.nPenStyle);
  e.att.sFlg = Flags(FlagKind::kEnko, fl);
  e.start_x = px;
  e.start_y = py;
  e.dHankei = pr;
  e.radKaishiKaku = Rad(psa);
  e.radEnkoKaku = Rad(pda);
  e.radKatamukiKaku = Rad(pka);
  e.dHenpeiRitsu = ph;
  e.bZenEnFlg = full ? 1 : 0;
  return e;
}

TEntJwwTen MakeTen(TJwwData& d, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                   Integer fl, Double px, Double py, Double pa, Double pb) {
  const Integer code = PointCode(tp, fl, -7, 11);
  if (pb < 1e-10) pb = 1.0;
  TEntJwwTen e;
  e.att = MakeAttr(cn, lg, ly, co, code == 0 ? 1 : 100, wd);
  d.Col_Check(e.att.nPenColor);
  e.att.sFlg = Flags(FlagKind::kTen, fl);
  e.start_x = px;
  e.start_y = py;
  e.bKariten = (fl & 8) ? 1 : 0;
  e.nCode = static_cast<Cardinal>(code);
  e.radKaitenKaku = Rad(pa);
  e.dBairitsu = pb;
  return e;
}

TEntJwwMoji MakeMoji(TJwwData& d, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                     Integer fl, Integer ms, Double px1, Double py1, Double px2, Double py2, Double pw, Double ph,
                     Double pd, Double pa, const string& pf, const string& ps) {
  tp = BasePointFix(tp);
  ApplyTextType(d, ms, pw, ph, pd, co);
  TEntJwwMoji e;
  e.att = MakeAttr(cn, lg, ly, co, tp, wd);
  d.Col_Check(e.att.nPenColor);
  e.att.sFlg = Flags(FlagKind::kMoji, fl);
  e.start_x = px1;
  e.start_y = py1;
  e.end_x = px2;
  e.end_y = py2;
  e.nMojiShu = static_cast<Cardinal>(ms);
  e.dSizeX = pw;
  e.dSizeY = ph;
  e.dKankaku = pd;
  e.degKakudo = pa;
  e.strFontName = pf;
  e.str = ps;
  return e;
}

TEntJwwSolid MakeSolid(TJwwData& d, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                       Integer fl, Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3,
                       Double py3, Double px4, Double py4) {
  if (fc < 0 || fc > 0xFFFFFF) fc = 0;
  TEntJwwSolid e;
  e.att = MakeAttr(cn, lg, ly, co, tp, wd);
  if (tp <= 100)
    d.ColLtp_Check(e.att.nPenColor, e.att.nPenStyle);
  else
    d.Col_Check(e.att.nPenColor);
  e.att.sFlg = Flags(FlagKind::kSolid, fl);
  e.start_x = px1;
  e.start_y = py1;
  e.end_x = px2;
  e.end_y = py2;
  e.DPoint2_x = px3;
  e.DPoint2_y = py3;
  e.DPoint3_x = px4;
  e.DPoint3_y = py4;
  e.Color = co == 10 ? static_cast<Cardinal>(fc) : 0;
  return e;
}

// Curved solids keep centre, radius/flatness, tilt/start and sweep/form value in the four corners.
struct Curved {
  Integer tp;
  Double x3, y3, x4, y4;
};

Curved SolidAForm(Double pka, const Double* psa, const Double* pda) {
  if (!psa) return {111, Rad(pka), 0, 6.283185307179586, 100};
  return {111, Rad(pka), Rad(*psa), Rad(*pda), 0};
}

Curved SolidCForm(Integer tp, Double pka, Double psa, Double pda) {
  Double m;
  switch (tp) {
    case 1: m = 0; break;
    case 2: m = 5; break;
    case 3: m = -1; break;
    default:
      m = 100;
      psa = 0;
      pda = 360;
  }
  return {101, Rad(pka), Rad(psa), Rad(pda), m};
}

Curved SolidDForm(Integer tp, Double pri, Double pka, Double psa, Double pda) {
  return {tp == 2 ? 106 : 105, Rad(pka), Rad(psa), Rad(pda), pri};
}

bool BlockScalesAndNumber(const TJwwData& d, Integer bn, Double& pbx, Double& pby) {
  if (std::fabs(pbx) < 1e-10) pbx = 1.0;
  if (std::fabs(pby) < 1e-10) pby = 1.0;
  return bn >= 0 && bn < d.EntBlockDefN && static_cast<size_t>(bn) < d.EntBlockDef.size();
}

TEntJwwBlock MakeBlock(TJwwData& d, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                       Integer fl, Integer bn, Double px, Double py, Double pbx, Double pby, Double pa) {
  TEntJwwBlock e;
  e.att = MakeAttr(cn, lg, ly, co, tp, wd);
  d.ColLtp_Check(e.att.nPenColor, e.att.nPenStyle);
  if (fl & 16) e.att.nPenStyle = static_cast<Byte>(e.att.nPenStyle | 0x40);
  e.att.sFlg = Flags(FlagKind::kBlock, fl);
  e.DPKijunTen_x = px;
  e.DPKijunTen_y = py;
  e.dBairitsuX = pbx;
  e.dBairitsuY = pby;
  e.radKaitenKaku = Rad(pa);
  e.nNumber = static_cast<Cardinal>(bn);
  return e;
}

}  // namespace

// ---- lists -----------------------------------------------------------------------------------

namespace {

template <class T>
void SetLength(std::vector<T>& list, Integer n) {
  list.resize(static_cast<size_t>(std::max<Integer>(n, 0)));
}

template <class T>
void Trim(std::vector<T>& list, Integer n) {
  if (n >= 0 && static_cast<size_t>(n) < list.size()) list.resize(static_cast<size_t>(n));
}

Integer Spare(Integer n, Integer room) { return static_cast<Integer>(std::min<int64_t>(int64_t{std::max(n, 0)} + room, INT_MAX)); }

void PreLists(Target t) {
  SetLength(t.no, Spare(t.noN, t.step));
  SetLength(t.line, Spare(t.lineN, t.step));
  SetLength(t.enko, Spare(t.enkoN, t.step));
  SetLength(t.ten, Spare(t.tenN, t.step));
  SetLength(t.moji, Spare(t.mojiN, t.step));
  SetLength(t.sunpo, Spare(t.sunpoN, t.step));
  SetLength(t.solid, Spare(t.solidN, t.step));
  SetLength(t.block, Spare(t.blockN, t.step));
}

}  // namespace

void build::TrimLists(Target t) {
  Trim(t.no, t.noN);
  Trim(t.line, t.lineN);
  Trim(t.enko, t.enkoN);
  Trim(t.ten, t.tenN);
  Trim(t.moji, t.mojiN);
  Trim(t.sunpo, t.sunpoN);
  Trim(t.solid, t.solidN);
  Trim(t.block, t.blockN);
}

namespace {

Integer DefinitionsHeld(const TJwwData& d) {
  return static_cast<Integer>(std::min<int64_t>(std::max(d.Enthd.n2, 0), static_cast<int64_t>(d.EntBlockDef.size())));
}

}  // namespace

Boolean TJwwData::AddEntPre() {
  try {
    PreLists(DrawingTarget(*this));
    const Integer defs = DefinitionsHeld(*this);
    for (Integer i = 0; i < defs; ++i) PreLists(DefinitionTarget(EntBlockDef[static_cast<size_t>(i)]));
    return true;
  } catch (...) {
    return false;
  }
}

Boolean TJwwData::AddEntPost() {
  bool ok = true;
  try {
    TrimLists(DrawingTarget(*this));
    const Integer defs = DefinitionsHeld(*this);
    for (Integer i = 0; i < defs; ++i) TrimLists(DefinitionTarget(EntBlockDef[static_cast<size_t>(i)]));
  } catch (...) {
    ok = false;
  }
  try {
    MakeBlockTree();
  } catch (...) {
    ok = false;
  }
  return ok;
}

void TJwwData::Col_Check(Word& col) {
  if (!ValidColor(col)) col = LowColor(defcoljww);
}

void TJwwData::ColLtp_Check(Word& col, Byte& ltp) {
  Col_Check(col);
  if (!ValidLineType(ltp)) ltp = static_cast<Byte>(defltpjww);
}

// ---- the drawing's additions -----------------------------------------------------------------

Boolean TJwwData::AddEntLine(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                             Double px1, Double py1, Double px2, Double py2) {
  Target t = DrawingTarget(*this);
  return Append(t, MakeLine(*this, cn, lg, ly, co, tp, wd, fl, px1, py1, px2, py2));
}

Boolean TJwwData::AddEntArc(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                            Double px, Double py, Double pr, Double ph, Double psa, Double pda, Double pka) {
  Target t = DrawingTarget(*this);
  return Append(t, MakeArc(*this, cn, lg, ly, co, tp, wd, fl, px, py, pr, ph, psa, pda, pka));
}

Boolean TJwwData::AddEntTen(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                            Double px, Double py, Double pa, Double pb) {
  Target t = DrawingTarget(*this);
  return Append(t, MakeTen(*this, cn, lg, ly, co, tp, wd, fl, px, py, pa, pb));
}

Boolean TJwwData::AddEntMoji(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                             Integer ms, Double px1, Double py1, Double px2, Double py2, Double pw, Double ph,
                             Double pd, Double pa, const string& pf, const string& ps) {
  Target t = DrawingTarget(*this);
  return Append(t, MakeMoji(*this, cn, lg, ly, co, tp, wd, fl, ms, px1, py1, px2, py2, pw, ph, pd, pa, pf, ps));
}

Boolean TJwwData::AddEntMoji(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                             Integer ms, Double px, Double py, Double pw, Double ph, Double pd, Double pa,
                             const string& pf, const string& ps) {
  tp = BasePointFix(tp);
  ApplyTextType(*this, ms, pw, ph, pd, co);
  Double x1, y1, x2, y2;
  TextEnds(tp, fl, px, py, pw, ph, pd, pa, ps, x1, y1, x2, y2);
  return AddEntMoji(cn, lg, ly, co, tp, wd, fl, ms, x1, y1, x2, y2, pw, ph, pd, pa, pf, ps);
}

Boolean TJwwData::AddEntSolid(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                              Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3, Double py3,
                              Double px4, Double py4) {
  Target t = DrawingTarget(*this);
  return Append(t, MakeSolid(*this, cn, lg, ly, co, tp, wd, fl, fc, px1, py1, px2, py2, px3, py3, px4, py4));
}

Boolean TJwwData::AddEntSolid(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                              Integer fc, Double px1, Double py1, Double px2, Double py2) {
  return AddEntSolid(cn, lg, ly, co, tp, wd, fl, fc, px1, py1, px2, py2, px2, py2, px2, py2);
}

Boolean TJwwData::AddEntSolid(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                              Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3, Double py3) {
  return AddEntSolid(cn, lg, ly, co, tp, wd, fl, fc, px1, py1, px2, py2, px3, py3, px1, py1);
}

Boolean TJwwData::AddEntSolidA(Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl, Integer fc,
                               Double px, Double py, Double pr, Double ph, Double pka) {
  const Curved c = SolidAForm(pka, nullptr, nullptr);
  return AddEntSolid(cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddEntSolidA(Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl, Integer fc,
                               Double px, Double py, Double pr, Double ph, Double pka, Double psa, Double pda) {
  const Curved c = SolidAForm(pka, &psa, &pda);
  return AddEntSolid(cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddEntSolidC(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                               Integer fc, Double px, Double py, Double pr, Double ph, Double pka, Double psa,
                               Double pda) {
  const Curved c = SolidCForm(tp, pka, psa, pda);
  return AddEntSolid(cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddEntSolidD(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                               Integer fc, Double px, Double py, Double pr, Double pri, Double ph, Double pka,
                               Double psa, Double pda) {
  const Curved c = SolidDForm(tp, pri, pka, psa, pda);
  return AddEntSolid(cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddEntBlock(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd, Integer fl,
                              Integer bn, Double px, Double py, Double pbx, Double pby, Double pa) {
  if (!BlockScalesAndNumber(*this, bn, pbx, pby)) return false;
  Target t = DrawingTarget(*this);
  return Append(t, MakeBlock(*this, cn, lg, ly, co, tp, wd, fl, bn, px, py, pbx, pby, pa));
}

// ---- the twins inside a block definition ------------------------------------------------------

namespace {

bool ValidDefinition(const TJwwData& d, Integer bdn) {
  return bdn >= 0 && bdn < d.EntBlockDefN && static_cast<size_t>(bdn) < d.EntBlockDef.size();
}

}  // namespace

Boolean TJwwData::AddBlkLine(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                             Integer fl, Double px1, Double py1, Double px2, Double py2) {
  if (!ValidDefinition(*this, bdn)) return false;
  Target t = DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]);
  return Append(t, MakeLine(*this, cn, lg, ly, co, tp, wd, fl, px1, py1, px2, py2));
}

Boolean TJwwData::AddBlkArc(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                            Integer fl, Double px, Double py, Double pr, Double ph, Double psa, Double pda,
                            Double pka) {
  if (!ValidDefinition(*this, bdn)) return false;
  Target t = DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]);
  return Append(t, MakeArc(*this, cn, lg, ly, co, tp, wd, fl, px, py, pr, ph, psa, pda, pka));
}

Boolean TJwwData::AddBlkTen(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                            Integer fl, Double px, Double py, Double pa, Double pb) {
  if (!ValidDefinition(*this, bdn)) return false;
  Target t = DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]);
  return Append(t, MakeTen(*this, cn, lg, ly, co, tp, wd, fl, px, py, pa, pb));
}

Boolean TJwwData::AddBlkMoji(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                             Integer fl, Integer ms, Double px1, Double py1, Double px2, Double py2, Double pw,
                             Double ph, Double pd, Double pa, const string& pf, const string& ps) {
  if (!ValidDefinition(*this, bdn)) return false;
  Target t = DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]);
  return Append(t, MakeMoji(*this, cn, lg, ly, co, tp, wd, fl, ms, px1, py1, px2, py2, pw, ph, pd, pa, pf, ps));
}

Boolean TJwwData::AddBlkMoji(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                             Integer fl, Integer ms, Double px, Double py, Double pw, Double ph, Double pd,
                             Double pa, const string& pf, const string& ps) {
  tp = BasePointFix(tp);
  ApplyTextType(*this, ms, pw, ph, pd, co);
  Double x1, y1, x2, y2;
  TextEnds(tp, fl, px, py, pw, ph, pd, pa, ps, x1, y1, x2, y2);
  return AddBlkMoji(bdn, cn, lg, ly, co, tp, wd, fl, ms, x1, y1, x2, y2, pw, ph, pd, pa, pf, ps);
}

Boolean TJwwData::AddBlkSolid(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3,
                              Double py3, Double px4, Double py4) {
  if (!ValidDefinition(*this, bdn)) return false;
  Target t = DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]);
  return Append(t, MakeSolid(*this, cn, lg, ly, co, tp, wd, fl, fc, px1, py1, px2, py2, px3, py3, px4, py4));
}

Boolean TJwwData::AddBlkSolid(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Integer fc, Double px1, Double py1, Double px2, Double py2) {
  return AddBlkSolid(bdn, cn, lg, ly, co, tp, wd, fl, fc, px1, py1, px2, py2, px2, py2, px2, py2);
}

Boolean TJwwData::AddBlkSolid(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Integer fc, Double px1, Double py1, Double px2, Double py2, Double px3,
                              Double py3) {
  return AddBlkSolid(bdn, cn, lg, ly, co, tp, wd, fl, fc, px1, py1, px2, py2, px3, py3, px1, py1);
}

Boolean TJwwData::AddBlkSolidA(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl,
                               Integer fc, Double px, Double py, Double pr, Double ph, Double pka) {
  const Curved c = SolidAForm(pka, nullptr, nullptr);
  return AddBlkSolid(bdn, cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddBlkSolidA(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer wd, Integer fl,
                               Integer fc, Double px, Double py, Double pr, Double ph, Double pka, Double psa,
                               Double pda) {
  const Curved c = SolidAForm(pka, &psa, &pda);
  return AddBlkSolid(bdn, cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddBlkSolidC(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                               Integer fl, Integer fc, Double px, Double py, Double pr, Double ph, Double pka,
                               Double psa, Double pda) {
  const Curved c = SolidCForm(tp, pka, psa, pda);
  return AddBlkSolid(bdn, cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddBlkSolidD(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                               Integer fl, Integer fc, Double px, Double py, Double pr, Double pri, Double ph,
                               Double pka, Double psa, Double pda) {
  const Curved c = SolidDForm(tp, pri, pka, psa, pda);
  return AddBlkSolid(bdn, cn, lg, ly, co, c.tp, wd, fl, fc, px, py, pr, ph, c.x3, c.y3, c.x4, c.y4);
}

Boolean TJwwData::AddBlkBlock(Integer bdn, Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd,
                              Integer fl, Integer bn, Double px, Double py, Double pbx, Double pby, Double pa) {
  if (!BlockScalesAndNumber(*this, bn, pbx, pby) || !ValidDefinition(*this, bdn)) return false;
  // Every file we write must have a finite block tree.
  if (InsertionMakesCycle(*this, bdn, static_cast<Cardinal>(bn))) return false;
  Target t = DefinitionTarget(EntBlockDef[static_cast<size_t>(bdn)]);
  return Append(t, MakeBlock(*this, cn, lg, ly, co, tp, wd, fl, bn, px, py, pbx, pby, pa));
}

}  // namespace jww
