// Scene building: one pass over the drawing order of the drawing and of each block definition.
#include "scene/Scene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <unordered_map>

namespace scene {

namespace {

using namespace jww;

constexpr double kPi = 3.14159265358979323846;

bool Finite(std::initializer_list<double> v) {
  for (double x : v)
    if (!std::isfinite(x)) return false;
  return true;
}

/// Colour values of the drawing keep red in the low byte; the scene keeps 0xRRGGBB.
uint32_t Rgb(Integer bgr) {
  const uint32_t v = static_cast<uint32_t>(bgr);
  return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}

// Dash and gap lengths of a dash bit pattern: `dots` bits, highest first, each `dot` mm long.
std::vector<double> BitDashes(uint32_t bits, int dots, double dot) {
  if (dots < 1 || dots > 32 || !(dot > 0) || !std::isfinite(dot)) return {};
  std::vector<bool> on(dots);
  for (int i = 0; i < dots; ++i) on[i] = (bits >> (dots - 1 - i)) & 1u;
  // Start at a dash that follows a gap, so the runs alternate dash, gap, dash, ...
  int first = -1;
  for (int i = 0; i < dots; ++i)
    if (on[i] && !on[(i + dots - 1) % dots]) {
      first = i;
      break;
    }
  if (first < 0) return {};  // all dashes (continuous) or all gaps (drawn continuous too)
  std::vector<double> runs;
  bool cur = true;
  int len = 0;
  for (int k = 0; k < dots; ++k) {
    const bool b = on[(first + k) % dots];
    if (b != cur) {
      runs.push_back(len * dot);
      cur = b;
      len = 0;
    }
    ++len;
  }
  runs.push_back(len * dot);
  if (runs.size() % 2) runs.push_back(0);
  return runs;
}

std::vector<LineType> LineTypes(const TJwwData& d) {
  std::vector<LineType> t(63);
  for (int n = 0; n < 63; ++n) t[n].name = n <= 1 ? "CONTINUOUS" : "JW_" + std::to_string(n);
  auto bits = [&](int n, Integer lt, Integer dots, Integer prtPitch) {
    t[n].dashes = BitDashes(static_cast<uint32_t>(lt), dots, prtPitch / 32.0);
  };
  for (int n = 2; n <= 9 && size_t(n - 2) < d.EntLtp1.size(); ++n) {
    const auto& e = d.EntLtp1[n - 2];
    bits(n, e.alLType, e.anTokushuSenUintDot, e.anPrtTokushuSenPich);
  }
  // 11..15 are random lines, drawn as continuous lines.
  for (int n = 16; n <= 19 && size_t(n - 16) < d.EntLtp3.size(); ++n) {
    const auto& e = d.EntLtp3[n - 16];
    bits(n, e.alLType, e.anTokushuSenUintDot, e.anPrtTokushuSenPich);
  }
  for (int n = 31; n <= 62 && size_t(n - 30) < d.EntLtpS.size(); ++n) {
    const auto& e = d.EntLtpS[n - 30];
    std::vector<double> seg;
    const int k = e.anUDLTypeSegment;
    bool ok = k >= 2 && k <= 10 && k % 2 == 0;
    for (int i = 0; ok && i < k; ++i) {
      const double v = e.aadUDLTypePitch[i];
      ok = std::isfinite(v) && v >= 0 && v < 1000;
      seg.push_back(v);
    }
    if (ok) {
      double sum = 0;
      for (double v : seg) sum += v;
      if (sum > 0) t[n].dashes = seg;
    } else if (k != 0) {
      bits(n, e.alLType, e.anTokushuSenUintDot, e.anPrtTokushuSenPich);
    }
  }
  return t;
}

/// The grey of a colour's lightness.
uint32_t Grey(uint32_t rgb) {
  const double l = 0.299 * ((rgb >> 16) & 0xFF) + 0.587 * ((rgb >> 8) & 0xFF) + 0.114 * (rgb & 0xFF);
  const uint32_t g = static_cast<uint32_t>(std::clamp(std::lround(l), 0L, 255L));
  return g << 16 | g << 8 | g;
}

struct Builder {
  const TJwwData& d;
  Scene& s;
  bool mono = false;       // colour printing off: black (solids grey)
  bool hundredths = true;  // print widths in 1/100 mm, else in printer dots of `dot` mm
  double dot = 0.085;
  double bgMargin = 0;     // how far a text's background reaches past its characters (mm)
  std::unordered_map<Cardinal, int> defByNumber;

  // Pen colour, width (mm) and point radius of a colour number; `own` for a solid's colour 10.
  // Colour 9 is the auxiliary colour.
  void Pen(Word c, Prim& p, double* pointRadius = nullptr, const uint32_t* own = nullptr) const {
    Integer col = 0, width = 0;
    double r = 0.3;
    if (c >= 1 && c <= 9 && size_t(c) < d.EntCol.size()) {
      const auto& e = d.EntCol[c];
      col = e.aPrtPenColor, width = e.anPrtPenWidth, r = e.adPrtTenHankei;
    } else if (c >= 101 && c <= 356 && size_t(c - 100) < d.EntColS.size()) {
      const auto& e = d.EntColS[c - 100];
      col = e.aPrtPenColor, width = e.anPrtPenWidth, r = e.adPrtTenHankei;
    } else if (c == 10 && d.EntCol.size() >= 10) {
      width = d.EntCol[9].anPrtPenWidth;
    }
    p.aux = p.aux || c == 9;
    p.rgb = own ? Rgb(static_cast<Integer>(*own & 0xFFFFFF)) : Rgb(col);
    if (mono) p.rgb = p.kind == Kind::Fill ? Grey(p.rgb) : 0;
    // Print widths are hundredths of a millimetre or printer dots; at most 10 mm.
    const double w = std::max<Integer>(width, 0) * (hundredths ? 0.01 : dot);
    p.width = static_cast<float>(std::min(w, 10.0));
    if (pointRadius) *pointRadius = std::isfinite(r) ? std::clamp(r, 0.05, 5.0) : 0.3;
  }

