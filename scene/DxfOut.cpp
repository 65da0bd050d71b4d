// The DXF writer: dxflib's entity and table writers over an in-memory group-code writer, so the
// file is written in one piece (and atomically) once it is complete.
#include "scene/DxfOut.h"

#include <dl_dxf.h>
#include <dl_writer_ascii.h>

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <set>
#include <string_view>
#include <unordered_map>

#include "common/Func_2.h"

namespace scene {

namespace {

constexpr double kPi = 3.14159265358979323846;

// dxflib's ASCII writer, with its output going into a string instead of a file stream.
class MemWriter : public DL_WriterA {
 public:
  explicit MemWriter(std::string& out) : DL_WriterA("/dev/null", DL_Codes::AC1015), out_(out) {}
  void dxfReal(int gc, double value) const override {
    Code(gc);
    if (!std::isfinite(value)) value = 0;  // never reached: the scene holds finite numbers
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    std::string_view v(buf, r.ptr - buf);
    out_ += v;
    if (v.find_first_of(".e") == std::string_view::npos) out_ += ".0";
    out_ += '\n';
  }
  void dxfInt(int gc, int value) const override {
    Code(gc);
    out_ += std::to_string(value);
    out_ += '\n';
  }
  void dxfHex(int gc, int value) const override {
    Code(gc);
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, static_cast<unsigned>(value), 16);
    for (char* p = buf; p < r.ptr; ++p)
      if (*p >= 'a') *p = static_cast<char>(*p - 'a' + 'A');
    out_.append(buf, r.ptr);
    out_ += '\n';
  }
  void dxfString(int gc, const char* value) const override { dxfString(gc, std::string(value)); }
  void dxfString(int gc, const std::string& value) const override {
    Code(gc);
    out_ += value;
    out_ += '\n';
  }

 private:
  // Group codes right-aligned in three columns, as CAD programs write them.
  void Code(int gc) const {
    struct Table {
      char text[1100][6];
      uint8_t len[1100];
      Table() {
        for (int i = 0; i < 1100; ++i) len[i] = static_cast<uint8_t>(std::snprintf(text[i], 6, "%3d\n", i));
      }
    };
    static const Table kCodes;
    if (gc >= 0 && gc < 1100) {
      out_.append(kCodes.text[gc], kCodes.len[gc]);
      return;
    }
    out_ += std::to_string(gc);
    out_ += '\n';
  }
  std::string& out_;
};

// Text for a DXF string: code page 932 where it holds the character, \U+XXXX otherwise ("?"
// beyond U+FFFF, which R2000 cannot carry); no control characters (they would break the group
// code structure).
std::string DxfText(const std::u16string& s) {
  std::string out;
  std::u16string run;
  auto flush = [&] {
    if (!run.empty()) out += jww::StrToAnsi(run), run.clear();
  };
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00), ++i;
    if (c < 0x20) continue;
    if (c < 0x80 || (c < 0x10000 && jww::IsAnsiRepresentable(std::u16string(1, char16_t(c))))) {
      run.push_back(char16_t(c));
      continue;
    }
    flush();
    if (c > 0xFFFF) {
      out += '?';  // the escape has four hex digits: characters beyond them cannot be written
      continue;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "\\U+%04X", static_cast<unsigned>(c));
    out += buf;
  }
  flush();
  return out;
}

// A table name: DXF forbids < > / \ " : ; ? * | = ` in names.
std::string DxfName(const std::u16string& s) {
  std::u16string t;
  for (char16_t c : s) t.push_back(std::u16string_view(u"<>/\\\":;?*|=`").find(c) == std::u16string_view::npos ? c : u'_');
  return DxfText(t);
}

int LineWeightOf(float mm) {
  static const int kWeights[] = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                 53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
  const double v = mm * 100.0;
  int best = 0;
  for (int w : kWeights)
    if (std::fabs(w - v) < std::fabs(best - v)) best = w;
  return best;
}

}  // namespace

int LineWeight(double mm) { return LineWeightOf(static_cast<float>(mm)); }

