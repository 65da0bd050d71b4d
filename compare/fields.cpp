#include "compare/fields.h"

#include <cmath>
#include <cstdio>

#include "common/codepage.h"
#include "compare/Compare.h"
#include "jww/construct.h"

namespace compare {

std::string Num(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

const char* KindLabel(jww::EntKind k) {
  using namespace jww;
  switch (k) {
    case kEntLine: return "line";
    case kEntEnko: return "arc";
    case kEntTen: return "point";
    case kEntMoji: return "text";
    case kEntSunpo: return "dimension";
    case kEntSolid: return "solid";
    case kEntBlock: return "block";
    case kEntBlockDef: return "block definition";
    default: return "entity";
  }
}

namespace detail {

using namespace jww;

DefNames MakeDefNames(const TJwwData& d) {
  DefNames m;
  const size_t n = std::min(d.EntBlockDef.size(), static_cast<size_t>(std::max(d.EntBlockDefN, 0)));
  m.reserve(n);
  for (size_t i = 0; i < n; ++i) m.emplace(d.EntBlockDef[i].nNumber, &d.EntBlockDef[i].strName);
  return m;
}

namespace {

void Attr(Fields& f, const TEntJwwAttr& a) {
  f.Int("layer", (static_cast<int64_t>(a.nGLayer) << 4) + a.nLayer, Type::Layer);
  f.f[f.n - 1].label = f.part == nullptr;
  f.Int("colour", a.nPenColor);
  f.Int("line type", a.nPenStyle);
  f.Int("pen width", a.nPenWidth);
  f.Int("group", a.lGroup);
  f.Int("flags", a.sFlg, Type::Hex);
}

void SubLine(Fields& f, const char* part, const TEntJwwLine& e) {
  f.part = part;
  f.Point("start", e.start_x, e.start_y);
  f.Point("end", e.end_x, e.end_y);
  Attr(f, e.att);
  f.part = nullptr;
}

void SubTen(Fields& f, const char* part, const TEntJwwTen& e) {
  f.part = part;
  f.Point("at", e.start_x, e.start_y);
  f.Int("temporary", e.bKariten);
  f.Int("code", e.nCode);
  f.Num("rotation", e.radKaitenKaku);
  f.Num("scale", e.dBairitsu);
  Attr(f, e.att);
  f.part = nullptr;
}

// The text's values beside its placement (start point and angle).
void MojiRest(Fields& f, const TEntJwwMoji& e) {
  f.Text("text", e.str, true);  // what a reader recognises a text or dimension by
  f.Text("font", e.strFontName);
  f.Point("end", e.end_x, e.end_y);
  f.Int("type", e.nMojiShu);
  f.Num("width", e.dSizeX);
  f.Num("height", e.dSizeY);
  f.Num("spacing", e.dKankaku);
  Attr(f, e.att);
}

}  // namespace

void Fill(const TEntJwwLine& e, const DefNames&, Fields& f) {
  // A line drawn the other way round is the same line on paper.
  const bool swap = e.end_x < e.start_x || (e.end_x == e.start_x && e.end_y < e.start_y);
  f.Point("start", swap ? e.end_x : e.start_x, swap ? e.end_y : e.start_y, true);
  f.Point("end", swap ? e.start_x : e.end_x, swap ? e.start_y : e.end_y, true);
  Attr(f, e.att);
}

void Fill(const TEntJwwEnko& e, const DefNames&, Fields& f) {
  f.Point("centre", e.start_x, e.start_y, true);
  f.Num("radius", e.dHankei, true);
  f.Num("start angle", e.radKaishiKaku, true);
  f.Num("sweep", e.radEnkoKaku, true);
  f.Num("tilt", e.radKatamukiKaku, true);
  f.Num("flatness", e.dHenpeiRitsu, true);
  f.Int("full", e.bZenEnFlg);
  f.f[f.n - 1].geo = true;
  Attr(f, e.att);
}

void Fill(const TEntJwwTen& e, const DefNames&, Fields& f) {
  f.Point("at", e.start_x, e.start_y, true);
  f.Int("temporary", e.bKariten);
  f.Int("code", e.nCode);
  f.Num("rotation", e.radKaitenKaku);
  f.Num("scale", e.dBairitsu);
  Attr(f, e.att);
}

void Fill(const TEntJwwMoji& e, const DefNames&, Fields& f) {
  // Placed by start point and angle alone: new wording moves the end, not the text.
  f.Point("at", e.start_x, e.start_y, true);
  f.Num("angle", e.degKakudo, true);
  MojiRest(f, e);
}

void Fill(const TEntJwwSunpo& e, const DefNames&, Fields& f) {
  f.Point("start", e.Sen.start_x, e.Sen.start_y, true);
  f.Point("end", e.Sen.end_x, e.Sen.end_y, true);
  Attr(f, e.att);
  f.part = "line";
  Attr(f, e.Sen.att);
  f.part = "text";
  f.Point("at", e.Moji.start_x, e.Moji.start_y);
  f.Num("angle", e.Moji.degKakudo);
  MojiRest(f, e.Moji);
  f.part = nullptr;
  f.Int("sxf mode", e.bSxfMode);
  SubLine(f, "aux line 1", e.Ho1);
  SubLine(f, "aux line 2", e.Ho2);
  SubTen(f, "end point 1", e.Te1);
  SubTen(f, "end point 2", e.Te2);
  SubTen(f, "reference point 1", e.Kt1);
  SubTen(f, "reference point 2", e.Kt2);
}

void Fill(const TEntJwwSolid& e, const DefNames&, Fields& f) {
  f.Point("corner 1", e.start_x, e.start_y, true);
  f.Point("corner 2", e.end_x, e.end_y, true);
  f.Point("corner 3", e.DPoint2_x, e.DPoint2_y, true);
  f.Point("corner 4", e.DPoint3_x, e.DPoint3_y, true);
  // The own colour counts only where the pen colour says so; writers drop it elsewhere.
  f.Int("fill colour", e.att.nPenColor == 10 ? static_cast<int64_t>(e.Color) : -1, Type::Hex);
  Attr(f, e.att);
}

void Fill(const TEntJwwBlock& e, const DefNames& names, Fields& f) {
  static const std::u16string kNone;
  f.Point("at", e.DPKijunTen_x, e.DPKijunTen_y, true);
  f.Num("scale x", e.dBairitsuX, true);
  f.Num("scale y", e.dBairitsuY, true);
  f.Num("rotation", e.radKaitenKaku, true);
  const auto it = names.find(e.nNumber);
  f.Text("definition", it == names.end() ? kNone : *it->second, true);
  Attr(f, e.att);
}

std::string Quote(const std::u16string& s) {
  const std::string u = StrToUtf8(s);
  std::string out = "\"";
  for (unsigned char c : u) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + '"';
}

std::string Shown(const Field& x) {
  char buf[32];
  switch (x.type) {
    case Type::Num: return Num(x.a);
    case Type::Int: return std::to_string(x.i);
    case Type::Hex:
      if (x.i < 0) return "none";
      std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(x.i));
      return buf;
    case Type::Layer:
      std::snprintf(buf, sizeof buf, "%llX-%llX", static_cast<unsigned long long>(x.i >> 4),
                    static_cast<unsigned long long>(x.i & 15));
      return buf;
    case Type::Point: return "(" + Num(x.a) + ", " + Num(x.b) + ")";
    case Type::Text: return Quote(*x.s);
  }
  return {};
}

std::string FieldName(const Field& x) { return x.part ? std::string(x.part) + " " + x.name : std::string(x.name); }

std::string Describe(EntKind k, const Fields& f) {
  std::string out = KindLabel(k);
  for (int i = 0; i < f.n; ++i)
    if (f.f[i].geo || f.f[i].label) out += " " + FieldName(f.f[i]) + " " + Shown(f.f[i]);
  return out;
}

std::string FullLine(EntKind k, const Fields& f) {
  std::string out = KindLabel(k);
  for (int i = 0; i < f.n; ++i) out += " " + FieldName(f.f[i]) + " " + Shown(f.f[i]);
  return out;
}

std::u16string GivenName(const std::u16string& stored) {
  const size_t at = build::BlkNameDecorationPos(stored);
  return at == std::u16string::npos || at == 0 ? stored : stored.substr(0, at);
}

}  // namespace detail
}  // namespace compare