  void Attr(const TEntJwwAttr& a, Prim& p) const {
    p.layer = static_cast<uint16_t>((a.nGLayer & 15) * 16 + (a.nLayer & 15));
    p.lineType = a.nPenStyle < 63 ? a.nPenStyle : 1;
    p.aux = a.nPenStyle == 9;  // the auxiliary line type
    Pen(a.nPenColor, p);
  }

  // Entities whose layer numbers lie outside the drawing's 16 x 16 layers belong nowhere.
  static bool Shown(const TEntJwwAttr& a) { return a.nGLayer < 16 && a.nLayer < 16; }

  void Line(const TEntJwwLine& l, std::vector<Prim>& out) const {
    if (!Finite({l.start_x, l.start_y, l.end_x, l.end_y})) return;
    Prim& p = out.emplace_back();  // built in place: the scene's records are large
    p.kind = Kind::Line;
    Attr(l.att, p);
    p.p[0] = l.start_x, p.p[1] = l.start_y, p.p[2] = l.end_x, p.p[3] = l.end_y;
  }

  void Arc(const TEntJwwEnko& e, std::vector<Prim>& out) const {
    if (!Finite({e.start_x, e.start_y, e.dHankei, e.radKaishiKaku, e.radEnkoKaku,
                 e.radKatamukiKaku, e.dHenpeiRitsu}))
      return;
    Prim& p = out.emplace_back();  // built in place: the scene's records are large
    p.kind = Kind::Arc;
    Attr(e.att, p);
    p.p[0] = e.start_x, p.p[1] = e.start_y;
    p.radius = std::fabs(e.dHankei);
    p.flat = std::fabs(e.dHenpeiRitsu);
    p.tilt = e.radKatamukiKaku, p.start = e.radKaishiKaku, p.sweep = e.radEnkoKaku;
    p.full = e.bZenEnFlg != 0 || std::fabs(p.sweep) >= 2 * kPi - 1e-12;
    if (p.full) p.start = 0, p.sweep = 2 * kPi;
  }

  void Point(const TEntJwwTen& t, std::vector<Prim>& out) const {
    if (t.bKariten) return;  // temporary points are not printed
    if (!Finite({t.start_x, t.start_y})) return;
    Prim& p = out.emplace_back();  // built in place: the scene's records are large
    p.kind = Kind::Point;
    p.layer = static_cast<uint16_t>((t.att.nGLayer & 15) * 16 + (t.att.nLayer & 15));
    Pen(t.att.nPenColor, p, &p.radius);
    p.p[0] = t.start_x, p.p[1] = t.start_y;
  }

  void Text(const TEntJwwMoji& m, std::vector<Prim>& out) const {
    if (!Finite({m.start_x, m.start_y, m.dSizeX, m.dSizeY, m.dKankaku, m.degKakudo})) return;
    if (m.str.empty()) return;
    Prim& p = out.emplace_back();  // built in place: the scene's records are large
    p.kind = Kind::Text;
    p.layer = static_cast<uint16_t>((m.att.nGLayer & 15) * 16 + (m.att.nLayer & 15));
    Pen(m.att.nPenColor, p);
    p.p[0] = m.start_x, p.p[1] = m.start_y;
    p.p[2] = std::isfinite(m.end_x) ? m.end_x : m.start_x;
    p.p[3] = std::isfinite(m.end_y) ? m.end_y : m.start_y;
    // Sizes are paper millimetres already; keep them sane for the painters.
    p.sizeX = std::clamp(std::fabs(m.dSizeX), 0.0, 10000.0);
    p.sizeY = std::clamp(std::fabs(m.dSizeY), 0.0, 10000.0);
    p.spacing = std::clamp(m.dKankaku, -10000.0, 10000.0);
    p.angle = std::fmod(m.degKakudo, 360.0) * kPi / 180.0;
    p.vertical = (m.att.sFlg & 0x0020) != 0;
    p.text = m.str;
    p.font = m.strFontName;
    double box[8];
    if (!HasBackground(m) || !TextBox(p, Placement{}, bgMargin, box)) return;
    // The paper's white, before the text: what lies under the text is covered, the text is not.
    Prim mask;
    mask.kind = Kind::Fill;
    mask.quad = mask.mask = true;
    mask.aux = p.aux;
    mask.layer = p.layer;
    mask.rgb = 0xFFFFFF;
    mask.ring.assign(box, box + 8);
    out.insert(out.end() - 1, std::move(mask));
  }

  void Solid(const TEntJwwSolid& o, std::vector<Prim>& out) const {
    if (!Finite({o.start_x, o.start_y, o.end_x, o.end_y, o.DPoint2_x, o.DPoint2_y, o.DPoint3_x,
                 o.DPoint3_y}))
      return;
    Prim& p = out.emplace_back();  // built in place: the scene's records are large
    p.kind = Kind::Fill;
    p.layer = static_cast<uint16_t>((o.att.nGLayer & 15) * 16 + (o.att.nLayer & 15));
    const uint32_t own = o.Color;
    Pen(o.att.nPenColor, p, nullptr, o.att.nPenColor == 10 ? &own : nullptr);
    if (o.att.nPenStyle <= 100) {
      p.quad = true;
      p.ring = {o.start_x,   o.start_y,   o.end_x,     o.end_y,
                o.DPoint2_x, o.DPoint2_y, o.DPoint3_x, o.DPoint3_y};
      return;
    }
    // A curved solid: centre; radius and flatness; tilt and start angle; swept angle and a form
    // value (100 a whole ellipse, 5 a sector; an inner radius for the ring forms 105 and 106).
    Prim arc;
    arc.kind = Kind::Arc;
    arc.p[0] = o.start_x, arc.p[1] = o.start_y;
    arc.radius = std::fabs(o.end_x);
    arc.flat = std::fabs(o.end_y);
    arc.tilt = o.DPoint2_x, arc.start = o.DPoint2_y, arc.sweep = o.DPoint3_x;
    const int form = o.att.nPenStyle;
    const double m = o.DPoint3_y;
    arc.full = ((form == 111 || form == 101) && m == 100) || std::fabs(arc.sweep) >= 2 * kPi;
    if (arc.full) arc.start = 0, arc.sweep = 2 * kPi;
    if (!(arc.radius > 0) || arc.radius > 1e9) {
      out.pop_back();
      return;
    }
    const int n = 72;
    ArcPoints(arc, n, p.ring);
    if (form == 105 || form == 106) {
      Prim inner = arc;
      inner.radius = std::fabs(m);
      if (inner.radius > 0 && inner.radius < arc.radius) {
        std::vector<double> in;
        ArcPoints(inner, n, in);
        for (size_t i = in.size(); i >= 2; i -= 2) p.ring.insert(p.ring.end(), {in[i - 2], in[i - 1]});
      } else if (!arc.full) {
        p.ring.insert(p.ring.end(), {arc.p[0], arc.p[1]});
      }
    } else if (!arc.full && (form == 111 || m == 5)) {
      p.ring.insert(p.ring.end(), {arc.p[0], arc.p[1]});  // a sector closes at the centre
    }  // otherwise the chord closes the segment
  }