uint32_t AciRgb(int i) {
  static const uint32_t kBase[10] = {0,        0xFF0000, 0xFFFF00, 0x00FF00, 0x00FFFF,
                                     0x0000FF, 0xFF00FF, 0xFFFFFF, 0x808080, 0xC0C0C0};
  if (i < 10) return kBase[i];
  if (i >= 250) {
    static const uint32_t kGrey[6] = {0x333333, 0x505050, 0x696969, 0x828282, 0xBEBEBE, 0xFFFFFF};
    return kGrey[i - 250];
  }
  // 10..249: 24 hues of 15 degrees, each in five shades, full and half saturation.
  const double hue = ((i - 10) / 10) * 15.0;
  const int k = (i - 10) % 10;
  static const double kValue[5] = {1.0, 0.65, 0.5, 0.3, 0.15};
  const double v = kValue[k / 2], sat = (k % 2) ? 0.5 : 1.0;
  const double h = hue / 60.0;
  const double c = v * sat, x = c * (1 - std::fabs(std::fmod(h, 2.0) - 1)), m = v - c;
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
  }
  auto q = [&](double u) { return static_cast<uint32_t>(std::lround((u + m) * 255)); };
  return (q(r) << 16) | (q(g) << 8) | q(b);
}

namespace {

// A box in the coordinates it is filled in.
struct Box {
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  bool Empty() const { return !(x0 <= x1 && y0 <= y1); }
  void Add(double x, double y) {
    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
  }
  /// `b` mapped by `m` and then multiplied by `f` (its corners: a rotated box grows to hold them).
  void Add(const Box& b, const Xform& m, double f) {
    if (b.Empty()) return;
    for (const double x : {b.x0, b.x1})
      for (const double y : {b.y0, b.y1}) {
        double X, Y;
        m.Apply(x, y, X, Y);
        Add(X * f, Y * f);
      }
  }
  void Add(const Box& b) { Add(b, Xform{}, 1); }
};

// The box of a primitive's entity in its own coordinates (a text by the rectangle of its advance
// and height along its angle as the writer turns it).
void AddPrim(const Prim& p, Box& box) {
  if (p.mask) return;  // not written
  switch (p.kind) {
    case Kind::Line:
      box.Add(p.p[0], p.p[1]);
      box.Add(p.p[2], p.p[3]);
      break;
    case Kind::Arc: {
      // The ends and the parameters where x or y turn (those within the sweep).
      const double ct = std::cos(p.tilt), st = std::sin(p.tilt), r = p.radius, b = p.radius * p.flat;
      auto at = [&](double t) {
        const double x = r * std::cos(t), y = b * std::sin(t);
        box.Add(p.p[0] + ct * x - st * y, p.p[1] + st * x + ct * y);
      };
      const double start = p.full ? 0 : p.start, sweep = p.full ? 2 * kPi : p.sweep;
      const double lo = std::min(start, start + sweep), hi = std::max(start, start + sweep);
      at(lo), at(hi);
      for (double t : {std::atan2(-b * st, r * ct), std::atan2(b * ct, r * st)})
        for (int k = 0; k < 2; ++k, t += kPi) {
          const double u = lo + std::fmod(std::fmod(t - lo, 2 * kPi) + 2 * kPi, 2 * kPi);
          if (u <= hi) at(u);
        }
      break;
    }
    case Kind::Fill:
      for (size_t i = 0; i + 1 < p.ring.size(); i += 2) box.Add(p.ring[i], p.ring[i + 1]);
      break;
    case Kind::Point:
      box.Add(p.p[0], p.p[1]);
      break;
    case Kind::Text: {
      const double n = TextUnits(p.text), len = n * p.sizeX + (n > 0 ? n - 1 : 0) * p.spacing;
      const double a = p.vertical ? RunAngle(p) + kPi / 2 : p.angle, c = std::cos(a), sn = std::sin(a);
      for (const double u : {0.0, len})
        for (const double v : {0.0, p.sizeY}) box.Add(p.p[0] + c * u - sn * v, p.p[1] + sn * u + c * v);
      if (p.vertical) box.Add(p.p[2], p.p[3]);  // where the drawing has it run to
      break;
    }
    case Kind::Insert:
      break;
  }
}

// The root dictionary and the objects it lists, as dxflib writes them, lack their owners (group
// code 330), which readers check: each object gets the dictionary that lists it as its owner, the
// root dictionary none ("0"). `out` holds the objects section from `from` on.
void AddObjectOwners(std::string& out, size_t from) {
  std::vector<std::pair<std::string_view, std::string_view>> tags;  // (code, value)
  const std::string_view all(out);
  for (size_t at = from; at < all.size();) {
    const size_t a = all.find('\n', at);
    if (a == std::string_view::npos) break;
    const size_t b = all.find('\n', a + 1);
    if (b == std::string_view::npos) break;
    std::string_view code = all.substr(at, a - at);
    while (!code.empty() && code.front() == ' ') code.remove_prefix(1);
    tags.emplace_back(code, all.substr(a + 1, b - a - 1));
    at = b + 1;
  }
  std::map<std::string_view, std::string_view> owner;
  std::string_view type, self;
  for (const auto& [code, value] : tags) {
    if (code == "0") type = value, self = {};
    else if (code == "5" && self.empty()) self = value;
    else if ((code == "350" || code == "360") && !self.empty() &&
             (type == "DICTIONARY" || type == "ACDBDICTIONARYWDFLT"))
      owner.emplace(value, self);
  }
  std::string fixed;
  fixed.reserve(out.size() - from + tags.size() * 8);
  MemWriter w(fixed);
  for (size_t i = 0; i < tags.size(); ++i) {
    w.dxfString(std::atoi(std::string(tags[i].first).c_str()), std::string(tags[i].second));
    if (tags[i].first == "5" && i > 0 && tags[i - 1].first == "0") {
      const auto it = owner.find(tags[i].second);
      w.dxfString(330, it == owner.end() ? "0" : std::string(it->second));
    }
  }
  out.replace(from, std::string::npos, fixed);
}

// A text style for a font of the drawing: the font file CAD programs load (the Japanese gothic
// or mincho face), and the family name for programs that look fonts up by name.
struct Style {
  std::string name, file;
  std::u16string family;
  int flags;  // the family's character set and pitch, as the ACAD extended data holds them
};

Style StyleFor(const std::u16string& font, std::string name) {
  const bool mincho = font.find(u"明朝") != std::u16string::npos ||
                      font.find(u"Mincho") != std::u16string::npos;
  // Character set 128 (Japanese) in bits 8..15; fixed pitch, modern or roman family below.
  return {std::move(name), mincho ? "msmincho.ttc" : "msgothic.ttc",
          font.empty() ? std::u16string(u"ＭＳ ゴシック") : font, (128 << 8) | (mincho ? 0x11 : 0x31)};
}

struct Writer {
  Writer(const Scene& scene, MemWriter& w, std::string& o) : s(scene), dw(w), out(o) {}
  const Scene& s;
  DL_Dxf dxf;
  MemWriter& dw;
  std::string& out;  // what `dw` writes to
  std::vector<std::string> layerNames;
  std::map<std::pair<int, double>, std::string> blockNames;  // (definition, group scale)
  std::set<std::pair<int, int>> droppedEdges;                // insertions that would recurse
  std::vector<Style> styles;                                 // "Standard" first
  std::unordered_map<std::u16string, std::string> styleOf;   // font -> style name
  // The style of a font (texts mostly repeat the font of the text before).
  const std::string& StyleOf(const std::u16string& font) {
    if (lastStyle && font == *lastFont) return *lastStyle;
    const auto it = styleOf.find(font);
    if (it == styleOf.end()) return styles[0].name;  // beyond kMaxStyles
    lastFont = &it->first, lastStyle = &it->second;
    return it->second;
  }
  const std::u16string* lastFont = nullptr;
  const std::string* lastStyle = nullptr;