  void Dimension(const TEntJwwSunpo& s, std::vector<Prim>& out) const {
    Line(s.Sen, out);
    if (s.bSxfMode) {
      Line(s.Ho1, out);
      Line(s.Ho2, out);
    }
    Text(s.Moji, out);
  }

  void Insert(const TEntJwwBlock& b, std::vector<Prim>& out) const {
    if (!Finite({b.DPKijunTen_x, b.DPKijunTen_y, b.dBairitsuX, b.dBairitsuY, b.radKaitenKaku}))
      return;
    const auto it = defByNumber.find(b.nNumber);
    if (it == defByNumber.end()) return;
    const double c = std::cos(b.radKaitenKaku), sn = std::sin(b.radKaitenKaku);
    Prim& p = out.emplace_back();  // built in place: the scene's records are large
    p.kind = Kind::Insert;
    p.layer = static_cast<uint16_t>((b.att.nGLayer & 15) * 16 + (b.att.nLayer & 15));
    p.def = it->second;
    p.place = {c * b.dBairitsuX, -sn * b.dBairitsuY, sn * b.dBairitsuX, c * b.dBairitsuY,
               b.DPKijunTen_x, b.DPKijunTen_y};
  }

  template <class Lists>
  void Entities(const std::vector<TEntJwwNo>& order, Integer n, const Lists& l, bool top,
                std::vector<Prim>& out) const {
    const size_t count = std::min<size_t>(std::max<Integer>(n, 0), order.size());
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      const Integer k = order[i].EntNo;
      if (k < 0) continue;
      const size_t j = static_cast<size_t>(k);
      switch (order[i].EntType) {
        case kEntLine:
          if (j < l.nLine && (!top || Shown(l.line[j].att))) Line(l.line[j], out);
          break;
        case kEntEnko:
          if (j < l.nEnko && (!top || Shown(l.enko[j].att))) Arc(l.enko[j], out);
          break;
        case kEntTen:
          if (j < l.nTen && (!top || Shown(l.ten[j].att))) Point(l.ten[j], out);
          break;
        case kEntMoji:
          if (j < l.nMoji && (!top || Shown(l.moji[j].att))) Text(l.moji[j], out);
          break;
        case kEntSunpo:
          if (j < l.nSunpo && (!top || Shown(l.sunpo[j].att))) Dimension(l.sunpo[j], out);
          break;
        case kEntSolid:
          if (j < l.nSolid && (!top || Shown(l.solid[j].att))) Solid(l.solid[j], out);
          break;
        case kEntBlock:
          if (j < l.nBlock && (!top || Shown(l.block[j].att))) Insert(l.block[j], out);
          break;
        default:
          break;
      }
    }
  }
};

// The seven lists of the drawing or of one definition, each with its usable length.
struct ListsView {
  const TEntJwwLine* line;
  size_t nLine;
  const TEntJwwEnko* enko;
  size_t nEnko;
  const TEntJwwTen* ten;
  size_t nTen;
  const TEntJwwMoji* moji;
  size_t nMoji;
  const TEntJwwSunpo* sunpo;
  size_t nSunpo;
  const TEntJwwSolid* solid;
  size_t nSolid;
  const TEntJwwBlock* block;
  size_t nBlock;
};

template <class T>
size_t Usable(const std::vector<T>& v, Integer n) {
  return std::min<size_t>(v.size(), static_cast<size_t>(std::max<Integer>(n, 0)));
}

}  // namespace

void ArcPoints(const Prim& a, int n, std::vector<double>& out) {
  const double ct = std::cos(a.tilt), st = std::sin(a.tilt);
  const double start = a.full ? 0 : a.start, sweep = a.full ? 2 * kPi : a.sweep;
  out.reserve(out.size() + 2 * (n + 1));
  for (int i = 0; i <= n; ++i) {
    const double t = start + sweep * i / n;
    const double x = a.radius * std::cos(t), y = a.radius * a.flat * std::sin(t);
    out.push_back(a.p[0] + ct * x - st * y);
    out.push_back(a.p[1] + st * x + ct * y);
  }
}

namespace {

// A half-width character counts half.
double CharUnits(char16_t c) { return (c < 0x100 || (c >= 0xFF61 && c <= 0xFF9F)) ? 0.5 : 1.0; }

double UnitsOf(std::u16string_view text) {
  double n = 0;
  for (char16_t c : text) n += CharUnits(c);
  return n;
}

}  // namespace

double TextUnits(const std::u16string& text) { return UnitsOf(text); }

bool IsCircular(const Prim& a) { return std::fabs(a.flat - 1.0) < 1e-9; }