  Box extents;  // of every entity
  Box shown;    // of the entities on layers not switched off
  Box onPaper;  // of their parts on the paper
  size_t leftOut = 0;  // primitives that cannot be represented

  double Scale(const Prim& p) const { return s.groupScale[(p.layer / 16) & 15]; }

  // Attributes are few and repeat: made once per layer, colour, width and line type (the layer
  // decides the scale).
  std::unordered_map<uint64_t, DL_Attributes> attrCache;
  DL_Attributes uncached;
  const DL_Attributes& Attr(const Prim& p, double f) {
    const uint64_t width = static_cast<uint64_t>(std::clamp(p.width * 100.0f, 0.0f, 65535.0f));
    const uint64_t key = uint64_t(p.layer) | uint64_t(p.lineType) << 16 |
                         uint64_t(p.rgb & 0xFFFFFF) << 24 | width << 48;
    const bool cacheable = f == Scale(p);  // inside a block the insertion's scale may differ
    auto it = cacheable ? attrCache.find(key) : attrCache.end();
    if (it != attrCache.end()) return it->second;
    const LineType& lt = s.lineTypes[p.lineType < s.lineTypes.size() ? p.lineType : 0];
    DL_Attributes a(layerNames[p.layer < layerNames.size() ? p.layer : 0], NearestAci(p.rgb),
                    static_cast<int>(p.rgb), LineWeightOf(p.width),
                    lt.dashes.empty() ? "CONTINUOUS" : lt.name);
    a.setLinetypeScale(f);  // dash lengths are paper millimetres
    if (!cacheable) {
      uncached = a;
      return uncached;
    }
    return attrCache.emplace(key, a).first->second;
  }

  // One primitive, its coordinates and sizes multiplied by `f` (the scale of the layer group it
  // or the insertion it lies in belongs to).
  void Prim1(const Prim& p, double f, int owner) {
    if (p.mask) return;  // a text's background: see Prim::mask
    // Coordinates that overflow at the layer group's scale (or are beyond any sane drawing)
    // would come out as 0 or "inf": such a primitive is left out and counted.
    if (!Representable(p, Placement{Xform{f, 0, 0, f, 0, 0}, 0})) {
      ++leftOut;
      return;
    }
    const double x = p.p[0] * f, y = p.p[1] * f;
    switch (p.kind) {
      case Kind::Line:
        dxf.writeLine(dw, DL_LineData(x, y, 0, p.p[2] * f, p.p[3] * f, 0), Attr(p, f));
        break;
      case Kind::Arc: {
        if (!(p.radius > 0) || !(p.flat > 0)) break;
        const double r = p.radius * f;
        if (IsCircular(p)) {
          if (p.full) {
            dxf.writeCircle(dw, DL_CircleData(x, y, 0, r), Attr(p, f));
          } else {
            double a1 = p.start + p.tilt, a2 = a1 + p.sweep;
            if (p.sweep < 0) std::swap(a1, a2);
            dxf.writeArc(dw, DL_ArcData(x, y, 0, r, a1 * 180 / kPi, a2 * 180 / kPi), Attr(p, f));
          }
          break;
        }
        // ELLIPSE: major axis vector and ratio <= 1, parameters measured from the major axis.
        double axis = p.tilt, major = r, ratio = p.flat, shift = 0;
        if (p.flat > 1) axis += kPi / 2, major = r * p.flat, ratio = 1 / p.flat, shift = -kPi / 2;
        double t1 = p.full ? 0 : p.start + shift, t2 = p.full ? 2 * kPi : p.start + p.sweep + shift;
        if (t2 < t1) std::swap(t1, t2);
        dxf.writeEllipse(dw,
                         DL_EllipseData(x, y, 0, major * std::cos(axis), major * std::sin(axis), 0,
                                        ratio, t1, t2),
                         Attr(p, f));
        break;
      }
      case Kind::Fill:
        if (p.quad) {
          const auto& r = p.ring;  // SOLID corners run 1, 2, 4, 3
          dxf.writeSolid(dw,
                         DL_SolidData(r[0] * f, r[1] * f, 0, r[2] * f, r[3] * f, 0, r[6] * f, r[7] * f, 0,
                                      r[4] * f, r[5] * f, 0),
                         Attr(p, f));
        } else {
          const size_t n = p.ring.size() / 2;
          if (n < 3) break;
          dxf.writeHatch1(dw, DL_HatchData(1, true, 1.0, 0.0, "SOLID"), Attr(p, f));
          dxf.writeHatchLoop1(dw, DL_HatchLoopData(static_cast<int>(n)));
          for (size_t i = 0; i < n; ++i) {
            const size_t j = (i + 1) % n;
            dxf.writeHatchEdge(dw, DL_HatchEdgeData(p.ring[2 * i] * f, p.ring[2 * i + 1] * f,
                                                    p.ring[2 * j] * f, p.ring[2 * j + 1] * f));
          }
          dxf.writeHatchLoop2(dw, DL_HatchLoopData(static_cast<int>(n)));
          dxf.writeHatch2(dw, DL_HatchData(1, true, 1.0, 0.0, "SOLID"), Attr(p, f));
        }
        break;
      case Kind::Point:
        dxf.writePoint(dw, DL_PointData(x, y, 0), Attr(p, f));
        break;
      case Kind::Text: {
        const double h = p.sizeY * f;
        if (!(h > 0)) break;
        const double w = p.sizeY > 0 ? std::clamp(p.sizeX / p.sizeY, 0.01, 100.0) : 1.0;
        // A vertical text's characters stand across the way it runs.
        const double angle = p.vertical ? RunAngle(p) + kPi / 2 : p.angle;
        dxf.writeText(dw, DL_TextData(x, y, 0, x, y, 0, h, w, 0, 0, 0, DxfText(p.text), StyleOf(p.font), angle),
                      Attr(p, f));
        break;
      }
      case Kind::Insert: {
        if (droppedEdges.count({owner, p.def})) break;
        const auto it = blockNames.find({p.def, f});
        if (it == blockNames.end()) break;
        const Xform& m = p.place;
        const double rot = std::atan2(m.c, m.a);
        const double sx = std::hypot(m.a, m.c);
        const double sy = -std::sin(rot) * m.b + std::cos(rot) * m.d;
        if (!(sx > 0) || sy == 0) break;
        if (!(std::fabs(m.e * f) <= kMaxCoordinate && std::fabs(m.f * f) <= kMaxCoordinate &&
              sx <= kMaxCoordinate && std::fabs(sy) <= kMaxCoordinate)) {
          ++leftOut;
          break;
        }
        DL_Attributes a(layerNames[p.layer < layerNames.size() ? p.layer : 0], 256, -1, -1, "BYLAYER");
        dxf.writeInsert(dw, DL_InsertData(it->second, m.e * f, m.f * f, 0, sx, sy, 1, rot * 180 / kPi, 1, 1, 0, 0),
                        a);
        break;
      }
    }
  }