Scene Build(const TJwwData& d, const Look& look) {
  Scene s;
  double w = 0, h = 0;
  const_cast<TJwwData&>(d).GetPaperSize(w, h);
  s.paperW = w, s.paperH = h;
  s.layers.resize(256);
  for (int g = 0; g < 16; ++g)
    for (int l = 0; l < 16; ++l) {
      Layer& L = s.layers[g * 16 + l];
      L.group = g, L.layer = l;
      static const char* hex = "0123456789ABCDEF";
      L.name = std::u16string{char16_t(hex[g]), u'-', char16_t(hex[l])};
      const size_t i = g * 16 + l;
      if (i < d.EntLay.size() && !d.EntLay[i].aStrLayName.empty())
        L.name += u" " + d.EntLay[i].aStrLayName;
      if (size_t(g) < d.EntLgrp.size()) L.groupName = d.EntLgrp[g].aStrGLayName;
      L.hidden = size_t(g) < d.EntLgrp.size() && i < d.EntLay.size() &&
                 (d.EntLgrp[g].anGLay == 0 || d.EntLay[i].aanLay == 0);
    }
  s.lineTypes = LineTypes(d);
  if (d.EntLgrp.size() < 16 || d.EntLay.size() < 256) return s;

  s.printAux = look.aux;
  Builder b{d, s, false, true, 0.085, 0, {}};
  b.mono = look.colour == Look::Colour::Mono ||
           (look.colour == Look::Colour::Drawing && d.Enthd.nColorPrint == 0);
  b.hundredths = d.Enthd.bSenHaba100;
  if (std::isfinite(look.dotMm) && look.dotMm > 0) b.dot = std::min(look.dotMm, 1.0);
  const double bg = d.Enthd.dMojiBG;
  b.bgMargin = std::isfinite(bg) ? std::clamp(bg, 0.0, 100.0) : 0.0;
  for (int g = 0; g < 16; ++g) {
    const double v = d.EntLgrp[g].adScale;
    s.groupScale[g] = std::isfinite(v) && v > 0 ? v : 1.0;
  }

  const size_t nDefs = Usable(d.EntBlockDef, d.EntBlockDefN);
  for (size_t i = 0; i < nDefs; ++i) b.defByNumber.emplace(d.EntBlockDef[i].nNumber, int(i));
  s.defs.resize(nDefs);
  for (size_t i = 0; i < nDefs; ++i) {
    const TEntJwwBlockDef& def = d.EntBlockDef[i];
    s.defs[i].name = def.strName;
    const ListsView v{def.mLine.data(),  Usable(def.mLine, def.mLineN),
                      def.mEnko.data(),  Usable(def.mEnko, def.mEnkoN),
                      def.mTen.data(),   Usable(def.mTen, def.mTenN),
                      def.mMoji.data(),  Usable(def.mMoji, def.mMojiN),
                      def.mSunpo.data(), Usable(def.mSunpo, def.mSunpoN),
                      def.mSolid.data(), Usable(def.mSolid, def.mSolidN),
                      def.mBlock.data(), Usable(def.mBlock, def.mBlockN)};
    b.Entities(def.mNo, def.N, v, false, s.defs[i].prims);
  }
  const ListsView v{d.EntLine.data(),  Usable(d.EntLine, d.EntLineN),
                    d.EntEnko.data(),  Usable(d.EntEnko, d.EntEnkoN),
                    d.EntTen.data(),   Usable(d.EntTen, d.EntTenN),
                    d.EntMoji.data(),  Usable(d.EntMoji, d.EntMojiN),
                    d.EntSunpo.data(), Usable(d.EntSunpo, d.EntSunpoN),
                    d.EntSolid.data(), Usable(d.EntSolid, d.EntSolidN),
                    d.EntBlock.data(), Usable(d.EntBlock, d.EntBlockN)};
  b.Entities(d.EntNo, d.Enthd.n1, v, true, s.prims);
  return s;
}

namespace {

// Which definitions hold something drawable in their expansion: those with a primitive of their
// own and those inserting one that does (found backwards from the former, so cycles and deep
// chains cost one pass over the definitions).
std::vector<bool> DrawableDefs(const Scene& s) {
  const size_t n = s.defs.size();
  std::vector<bool> drawable(n);
  std::vector<std::vector<int>> insertedBy(n);
  std::vector<int> todo;
  for (size_t i = 0; i < n; ++i)
    for (const Prim& p : s.defs[i].prims) {
      if (p.kind != Kind::Insert) {
        if (!drawable[i]) drawable[i] = true, todo.push_back(int(i));
      } else if (p.def >= 0 && size_t(p.def) < n) {
        insertedBy[p.def].push_back(int(i));
      }
    }
  while (!todo.empty()) {
    const int d = todo.back();
    todo.pop_back();
    for (int by : insertedBy[d])
      if (!drawable[by]) drawable[by] = true, todo.push_back(by);
  }
  return drawable;
}

bool InRange(double v) { return std::fabs(v) <= kMaxCoordinate; }  // false for NaN too

bool InRange(const Xform& m, double x, double y) {
  double X, Y;
  m.Apply(x, y, X, Y);
  return InRange(X) && InRange(Y);
}

// Length of the part of the segment (x0 y0)-(x1 y1) inside the box (Liang-Barsky).
double ClippedLength(double x0, double y0, double x1, double y1, const double box[4]) {
  const double dx = x1 - x0, dy = y1 - y0;
  double t0 = 0, t1 = 1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - box[0], box[2] - x0, y0 - box[1], box[3] - y0};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return 0;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) t0 = std::max(t0, t);
    else t1 = std::min(t1, t);
    if (t0 >= t1) return 0;
  }
  return (t1 - t0) * std::hypot(dx, dy);
}

// Dashes drawn along `length` paper millimetres in the line type's pattern at the device scale
// (the painter draws no dash or gap shorter than half a device unit).
double DashCount(const std::vector<double>& dashes, double length, double k) {
  if (dashes.size() < 2 || dashes.size() % 2 || !(length > 0)) return 0;
  double period = 0;
  for (double d : dashes) period += std::max(d * k, 0.5);
  return length * k / period * double(dashes.size() / 2);
}