  // Every (definition, scale) a BLOCK is needed for, and which insertions would make a block
  // contain itself (those are left out, as the painter leaves them out).
  void CollectBlocks() {
    std::vector<int> state(s.defs.size(), 0);  // 0 new, 1 on the path, 2 done
    std::set<std::pair<int, double>> seen;
    std::vector<std::pair<int, double>> todo;
    for (const Prim& p : s.prims)
      if (p.kind == Kind::Insert && p.def >= 0) todo.push_back({p.def, Scale(p)});
    // Back edges of a depth-first walk over the definitions (iterative: chains may be long).
    for (auto [root, u] : todo) {
      if (state[root] != 0) continue;
      std::vector<std::pair<int, size_t>> stack{{root, 0}};
      state[root] = 1;
      while (!stack.empty()) {
        auto& [d, next] = stack.back();
        const auto& prims = s.defs[d].prims;
        while (next < prims.size() && (prims[next].kind != Kind::Insert || prims[next].def < 0)) ++next;
        if (next == prims.size()) {
          state[d] = 2;
          stack.pop_back();
          continue;
        }
        const int child = prims[next++].def;
        if (state[child] == 1) droppedEdges.insert({d, child});
        else if (state[child] == 0) state[child] = 1, stack.push_back({child, 0});
      }
    }
    while (!todo.empty()) {
      auto key = todo.back();
      todo.pop_back();
      if (!seen.insert(key).second) continue;
      for (const Prim& p : s.defs[key.first].prims)
        if (p.kind == Kind::Insert && p.def >= 0 && !droppedEdges.count({key.first, p.def}))
          todo.push_back({p.def, key.second});
    }
    std::map<int, int> scalesPerDef;
    for (auto [d, u] : seen) ++scalesPerDef[d];
    std::set<std::string> used;
    for (auto [d, u] : seen) {
      std::string base = DxfName(s.defs[d].name);
      if (base.empty() || base[0] == '*') base = "BLOCK_" + std::to_string(d);
      if (scalesPerDef[d] > 1) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "_S%g", u);
        base += buf;
      }
      std::string name = base;
      for (int n = 2; used.count(name); ++n) name = base + "_" + std::to_string(n);
      used.insert(name);
      blockNames[{d, u}] = name;
    }
  }

  // One style per font the texts name ("Standard" for the default gothic face), noted while the
  // extents are collected; a drawing naming more fonts than kMaxStyles has the rest written in
  // "Standard".
  static constexpr size_t kMaxStyles = 64;
  std::set<std::string> styleKeys{"STANDARD"};  // style names are compared without case
  const std::u16string* lastNoted = nullptr;
  void NoteFont(const Prim& p) {
    if (p.kind != Kind::Text || p.font == *lastNoted) return;
    lastNoted = &p.font;
    if (styleOf.count(p.font) || styles.size() >= kMaxStyles) return;
    std::string name = DxfName(p.font), key = name;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name.empty() || !styleKeys.insert(key).second) name = "JW_FONT_" + std::to_string(styles.size());
    styles.push_back(StyleFor(p.font, name));
    styleOf[p.font] = name;
  }

  // The boxes of the entities as written (and the fonts of the texts): real millimetres, each top-level primitive at its
  // group's scale, an insertion by the box of its definition placed (definitions once each).
  void CollectExtents() {
    styles.push_back(StyleFor(u"", "Standard"));
    styleOf[u""] = styleOf[styles[0].family] = "Standard";
    lastNoted = &styleOf.find(styles[0].family)->first;  // (map keys stay where they are)
    std::vector<Box> defBox(s.defs.size());
    std::vector<int> state(s.defs.size(), 0);  // 0 new, 1 on the path, 2 done
    // Definitions after the ones they insert (iterative: chains may be long); an insertion that
    // would make a definition contain itself is left out, as the writer leaves it out.
    for (size_t root = 0; root < s.defs.size(); ++root) {
      if (state[root] != 0) continue;
      std::vector<std::pair<int, size_t>> stack{{int(root), 0}};
      state[root] = 1;
      while (!stack.empty()) {
        auto& [d, next] = stack.back();
        const auto& prims = s.defs[d].prims;
        while (next < prims.size() &&
               (prims[next].kind != Kind::Insert || prims[next].def < 0 || state[prims[next].def] != 0))
          ++next;
        if (next < prims.size()) {
          const int child = prims[next++].def;
          state[child] = 1;
          stack.push_back({child, 0});
          continue;
        }
        Box& b = defBox[d];
        for (const Prim& p : prims) {
          NoteFont(p);
          if (p.kind != Kind::Insert) {
            if (Representable(p, Placement{})) AddPrim(p, b);  // what is left out has no extent
          } else if (p.def >= 0 && state[p.def] == 2 && !droppedEdges.count({d, p.def}))
            b.Add(defBox[p.def], p.place, 1);
        }
        state[d] = 2;
        stack.pop_back();
      }
    }
    for (const Prim& p : s.prims) {
      NoteFont(p);
      Box b;
      if (p.kind != Kind::Insert) {
        if (!Representable(p, Placement{Xform{Scale(p), 0, 0, Scale(p), 0, 0}, 0})) continue;
        Box own;
        AddPrim(p, own);
        b.Add(own, Xform{}, Scale(p));
      } else if (p.def >= 0 && size_t(p.def) < s.defs.size()) {
        b.Add(defBox[p.def], p.place, Scale(p));
      }
      extents.Add(b);
      if (b.Empty() || (p.layer < s.layers.size() && s.layers[p.layer].hidden)) continue;
      shown.Add(b);
      // The part on the paper (the paper at the primitive's scale): what the print shows.
      const double w = s.paperW / 2 * Scale(p), h = s.paperH / 2 * Scale(p);
      Box on;
      on.Add(std::max(b.x0, -w), std::max(b.y0, -h));
      on.Add(std::min(b.x1, w), std::min(b.y1, h));
      if (b.x0 <= w && b.x1 >= -w && b.y0 <= h && b.y1 >= -h) onPaper.Add(on);
    }
  }

  // The view a CAD program opens on: what the print shows, the shown entities' parts on the paper
  // (the paper is where the drawing is; the drawing program keeps notes and construction lines
  // beyond it). Failing that, the shown entities, then all of them, then the paper at group 0's
  // scale. With a margin, and high enough that the width fits a window 1.6 times as wide as high.
  void WriteVPort() {
    Box v = !onPaper.Empty() ? onPaper : !shown.Empty() ? shown : extents;
    if (v.Empty()) v.Add(-s.paperW / 2 * s.groupScale[0], -s.paperH / 2 * s.groupScale[0]),
                   v.Add(s.paperW / 2 * s.groupScale[0], s.paperH / 2 * s.groupScale[0]);
    constexpr double kAspect = 1.6;
    double h = std::max(v.y1 - v.y0, (v.x1 - v.x0) / kAspect) * 1.1;
    if (!(h > 0)) h = 1;
    dw.table("VPORT", 1, 8);
    dw.dxfString(0, "VPORT");
    dw.handle();
    dw.dxfString(100, "AcDbSymbolTableRecord");
    dw.dxfString(100, "AcDbViewportTableRecord");
    dw.dxfString(2, "*Active");
    dw.dxfInt(70, 0);
    dw.coord(10, 0, 0);  // the viewport fills the window
    dw.dxfReal(11, 1), dw.dxfReal(21, 1);
    dw.dxfReal(12, (v.x0 + v.x1) / 2), dw.dxfReal(22, (v.y0 + v.y1) / 2);
    dw.dxfReal(13, 0), dw.dxfReal(23, 0);
    dw.dxfReal(14, 10), dw.dxfReal(24, 10);  // snap and grid spacing
    dw.dxfReal(15, 10), dw.dxfReal(25, 10);
    dw.coord(16, 0, 0, 1);  // looking down the z axis
    dw.coord(17, 0, 0);
    dw.dxfReal(40, h);
    dw.dxfReal(41, kAspect);
    dw.dxfReal(42, 50);
    dw.dxfReal(43, 0), dw.dxfReal(44, 0), dw.dxfReal(50, 0), dw.dxfReal(51, 0);
    for (const auto& [code, value] : {std::pair{71, 0}, {72, 100}, {73, 1}, {74, 3}, {75, 0}, {76, 0},
                                      {77, 0}, {78, 0}})
      dw.dxfInt(code, value);
    dw.tableEnd();
  }

  void WriteStyles() {
    dw.tableStyle(static_cast<int>(styles.size()));
    for (const Style& st : styles) {
      dw.dxfString(0, "STYLE");
      const unsigned long h = dw.handle();
      if (st.name == "Standard") standardStyle = h;
      dw.dxfString(100, "AcDbSymbolTableRecord");
      dw.dxfString(100, "AcDbTextStyleTableRecord");
      dw.dxfString(2, st.name);
      dw.dxfInt(70, 0);
      dw.dxfReal(40, 0);
      dw.dxfReal(41, 1);
      dw.dxfReal(50, 0);
      dw.dxfInt(71, 0);
      dw.dxfReal(42, 2.5);
      dw.dxfString(3, st.file);
      dw.dxfString(4, "");
      dw.dxfString(1001, "ACAD");
      dw.dxfString(1000, DxfText(st.family));
      dw.dxfInt(1071, st.flags);
    }
    dw.tableEnd();
  }
  unsigned long standardStyle = 0;

  void Write() {
    // Sets dxflib's version for the table writers; the writer it opens is not used.
    delete dxf.out("/dev/null", DL_Codes::AC1015);
    for (const Layer& l : s.layers) layerNames.push_back(DxfName(l.name));
    if (layerNames.empty()) layerNames.push_back("0");
    CollectBlocks();
    CollectExtents();

    dxf.writeHeader(dw);
    dw.dxfString(9, "$DWGCODEPAGE");
    dw.dxfString(3, "ANSI_932");
    dw.dxfString(9, "$INSUNITS");
    dw.dxfInt(70, 4);
    Box e = extents;
    if (e.Empty()) e.Add(0, 0);
    dw.dxfString(9, "$EXTMIN");
    dw.coord(10, e.x0, e.y0);
    dw.dxfString(9, "$EXTMAX");
    dw.coord(10, e.x1, e.y1);
    dw.sectionEnd();

    dw.sectionTables();
    WriteVPort();
    std::vector<const LineType*> dashed;
    for (const LineType& t : s.lineTypes)
      if (!t.dashes.empty()) dashed.push_back(&t);
    dw.tableLinetypes(static_cast<int>(3 + dashed.size()));
    dxf.writeLinetype(dw, DL_LinetypeData("BYBLOCK", "", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("BYLAYER", "", 0, 0, 0.0));
    dxf.writeLinetype(dw, DL_LinetypeData("CONTINUOUS", "Solid line", 0, 0, 0.0));
    for (const LineType* t : dashed) {
      std::vector<double> pat;
      double len = 0;
      for (size_t i = 0; i < t->dashes.size(); ++i) {
        pat.push_back(i % 2 ? -t->dashes[i] : t->dashes[i]);
        len += t->dashes[i];
      }
      dxf.writeLinetype(dw, DL_LinetypeData(t->name, t->name, 0, static_cast<int>(pat.size()), len,
                                            pat.data()));
    }
    dw.tableEnd();
    // Layers the drawing hides are switched off (a negative colour); each layer's description
    // names its layer group and the group's scale, which the layer name alone does not carry.
    dw.tableLayers(static_cast<int>(layerNames.size() + 1));
    dxf.writeLayer(dw, DL_LayerData("0", 0), DL_Attributes("", 7, 0, "CONTINUOUS", 1.0));
    for (size_t i = 0; i < layerNames.size(); ++i) {
      const Layer* l = i < s.layers.size() ? &s.layers[i] : nullptr;
      dxf.writeLayer(dw, DL_LayerData(layerNames[i], 0, l && l->hidden),
                     DL_Attributes("", 7, 0, "CONTINUOUS", 1.0));
      if (!l) continue;
      char scale[40];
      std::snprintf(scale, sizeof scale, "1:%g", s.groupScale[l->group & 15]);
      std::u16string about = u"group " + std::u16string(1, u"0123456789ABCDEF"[l->group & 15]);
      if (!l->groupName.empty()) about += u" " + l->groupName;
      dw.dxfString(1001, "AcAecLayerStandard");
      dw.dxfString(1000, "");
      dw.dxfString(1000, DxfText(about) + " " + scale);
    }
    dw.tableEnd();
    WriteStyles();
    dxf.writeView(dw);
    dxf.writeUcs(dw);
    dw.tableAppid(2);
    dxf.writeAppid(dw, "ACAD");
    dxf.writeAppid(dw, "AcAecLayerStandard");
    dw.tableEnd();
    // Dimensions are written as their lines and texts: the one dimension style only names the
    // text style.
    dw.dxfString(0, "TABLE");
    dw.dxfString(2, "DIMSTYLE");
    dw.dxfHex(5, 0xA);
    dw.dxfString(100, "AcDbSymbolTable");
    dw.dxfInt(70, 1);
    dw.dxfString(100, "AcDbDimStyleTable");
    dw.dxfInt(71, 0);
    dw.dxfString(0, "DIMSTYLE");
    dw.handle(105);
    dw.dxfString(100, "AcDbSymbolTableRecord");
    dw.dxfString(100, "AcDbDimStyleTableRecord");
    dw.dxfString(2, "Standard");
    dw.dxfInt(70, 0);
    dw.dxfHex(340, static_cast<int>(standardStyle));
    dw.tableEnd();
    dxf.writeBlockRecord(dw);
    for (const auto& [key, name] : blockNames) dxf.writeBlockRecord(dw, name);
    dw.tableEnd();
    dw.sectionEnd();

    dw.sectionBlocks();
    for (const char* n : {"*Model_Space", "*Paper_Space", "*Paper_Space0"}) {
      dxf.writeBlock(dw, DL_BlockData(n, 0, 0.0, 0.0, 0.0));
      dxf.writeEndBlock(dw, n);
    }
    for (const auto& [key, name] : blockNames) {
      dxf.writeBlock(dw, DL_BlockData(name, 0, 0.0, 0.0, 0.0));
      for (const Prim& p : s.defs[key.first].prims) Prim1(p, key.second, key.first);
      dxf.writeEndBlock(dw, name);
    }
    dw.sectionEnd();

    dw.sectionEntities();
    for (const Prim& p : s.prims) Prim1(p, Scale(p), -1);
    dw.sectionEnd();
    const size_t objects = out.size();
    dxf.writeObjects(dw);
    dxf.writeObjectsEnd(dw);
    AddObjectOwners(out, objects);
    dw.dxfEOF();
  }
};

}  // namespace