size_t Units(double v) {
  return !(v < 1e18) ? size_t(1e18) : size_t(std::max(v, 0.0));
}

// The device scale and visible box a walk's work is counted at (see Work).
struct Gauge {
  double k;
  double box[4];
  Gauge(const Scene& s, const WalkOptions& o) {
    k = o.pxPerMm > 0 && std::isfinite(o.pxPerMm) ? o.pxPerMm : 150 / 25.4;
    box[0] = o.clip[0], box[1] = o.clip[1], box[2] = o.clip[2], box[3] = o.clip[3];
    if (!(box[0] < box[2] && box[1] < box[3]))
      box[0] = -s.paperW / 2, box[1] = -s.paperH / 2, box[2] = s.paperW / 2, box[3] = s.paperH / 2;
  }
};

size_t WorkAt(const Scene& s, const Prim& p, const Placement& at, const Gauge& g);

// Representable for a primitive of the drawing itself (placed as it lies): no placement to
// apply, so a text's checks need no trigonometry.
bool RepresentableAsIs(const Prim& p) {
  switch (p.kind) {
    case Kind::Line:
      return InRange(p.p[0]) && InRange(p.p[1]) && InRange(p.p[2]) && InRange(p.p[3]);
    case Kind::Point:
      return InRange(p.p[0]) && InRange(p.p[1]);
    case Kind::Text:
      return InRange(p.p[0]) && InRange(p.p[1]) && InRange(p.sizeX) && InRange(p.sizeY) &&
             InRange(p.spacing) && std::isfinite(p.angle) &&
             InRange(TextUnits(p.text) * (p.sizeX + std::fabs(p.spacing)));
    default:
      return Representable(p, Placement{});
  }
}

// How deep the insertions below each definition nest (0: it inserts nothing), or -1 for a
// definition that reaches one inserting itself, directly or not, whose expansion then depends on
// the way down to it. Found from the definitions that insert nothing upwards, so chains cost one
// pass.
std::vector<int> Heights(const Scene& s) {
  const size_t n = s.defs.size();
  std::vector<int> height(n, 0), pending(n, 0);
  std::vector<std::vector<int>> insertedBy(n);
  for (size_t i = 0; i < n; ++i)
    for (const Prim& p : s.defs[i].prims)
      if (p.kind == Kind::Insert && p.def >= 0 && size_t(p.def) < n) ++pending[i], insertedBy[p.def].push_back(int(i));
  std::vector<int> todo;
  for (size_t i = 0; i < n; ++i)
    if (!pending[i]) todo.push_back(int(i));
  while (!todo.empty()) {
    const int d = todo.back();
    todo.pop_back();
    for (int by : insertedBy[d]) {
      height[by] = std::max(height[by], height[d] + 1);
      if (--pending[by] == 0) todo.push_back(by);
    }
  }
  for (size_t i = 0; i < n; ++i)
    if (pending[i]) height[i] = -1;
  return height;
}

// The largest factor by which `m` stretches a length.
double Stretch(const Xform& m) {
  const double f2 = m.a * m.a + m.b * m.b + m.c * m.c + m.d * m.d, det = m.a * m.d - m.b * m.c;
  return std::sqrt((f2 + std::sqrt(std::max(0.0, f2 * f2 - 4 * det * det))) / 2);
}

// At least what WorkAt charges `p` placed by r * m for every r that keeps lengths, rounding
// included: dashes along the whole length (the visible box may cut them), curve segments one more
// (their count is truncated), and a curve's extent at the most any turn gives it.
size_t WorkBound(const Scene& s, const Prim& p, const Xform& m, const Gauge& g) {
  constexpr double kSlack = 1 + 1e-6;
  const double k = g.k;
  const std::vector<double>* dashes =
      p.lineType < s.lineTypes.size() ? &s.lineTypes[p.lineType].dashes : nullptr;
  switch (p.kind) {
    case Kind::Line: {
      if (!dashes || dashes->empty()) return 1;
      double x0, y0, x1, y1;
      m.Apply(p.p[0], p.p[1], x0, y0);
      m.Apply(p.p[2], p.p[3], x1, y1);
      return 1 + Units(DashCount(*dashes, std::hypot(x1 - x0, y1 - y0) * kSlack, k));
    }
    case Kind::Arc: {
      const size_t n = size_t(CurveSegments(p, m, k)) + 1;
      if (!dashes || dashes->empty()) return n;
      const double span = p.full ? 2 * kPi : std::fabs(p.sweep);
      const double length = std::min(span * p.radius * std::max(1.0, p.flat) * std::sqrt(2.0) * Stretch(m) * kSlack,
                                     2 * ((g.box[2] - g.box[0]) + (g.box[3] - g.box[1])));
      return n + Units(DashCount(*dashes, length, k));
    }
    default:
      return WorkAt(s, p, Placement{m, 1}, g);
  }
}

struct Walker {
  const Scene& s;
  const std::function<void(const Prim&, const Placement&)>& fn;
  const WalkOptions& o;
  WalkResult r;
  std::vector<bool> onPath;
  Survey own;  // when the caller keeps none
  const Survey& survey;
  const std::vector<bool>& drawable;
  Gauge gauge;
  size_t nextTick = 0;
  // For walks that take insertions whole: the bound of each definition's expansion at a placement
  // keeping lengths, once known.
  std::vector<size_t> bound;
  std::vector<bool> bounded;

  Walker(const Scene& scene, const std::function<void(const Prim&, const Placement&)>& visit, const WalkOptions& opt)
      : s(scene), fn(visit), o(opt), onPath(scene.defs.size()),
        own(opt.survey ? Survey{} : Survey{DrawableDefs(scene), {}}), survey(opt.survey ? *opt.survey : own),
        drawable(survey.drawable), gauge(scene, opt) {}

  // A bound of what expanding `def` placed by r * m spends, for every r keeping lengths; more
  // than the budget once it exceeds it. Only for definitions of known height (no cycle below).
  size_t Bound(int def, const Xform& m) {
    const bool rigid = KeepsLengths(m);
    if (rigid && bounded[size_t(def)]) return bound[size_t(def)];
    const size_t cap = o.budget, over = cap == SIZE_MAX ? cap : cap + 1;
    size_t sum = 0;
    for (const Prim& q : s.defs[size_t(def)].prims) {
      size_t u = 1;
      if (q.kind != Kind::Insert) u = WorkBound(s, q, m, gauge);
      else if (q.def >= 0 && size_t(q.def) < s.defs.size() && drawable[size_t(q.def)])
        u = std::min(Bound(q.def, m.Then(q.place)), cap) + 1;
      if (u > cap || sum > cap - u) {
        sum = over;
        break;
      }
      sum += u;
    }
    if (rigid) bound[size_t(def)] = sum, bounded[size_t(def)] = true;
    return sum;
  }

  // Hands the insertion `p` to the visitor whole when it may be, the visitor wants it and the
  // bound of its expansion fits the budget.
  bool TakeWhole(const Prim& p, const Placement& at, const Placement& inner) {
    if (bounded.empty()) {
      if (survey.height.empty()) own.height = Heights(s);
      bound.assign(s.defs.size(), 0);
      bounded.assign(s.defs.size(), false);
    }
    const int h = (survey.height.empty() ? own.height : survey.height)[size_t(p.def)];
    if (h < 0 || at.depth + h >= 63 || !KeepsLengths(inner.toPaper) || !o.whole(p, at)) return false;
    const size_t units = Bound(p.def, Xform{});
    if (units > o.budget - r.work) return false;
    Spend(units);
    if (fn) fn(p, at);
    return true;
  }

  bool Spend(size_t units) {
    if (units > o.budget - r.work) {
      r.complete = false;
      return false;
    }
    r.work += units;
    if (o.progress && r.work >= nextTick) {
      o.progress(r.work);
      nextTick = r.work + 4096;
    }
    return true;
  }

  bool Walk(const std::vector<Prim>& prims, const Placement& at) {
    for (const Prim& p : prims) {
      // Primitives are large and read once each: ask for one a few places ahead so that its
      // first line is in the cache when reached (past the end this is only a hint, never a read).
      __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(&p) + 6 * sizeof(Prim)));
      if (at.depth == 0 && p.layer < s.layers.size() && s.layers[p.layer].hidden) continue;
      if (p.kind != Kind::Insert) {
        if (!(at.depth == 0 ? RepresentableAsIs(p) : Representable(p, at))) {
          if (!Spend(1)) return false;
          ++r.unrepresentable;
          continue;
        }
        if (!Spend(WorkAt(s, p, at, gauge))) return false;
        if (fn) fn(p, at);
        continue;
      }
      if (!Spend(1)) return false;
      if (p.def < 0 || size_t(p.def) >= s.defs.size() || !drawable[p.def] || onPath[p.def] ||
          at.depth >= 64)
        continue;
      Placement inner;
      inner.toPaper = at.toPaper.Then(p.place);
      inner.depth = at.depth + 1;
      if (o.whole && TakeWhole(p, at, inner)) continue;
      onPath[p.def] = true;
      const bool more = Walk(s.defs[p.def].prims, inner);
      onPath[p.def] = false;
      if (!more) return false;
    }
    return true;
  }
};

}  // namespace

int CurveSegments(const Prim& a, const Xform& m, double pxPerMm) {
  const double span = a.full ? 2 * kPi : std::fabs(a.sweep);
  const double r = a.radius * std::max(1.0, a.flat) * pxPerMm * std::sqrt(std::fabs(m.a * m.d - m.b * m.c));
  const double n = span * std::sqrt(std::max(r, 0.0)) * 2;
  return static_cast<int>(std::isnan(n) ? 8.0 : std::clamp(n, 8.0, 720.0));
}

bool Representable(const Prim& p, const Placement& at) {
  const Xform& m = at.toPaper;
  switch (p.kind) {
    case Kind::Line:
      return InRange(m, p.p[0], p.p[1]) && InRange(m, p.p[2], p.p[3]);
    case Kind::Arc: {
      const double scale = std::max(std::fabs(m.a) + std::fabs(m.b), std::fabs(m.c) + std::fabs(m.d));
      return InRange(m, p.p[0], p.p[1]) && InRange(p.radius * std::max(1.0, p.flat) * scale);
    }
    case Kind::Fill:
      for (size_t i = 0; i + 1 < p.ring.size(); i += 2)
        if (!InRange(m, p.ring[i], p.ring[i + 1])) return false;
      return true;
    case Kind::Point:
      return InRange(m, p.p[0], p.p[1]);
    case Kind::Text: {
      const PlacedText t = PlaceText(p, at);
      return InRange(t.x) && InRange(t.y) && InRange(t.sizeX) && InRange(t.sizeY) &&
             InRange(t.spacing) && std::isfinite(t.angle) &&
             InRange(TextUnits(p.text) * (t.sizeX + std::fabs(t.spacing)));
    }
    case Kind::Insert:
      return true;
  }
  return true;
}

size_t Work(const Scene& s, const Prim& p, const Placement& at, const WalkOptions& o) {
  return WorkAt(s, p, at, Gauge(s, o));
}