int NearestAci(uint32_t rgb) {
  static const std::vector<uint32_t> palette = [] {
    std::vector<uint32_t> p(256);
    for (int i = 1; i < 256; ++i) p[i] = AciRgb(i);
    return p;
  }();
  // Black and white are both colour 7, which CAD programs show in contrast to their background.
  if ((rgb & 0xFFFFFF) == 0 || (rgb & 0xFFFFFF) == 0xFFFFFF) return 7;
  int best = 7;
  long bestD = -1;
  const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  for (int i = 1; i < 256; ++i) {
    const int dr = r - int((palette[i] >> 16) & 255), dg = g - int((palette[i] >> 8) & 255),
              db = b - int(palette[i] & 255);
    const long dist = long(dr) * dr + long(dg) * dg + long(db) * db;
    if (bestD < 0 || dist < bestD) best = i, bestD = dist;
  }
  return best;
}

std::string DxfBytes(const Scene& s, size_t* leftOut) {
  std::string out;
  out.reserve((1 << 16) + s.prims.size() * 200);
  {
    MemWriter dw(out);
    Writer w(s, dw, out);
    w.Write();
    if (leftOut) *leftOut = w.leftOut;
  }
  return out;
}

bool WriteDxf(const Scene& s, const std::u16string& path, size_t* leftOut, std::string* why) {
  try {
    return jww::WriteFileAtomic(path, DxfBytes(s, leftOut), why);
  } catch (const std::bad_alloc&) {
    if (why) *why = std::strerror(ENOMEM);
    return false;
  } catch (const std::exception& e) {
    if (why) *why = e.what();
    return false;
  }
}

}  // namespace scene