namespace {

size_t WorkAt(const Scene& s, const Prim& p, const Placement& at, const Gauge& g) {
  const double k = g.k;
  const double* box = g.box;
  const std::vector<double>* dashes =
      p.lineType < s.lineTypes.size() ? &s.lineTypes[p.lineType].dashes : nullptr;
  switch (p.kind) {
    case Kind::Line: {
      if (!dashes || dashes->empty()) return 1;
      double x0, y0, x1, y1;
      at.toPaper.Apply(p.p[0], p.p[1], x0, y0);
      at.toPaper.Apply(p.p[2], p.p[3], x1, y1);
      return 1 + Units(DashCount(*dashes, ClippedLength(x0, y0, x1, y1, box), k));
    }
    case Kind::Arc: {
      const int n = CurveSegments(p, at.toPaper, k);
      if (!dashes || dashes->empty()) return size_t(n);
      // A convex curve's visible part is no longer than the visible box's outline.
      const Xform& m = at.toPaper;
      const double scale = std::max(std::fabs(m.a) + std::fabs(m.b), std::fabs(m.c) + std::fabs(m.d));
      const double span = p.full ? 2 * kPi : std::fabs(p.sweep);
      const double length = std::min(span * p.radius * std::max(1.0, p.flat) * scale,
                                     2 * ((box[2] - box[0]) + (box[3] - box[1])));
      return size_t(n) + Units(DashCount(*dashes, length, k));
    }
    case Kind::Fill:
      return std::max<size_t>(1, p.ring.size() / 2);
    case Kind::Text:
      return std::max<size_t>(1, p.text.size());
    case Kind::Point:
    case Kind::Insert:
      return 1;
  }
  return 1;
}

}  // namespace

WalkResult Walk(const Scene& s, const std::function<void(const Prim&, const Placement&)>& fn,
                const WalkOptions& o) {
  Walker w(s, fn, o);
  w.Walk(s.prims, Placement{});
  return w.r;
}

WalkResult WalkDefinition(const Scene& s, int def, const Placement& at,
                          const std::function<void(const Prim&, const Placement&)>& fn, const WalkOptions& o) {
  Walker w(s, fn, o);
  if (def < 0 || size_t(def) >= s.defs.size() || !w.drawable[size_t(def)]) return w.r;
  Placement inner = at;
  inner.depth = std::max(inner.depth, 1);
  w.onPath[size_t(def)] = true;
  w.Walk(s.defs[size_t(def)].prims, inner);
  return w.r;
}

Survey SurveyOf(const Scene& s) { return {DrawableDefs(s), Heights(s)}; }

bool KeepsLengths(const Xform& m) {
  constexpr double kTolerance = 1e-9;
  return std::fabs(m.a * m.a + m.c * m.c - 1) <= kTolerance && std::fabs(m.b * m.b + m.d * m.d - 1) <= kTolerance &&
         std::fabs(m.a * m.b + m.c * m.d) <= kTolerance && std::isfinite(m.e) && std::isfinite(m.f);
}

bool ForEachPlaced(const Scene& s, const std::function<void(const Prim&, const Placement&)>& fn,
                   size_t budget) {
  WalkOptions o;
  o.budget = budget;
  return Walk(s, fn, o).complete;
}

WalkResult Measure(const Scene& s, const WalkOptions& o) { return Walk(s, nullptr, o); }

PlacedText PlaceText(const Prim& t, const Placement& at) {
  PlacedText o;
  at.toPaper.Apply(t.p[0], t.p[1], o.x, o.y);
  const double c = std::cos(t.angle), sn = std::sin(t.angle);
  const Xform& m = at.toPaper;
  o.angle = std::atan2(m.c * c + m.d * sn, m.a * c + m.b * sn);
  const Xform& z = at.toPaper;
  const double fx = std::hypot(z.a * c + z.b * sn, z.c * c + z.d * sn);
  const double fy = std::hypot(-z.a * sn + z.b * c, -z.c * sn + z.d * c);
  o.sizeX = t.sizeX * fx, o.sizeY = t.sizeY * fy, o.spacing = t.spacing * fx;
  return o;
}

double RunAngle(const Prim& t) {
  if (!t.vertical) return t.angle;
  const double dx = t.p[2] - t.p[0], dy = t.p[3] - t.p[1];
  if (std::hypot(dx, dy) > 1e-6 * std::max(1.0, t.sizeY)) return std::atan2(dy, dx);
  return t.angle - kPi / 2;
}

namespace {

bool IsSpace(char16_t c) { return c == u' ' || c == u'\u3000'; }

// Script of the control code at text[i] ("^u" raises, "^d" lowers), 0 for none.
int ScriptCode(const std::u16string& text, size_t i) {
  if (text[i] != u'^' || i + 1 >= text.size()) return 0;
  return text[i + 1] == u'u' ? 1 : text[i + 1] == u'd' ? -1 : 0;
}

}  // namespace

std::vector<TextRun> LayoutText(const Prim& t, const Placement& at) {
  std::vector<TextRun> runs;
  LayoutText(t, at, runs);
  return runs;
}

void LayoutText(const Prim& t, const Placement& at, std::vector<TextRun>& runs) {
  size_t used = 0;  // runs kept from an earlier text keep their strings' storage
  auto next = [&]() -> TextRun& {
    if (used == runs.size()) runs.emplace_back();
    return runs[used++];
  };
  struct Trim {  // drops what an earlier text left beyond this one's runs
    std::vector<TextRun>& runs;
    size_t& used;
    ~Trim() { runs.resize(used); }
  } trim{runs, used};
  const PlacedText pt = PlaceText(t, at);
  const Xform& m = at.toPaper;
  if (t.vertical) {
    const double ra = RunAngle(t), c = std::cos(ra), sn = std::sin(ra);
    const double dx = m.a * c + m.b * sn, dy = m.c * c + m.d * sn;    // the run, placed
    const double px = -m.a * sn + m.b * c, py = -m.c * sn + m.d * c;  // across it
    const double along = std::hypot(dx, dy), across = std::hypot(px, py);
    if (!(along > 0) || !(across > 0)) return;
    const double ux = dx / along, uy = dy / along;  // unit run direction on the paper
    const double h = t.sizeY * along, w = t.sizeX * across, gap = t.spacing * along;
    const double ca = std::atan2(uy, ux) + kPi / 2;  // characters stand across the run
    const double cx = std::cos(ca), cy = std::sin(ca);
    double pos = 0;
    for (char16_t ch : t.text) {
      const double cw = w * CharUnits(ch);  // a half-width character: half a cell
      const double inset = (w - cw) / 2;             // centred across the run
      TextRun& r = next();
      r.x = pt.x + ux * (pos + h) + cx * inset, r.y = pt.y + uy * (pos + h) + cy * inset;
      r.angle = ca, r.cellW = w, r.cellH = h, r.gap = 0, r.text.assign(1, ch);
      pos += h + gap;
    }
    return;
  }
  const double c = std::cos(pt.angle), sn = std::sin(pt.angle);
  double pos = 0;
  // A run is the characters [from, to) of the text: control codes only ever end one.
  auto add = [&](size_t from, size_t to, int script) {
    if (from >= to) return;
    const std::u16string_view text = std::u16string_view(t.text).substr(from, to - from);
    const double k = script ? 0.5 : 1.0, lift = script > 0 ? pt.sizeY / 2 : 0;
    TextRun& r = next();
    r.x = pt.x + c * pos - sn * lift, r.y = pt.y + sn * pos + c * lift;
    r.angle = pt.angle, r.cellW = pt.sizeX * k, r.cellH = pt.sizeY * k, r.gap = pt.spacing;
    r.text.assign(text);
    pos += UnitsOf(text) * r.cellW + static_cast<double>(text.size()) * r.gap;
  };
  size_t from = 0;
  int script = 0;
  for (size_t i = 0; i < t.text.size(); ++i) {
    if (const int code = ScriptCode(t.text, i)) {
      add(from, i, script);
      script = code;
      ++i;
      from = i + 1;
      continue;
    }
    if (script && IsSpace(t.text[i])) {
      add(from, i, script);
      from = i;
      script = 0;
    }
  }
  add(from, t.text.size(), script);
}

bool TextBox(const Prim& t, const Placement& at, double margin, double corners[8]) {
  const std::vector<TextRun> runs = LayoutText(t, at);
  if (runs.empty()) return false;
  // Every run of a text stands in the same frame: the box is the runs' cells in that frame.
  const double a = runs[0].angle, c = std::cos(a), sn = std::sin(a);
  double u0 = HUGE_VAL, v0 = HUGE_VAL, u1 = -HUGE_VAL, v1 = -HUGE_VAL;
  for (const TextRun& r : runs) {
    const double n = TextUnits(r.text), gaps = r.text.empty() ? 0 : double(r.text.size() - 1);
    const double len = n * r.cellW + gaps * r.gap;
    const double rc = std::cos(r.angle), rs = std::sin(r.angle);
    for (const double along : {0.0, len})
      for (const double up : {0.0, r.cellH}) {
        const double x = r.x + rc * along - rs * up, y = r.y + rs * along + rc * up;
        const double u = c * x + sn * y, v = -sn * x + c * y;
        u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
      }
  }
  u0 -= margin, v0 -= margin, u1 += margin, v1 += margin;
  const double uv[8] = {u0, v0, u1, v0, u1, v1, u0, v1};
  for (int i = 0; i < 8; i += 2) {
    corners[i] = c * uv[i] - sn * uv[i + 1];
    corners[i + 1] = sn * uv[i] + c * uv[i + 1];
  }
  return Finite({u0, v0, u1, v1});
}

bool Bounds(const Scene& s, double& x0, double& y0, double& x1, double& y1) {
  bool any = false;
  x0 = y0 = HUGE_VAL, x1 = y1 = -HUGE_VAL;
  auto add = [&](const Xform& m, double x, double y) {
    double X, Y;
    m.Apply(x, y, X, Y);
    x0 = std::min(x0, X), y0 = std::min(y0, Y), x1 = std::max(x1, X), y1 = std::max(y1, Y);
    any = true;
  };
  std::vector<double> pts;
  ForEachPlaced(s, [&](const Prim& p, const Placement& at) {
    if (!Printed(s, p)) return;  // what a picture leaves out takes no room in it
    switch (p.kind) {
      case Kind::Line:
        add(at.toPaper, p.p[0], p.p[1]);
        add(at.toPaper, p.p[2], p.p[3]);
        break;
      case Kind::Arc:
        pts.clear();
        ArcPoints(p, 32, pts);
        for (size_t i = 0; i + 1 < pts.size(); i += 2) add(at.toPaper, pts[i], pts[i + 1]);
        break;
      case Kind::Fill:
        for (size_t i = 0; i + 1 < p.ring.size(); i += 2) add(at.toPaper, p.ring[i], p.ring[i + 1]);
        break;
      case Kind::Point:
        add(at.toPaper, p.p[0], p.p[1]);
        break;
      case Kind::Text: {
        const Xform id;
        add(at.toPaper, p.p[0], p.p[1]);
        for (const TextRun& r : LayoutText(p, at)) {
          const double c = std::cos(r.angle), sn = std::sin(r.angle);
          const double n = TextUnits(r.text), len = n * r.cellW + (n > 0 ? n - 1 : 0) * r.gap;
          add(id, r.x + c * len - sn * r.cellH, r.y + sn * len + c * r.cellH);
          add(id, r.x + c * len, r.y + sn * len);
          add(id, r.x - sn * r.cellH, r.y + c * r.cellH);
          add(id, r.x, r.y);
        }
        break;
      }
      case Kind::Insert:
        break;
    }
  });
  return any;
}

Counts CountPlaced(const Scene& s) {
  Counts c;
  ForEachPlaced(s, [&](const Prim& p, const Placement&) {
    switch (p.kind) {
      case Kind::Line: ++c.lines; break;
      case Kind::Arc: ++c.curves; break;
      case Kind::Fill:
        if (!p.mask) ++(p.quad ? c.solids : c.hatches);
        break;
      case Kind::Point: ++c.points; break;
      case Kind::Text: ++c.texts; break;
      case Kind::Insert: break;
    }
  });
  return c;
}

}  // namespace scene
