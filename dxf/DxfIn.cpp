#include "dxf/DxfIn.h"

#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <unordered_map>

#include "common/codepage.h"
#include "scene/DxfOut.h"

namespace dxf {

namespace {

using jww::Double;
using jww::Integer;

constexpr double kPi = 3.14159265358979323846;
// Coordinates beyond this many millimetres are no drawing (a light year is 1e19 mm); they would
// turn the extents and the scale into nonsense.
constexpr double kFar = 1e15;
// A MINSERT array places at most this many insertions.
constexpr long kMaxArray = 10000;
// Nesting deeper than this is refused for the extents (and no real drawing needs it).
constexpr int kMaxDepth = 64;

// ---- the file as a whole ------------------------------------------------------------------

bool StartsWith(const std::string& s, const char* p) { return s.compare(0, std::strlen(p), p) == 0; }

std::string Trim(const std::string& s, size_t b, size_t e) {
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

// Checks what the DXF library takes on trust: every group code an integer, every group complete,
// counts no larger than what follows them, and the end marker present (a truncated file has
// none). Sets the report's error and line on failure.
bool CheckText(const std::string& text, Report& r) {
  if (StartsWith(text, "AutoCAD Binary DXF")) {
    r.error = "a binary DXF file; only ASCII DXF is read (save it as ASCII DXF)";
    return false;
  }
  if (StartsWith(text, "AutoCAD DXB")) {
    r.error = "a DXB file, not DXF";
    return false;
  }
  if (text.size() >= 6 && StartsWith(text, "AC10") && std::isdigit(static_cast<unsigned char>(text[4]))) {
    r.error = "a DWG file, not DXF (save it as DXF)";
    return false;
  }
  if (text.find('\0') != std::string::npos) {
    r.error = "not a text file (a NUL byte)";
    r.line = static_cast<long>(std::count(text.begin(), text.begin() + text.find('\0'), '\n')) + 1;
    return false;
  }
  // Line starts.
  std::vector<size_t> starts;
  starts.push_back(0);
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' && i + 1 < text.size()) starts.push_back(i + 1);
  const size_t lines = starts.size();
  auto lineText = [&](size_t i) {
    size_t e = text.find('\n', starts[i]);
    if (e == std::string::npos) e = text.size();
    return Trim(text, starts[i], e);
  };
  bool inEntities = false, sawEof = false, expectName = false;
  for (size_t i = 0; i + 1 <= lines; i += 2) {
    const std::string code = lineText(i);
    char* end = nullptr;
    errno = 0;
    const long c = std::strtol(code.c_str(), &end, 10);
    if (code.empty() || *end != '\0' || errno || c < 0 || c > 1071) {
      if (code.empty() && i + 1 >= lines) break;  // a final empty line
      r.error = "a group code was expected, found '" + code.substr(0, 40) + "'";
      r.line = static_cast<long>(i) + 1;
      return false;
    }
    if (i + 1 >= lines) {
      r.error = "the file ends inside a group";
      r.line = static_cast<long>(i) + 1;
      return false;
    }
    const std::string value = lineText(i + 1);
    if (c == 0) {
      expectName = value == "SECTION";
      if (value == "EOF") {
        sawEof = true;
        break;
      }
      if (value == "ENDSEC") inEntities = false;
    } else if (c == 2 && expectName) {
      inEntities = value == "ENTITIES" || value == "BLOCKS";
      expectName = false;
    } else if ((c >= 10 && c <= 59) || (c >= 110 && c <= 149) || (c >= 210 && c <= 239) ||
               (c >= 460 && c <= 469) || (c >= 1010 && c <= 1059)) {
      // The DXF library reads "nan" or "inf" as a number of its own choosing.
      const double v = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0' || !std::isfinite(v)) {
        r.error = "a finite number was expected, found '" + value.substr(0, 40) + "'";
        r.line = static_cast<long>(i) + 2;
        return false;
      }
    } else if (inEntities && c >= 90 && c <= 99) {
      // Counts of what follows (vertices, loops, edges, knots): at most one per remaining group.
      const long long v = std::strtoll(value.c_str(), &end, 10);
      const long long remaining = static_cast<long long>(lines - i) / 2;
      if (v < 0 || v > remaining) {
        r.error = "a count of " + value.substr(0, 20) + " that the file cannot hold";
        r.line = static_cast<long>(i) + 2;
        return false;
      }
    }
  }
  if (!sawEof) {
    r.error = "the file ends early (no EOF marker)";
    r.line = static_cast<long>(lines);
    return false;
  }
  return true;
}

// ---- what the DXF library hands over ---------------------------------------------------------

enum class K { Line, Arc, Circle, Ellipse, Point, Poly, Text, MText, Solid, Insert };

struct Ent {
  K kind;
  std::string kindName;  // the DXF entity name, for the report
  std::string layer;
  int color = 256;       // ACI, 256 by layer, 0 by block
  int color24 = -1;      // 0xRRGGBB or -1
  double v[12] = {};
  int i1 = 0, i2 = 0, i3 = 0;
  std::string text;        // raw bytes (TEXT / MTEXT), block name (INSERT)
  std::vector<double> pts;  // x, y, bulge per vertex (polylines)
  bool closed = false;
};

struct LayerRec {
  std::string name;
  bool hidden = false;
  int color = 7;
  int color24 = -1;
};

struct Block {
  std::string name;
  double bx = 0, by = 0;
  std::vector<Ent> ents;
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool Finite(const Ent& e) {
  for (double x : e.v)
    if (!std::isfinite(x) || std::fabs(x) > kFar) return false;
  for (double x : e.pts)
    if (!std::isfinite(x) || std::fabs(x) > kFar) return false;
  return true;
}

class Collector : public DL_CreationAdapter {
 public:
  int insunits = 0;
  std::string codepage, acadver;
  std::vector<LayerRec> layers;
  std::vector<Ent> model;
  std::vector<Block> blocks;
  std::map<std::string, long> skipped;

  void setVariableInt(const std::string& key, int value, int) override {
    if (key == "$INSUNITS") insunits = value;
  }
  void setVariableString(const std::string& key, const std::string& value, int) override {
    if (key == "$DWGCODEPAGE") codepage = Upper(value);
    if (key == "$ACADVER") acadver = Upper(value);
  }
  void addLayer(const DL_LayerData& d) override {
    Flush();
    LayerRec l;
    l.name = d.name;
    const DL_Attributes a = getAttributes();
    l.hidden = d.off || (d.flags & 1) || a.getColor() < 0;
    l.color = std::abs(a.getColor());
    l.color24 = a.getColor24();
    layers.push_back(l);
  }
  void addBlock(const DL_BlockData& d) override {
    Flush();
    const std::string n = Upper(d.name);
    // The layout blocks hold paper space, which is not converted.
    if (StartsWith(n, "*MODEL_SPACE") || StartsWith(n, "*PAPER_SPACE")) {
      inLayout_ = true;
      return;
    }
    blocks.push_back({d.name, d.bpx, d.bpy, {}});
    inBlock_ = true;
  }
  void endBlock() override {
    Flush();
    inBlock_ = inLayout_ = false;
  }
  void endSection() override { Flush(); }

  void addLine(const DL_LineData& d) override { Put(K::Line, "LINE", {d.x1, d.y1, d.x2, d.y2}); }
  void addArc(const DL_ArcData& d) override { Put(K::Arc, "ARC", {d.cx, d.cy, d.radius, d.angle1, d.angle2}); }
  void addCircle(const DL_CircleData& d) override { Put(K::Circle, "CIRCLE", {d.cx, d.cy, d.radius}); }
  void addEllipse(const DL_EllipseData& d) override {
    Put(K::Ellipse, "ELLIPSE", {d.cx, d.cy, d.mx, d.my, d.ratio, d.angle1, d.angle2});
  }
  void addPoint(const DL_PointData& d) override { Put(K::Point, "POINT", {d.x, d.y}); }
  void addSolid(const DL_SolidData& d) override { Quad("SOLID", d, true); }
  void addTrace(const DL_TraceData& d) override { Quad("TRACE", d, true); }
  void add3dFace(const DL_3dFaceData& d) override {
    const double* z = d.z;
    if (z[0] != z[1] || z[0] != z[2] || z[0] != z[3]) {
      Flush();
      ++skipped["3DFACE (not flat)"];
      return;
    }
    Quad("3DFACE", d, false);
  }
  void addText(const DL_TextData& d) override {
    // Without its second point (left-aligned texts may leave it out) the text lies at its first.
    const bool second = std::isfinite(d.apx) && std::isfinite(d.apy) && std::fabs(d.apx) < 1e300;
    Ent& e = Put(K::Text, "TEXT", {d.ipx, d.ipy, second ? d.apx : d.ipx, second ? d.apy : d.ipy, d.height, d.xScaleFactor, d.angle});
    e.i1 = d.hJustification;
    e.i2 = d.vJustification;
    e.text = d.text;
  }
  void addMTextChunk(const std::string& text) override { chunks_ += text; }
  void addMText(const DL_MTextData& d) override {
    Ent& e = Put(K::MText, "MTEXT", {d.ipx, d.ipy, d.height, d.angle, d.lineSpacingFactor});
    e.i1 = d.attachmentPoint;
    e.text = chunks_ + d.text;
    chunks_.clear();
  }
  void addPolyline(const DL_PolylineData& d) override {
    Flush();
    if (d.flags & (8 | 16 | 64)) {
      ++skipped[d.flags & 8 ? "POLYLINE (3D)" : "POLYLINE (mesh)"];
      return;
    }
    Ent& e = Put(K::Poly, "POLYLINE", {});
    e.closed = d.flags & 1;
    poly_ = true;
  }
  void addVertex(const DL_VertexData& d) override {
    if (!poly_) return;
    Ent* e = Last();
    if (e) e->pts.insert(e->pts.end(), {d.x, d.y, d.bulge});
  }
  void endSequence() override { Flush(); }
  void addInsert(const DL_InsertData& d) override {
    Ent& e = Put(K::Insert, "INSERT", {d.ipx, d.ipy, d.sx, d.sy, d.angle, d.colSp, d.rowSp});
    e.text = d.name;
    e.i1 = std::max(1, d.cols);
    e.i2 = std::max(1, d.rows);
  }

  void addXLine(const DL_XLineData&) override { Skip("XLINE"); }
  void addRay(const DL_RayData&) override { Skip("RAY"); }
  void addSpline(const DL_SplineData&) override { Skip("SPLINE"); }
  void addHatch(const DL_HatchData&) override { Skip("HATCH"); }
  void addImage(const DL_ImageData&) override { Skip("IMAGE"); }
  void addLeader(const DL_LeaderData&) override { Skip("LEADER"); }
  void addAttribute(const DL_AttributeData&) override { Skip("ATTRIB"); }
  void addArcAlignedText(const DL_ArcAlignedTextData&) override { Skip("ARCALIGNEDTEXT"); }
  void addDimAlign(const DL_DimensionData&, const DL_DimAlignedData&) override { Skip("DIMENSION"); }
  void addDimLinear(const DL_DimensionData&, const DL_DimLinearData&) override { Skip("DIMENSION"); }
  void addDimRadial(const DL_DimensionData&, const DL_DimRadialData&) override { Skip("DIMENSION"); }
  void addDimDiametric(const DL_DimensionData&, const DL_DimDiametricData&) override { Skip("DIMENSION"); }
  void addDimAngular(const DL_DimensionData&, const DL_DimAngular2LData&) override { Skip("DIMENSION"); }
  void addDimAngular3P(const DL_DimensionData&, const DL_DimAngular3PData&) override { Skip("DIMENSION"); }
  void addDimOrdinate(const DL_DimensionData&, const DL_DimOrdinateData&) override { Skip("DIMENSION"); }

  void Flush() { poly_ = false; }

 private:
  std::vector<Ent>* Target() {
    if (inLayout_) return nullptr;
    return inBlock_ && !blocks.empty() ? &blocks.back().ents : &model;
  }
  Ent* Last() {
    std::vector<Ent>* t = Target();
    return t && !t->empty() ? &t->back() : nullptr;
  }
  Ent& Put(K kind, const char* name, std::initializer_list<double> v) {
    Flush();
    std::vector<Ent>* t = Target();
    Ent e;
    e.kind = kind;
    e.kindName = name;
    const DL_Attributes a = getAttributes();
    e.layer = a.getLayer();
    e.color = a.getColor();
    e.color24 = a.getColor24();
    std::copy(v.begin(), v.end(), e.v);
    if (!t) {  // paper space: kept aside, not converted
      scratch_ = e;
      return scratch_;
    }
    t->push_back(std::move(e));
    return t->back();
  }
  void Quad(const char* name, const DL_SolidData& d, bool bowtie) {
    // SOLID and TRACE list their corners 1, 2, 4, 3 around the outline; 3DFACE in order.
    if (bowtie) Put(K::Solid, name, {d.x[0], d.y[0], d.x[1], d.y[1], d.x[3], d.y[3], d.x[2], d.y[2]});
    else Put(K::Solid, name, {d.x[0], d.y[0], d.x[1], d.y[1], d.x[2], d.y[2], d.x[3], d.y[3]});
  }
  void Skip(const char* name) {
    Flush();
    if (!inLayout_) ++skipped[name];
  }
  bool inBlock_ = false, inLayout_ = false, poly_ = false;
  std::string chunks_;
  Ent scratch_;
};

// ---- text ---------------------------------------------------------------------------------

bool ValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0) return false;
    for (int k = 1; k <= n; ++k)
      if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
    i += static_cast<size_t>(n) + 1;
  }
  return true;
}

class TextDecoder {
 public:
  TextDecoder(const std::string& acadver, const std::string& codepage) {
    // From 2007 on a DXF file is UTF-8; before, it is in its drawing's code page.
    utf8_ = acadver >= "AC1021";
    cp932_ = codepage == "ANSI_932" || codepage == "DOS932";
  }
  std::u16string operator()(const std::string& raw) const {
    std::u16string s;
    if (utf8_) s = jww::Utf8ToStr(raw);
    else if (cp932_) s = jww::AnsiToStr(raw);
    else if (ValidUtf8(raw)) s = jww::Utf8ToStr(raw);
    else for (unsigned char c : raw) s += static_cast<char16_t>(c);  // single-byte Western text
    return Unescape(s);
  }

 private:
  // "\U+XXXX" escapes and the %%d, %%p, %%c, %%% codes.
  static std::u16string Unescape(const std::u16string& s) {
    std::u16string o;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == u'\\' && i + 7 <= s.size() && (s[i + 1] == u'U' || s[i + 1] == u'u') && s[i + 2] == u'+') {
        unsigned v = 0;
        bool ok = true;
        for (size_t k = 3; ok && k < 7; ++k) {
          const char16_t c = s[i + k];
          if (c >= u'0' && c <= u'9') v = v * 16 + (c - u'0');
          else if (c >= u'a' && c <= u'f') v = v * 16 + (c - u'a' + 10);
          else if (c >= u'A' && c <= u'F') v = v * 16 + (c - u'A' + 10);
          else ok = false;
        }
        if (ok) {
          o += static_cast<char16_t>(v);
          i += 6;
          continue;
        }
      }
      if (s[i] == u'%' && i + 2 < s.size() && s[i + 1] == u'%') {
        const char16_t c = s[i + 2];
        const char16_t m = c == u'd' || c == u'D' ? u'\u00B0' : c == u'p' || c == u'P' ? u'\u00B1'
                           : c == u'c' || c == u'C' ? u'\u2300' : c == u'%' ? u'%' : 0;
        if (m) {
          o += m;
          i += 2;
          continue;
        }
        if (c == u'u' || c == u'U' || c == u'o' || c == u'O') {  // underline / overline toggles
          i += 2;
          continue;
        }
      }
      o += s[i];
    }
    return o;
  }
  bool utf8_ = false, cp932_ = false;
};

// MTEXT's inline formatting taken out: the lines of plain text.
std::vector<std::u16string> MTextLines(const std::u16string& s) {
  std::vector<std::u16string> lines(1);
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'{' || c == u'}') continue;
    if (c == u'\n') {
      lines.emplace_back();
      continue;
    }
    if (c != u'\\' || i + 1 >= s.size()) {
      lines.back() += c;
      continue;
    }
    const char16_t n = s[++i];
    switch (n) {
      case u'P': lines.emplace_back(); break;
      case u'~': lines.back() += u' '; break;
      case u'\\': case u'{': case u'}': lines.back() += n; break;
      case u'L': case u'l': case u'O': case u'o': case u'K': case u'k': case u'N': break;
      case u'S': {  // stacked fraction "a^b;" shown as a/b
        size_t e = s.find(u';', i);
        if (e == std::u16string::npos) e = s.size();
        std::u16string f = s.substr(i + 1, e - i - 1);
        for (char16_t& ch : f)
          if (ch == u'^' || ch == u'#') ch = u'/';
        lines.back() += f;
        i = e;
        break;
      }
      default: {  // \A1; \C1; \H2.5x; \fArial|b0; \Q15; \T1; \W0.8; ...: up to the semicolon
        const size_t e = s.find(u';', i);
        i = e == std::u16string::npos ? s.size() : e;
        break;
      }
    }
  }
  while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  return lines;
}

// ---- geometry -----------------------------------------------------------------------------

struct Box {
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  bool Empty() const { return x0 > x1; }
  void Add(double x, double y) {
    x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
  }
  void Add(const Box& b) {
    if (!b.Empty()) Add(b.x0, b.y0), Add(b.x1, b.y1);
  }
};

// An insertion's map from block to owner coordinates (without the block's base point).
struct Place {
  double a, b, c, d, e, f;
  void Apply(double x, double y, double& ox, double& oy) const {
    ox = a * x + b * y + e;
    oy = c * x + d * y + f;
  }
};

Place InsertPlace(const Ent& e, double ox, double oy) {
  const double r = e.v[4] * kPi / 180, cs = std::cos(r), sn = std::sin(r);
  return {cs * e.v[2], -sn * e.v[3], sn * e.v[2], cs * e.v[3], e.v[0] + ox, e.v[1] + oy};
}

// The offsets of a MINSERT's copies in owner coordinates (one (0, 0) for a plain INSERT).
std::vector<std::pair<double, double>> ArrayOffsets(const Ent& e) {
  std::vector<std::pair<double, double>> o;
  const double r = e.v[4] * kPi / 180, cs = std::cos(r), sn = std::sin(r);
  for (int row = 0; row < e.i2; ++row)
    for (int col = 0; col < e.i1; ++col) {
      const double x = col * e.v[5], y = row * e.v[6];
      o.push_back({cs * x - sn * y, sn * x + cs * y});
    }
  return o;
}

// Bulge arc of a polyline segment: centre, radius, start angle and sweep (degrees, signed).
void BulgeArc(double x1, double y1, double x2, double y2, double bulge, double& cx, double& cy, double& r,
              double& start, double& sweep) {
  const double theta = 4 * std::atan(bulge);
  const double dx = x2 - x1, dy = y2 - y1, chord = std::hypot(dx, dy);
  r = chord / (2 * std::sin(std::fabs(theta) / 2));
  // The centre lies on the chord's normal, on the side the bulge's sign and size give.
  const double mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
  const double nx = -dy / chord, ny = dx / chord;
  const double d = std::sqrt(std::max(0.0, r * r - chord * chord / 4));
  const double side = (bulge > 0) == (std::fabs(theta) < kPi) ? 1 : -1;
  cx = mx + nx * d * side;
  cy = my + ny * d * side;
  start = std::atan2(y1 - cy, x1 - cx) * 180 / kPi;
  sweep = theta * 180 / kPi;
}

// ---- the build ----------------------------------------------------------------------------

struct UnitInfo {
  const char* name;
  double mm;
};

UnitInfo Units(int code) {
  switch (code) {
    case 1: return {"inch", 25.4};
    case 2: return {"feet", 304.8};
    case 4: return {"mm", 1};
    case 5: return {"cm", 10};
    case 6: return {"m", 1000};
    default: return {code == 0 ? "mm" : "mm (unknown unit code, taken as mm)", 1};
  }
}

struct Paper {
  const char* name;
  int code;
  double w, h;
};
constexpr Paper kPapers[] = {{"A4", 4, 297, 210}, {"A3", 3, 420, 297}, {"A2", 2, 594, 420},
                             {"A1", 1, 841, 594}, {"A0", 0, 1189, 841}};

bool Fits(const Box& b, double scale, const Paper& p) {
  return b.Empty() || ((b.x1 - b.x0) / scale <= p.w && (b.y1 - b.y0) / scale <= p.h);
}

// 1, 2, 5, 10, 20, 50, ...: the smallest at which `b` fits `p`.
double FittingScale(const Box& b, const Paper& p) {
  for (double decade = 1; decade < 1e16; decade *= 10)
    for (double m : {1.0, 2.0, 5.0})
      if (Fits(b, m * decade, p)) return m * decade;
  return 1e16;
}

class Builder {
 public:
  Builder(Collector& c, jww::TJwwData& d, Report& r) : c_(c), d_(d), r_(r), text_(c.acadver, c.codepage) {}

  bool Run(const Options& o) {
    const UnitInfo u = Units(c_.insunits);
    r_.units = u.name;
    r_.unitMm = unit_ = u.mm;
    for (size_t i = 0; i < c_.blocks.size(); ++i) blockIndex_.emplace(Upper(c_.blocks[i].name), i);
    Layers();
    const Box ext = Extents();
    if (!ext.Empty()) r_.minX = ext.x0, r_.minY = ext.y0, r_.maxX = ext.x1, r_.maxY = ext.y1;
    if (!ChooseScale(ext, o)) return false;
    cx_ = ext.Empty() ? 0 : (ext.x0 + ext.x1) / 2;
    cy_ = ext.Empty() ? 0 : (ext.y0 + ext.y1) / 2;

    d_.AddEntPre();
    Blocks();
    for (const Ent& e : c_.model) Add(e, -1, cx_, cy_);
    d_.AddEntPost();
    for (const auto& [k, n] : c_.skipped) r_.skipped[k] += n;
    return true;
  }

 private:
  // ---- layers
  void Layers() {
    d_.DataDefaultSet();
    // Layer "0" is in every DXF file; it takes a layer only when something lies on it, so a
    // drawing's own 256 layers come back where they were.
    bool zeroUsed = false;
    auto onZero = [](const Ent& e) { return e.layer == "0"; };
    zeroUsed = std::any_of(c_.model.begin(), c_.model.end(), onZero);
    for (const Block& b : c_.blocks) zeroUsed = zeroUsed || std::any_of(b.ents.begin(), b.ents.end(), onZero);
    for (const LayerRec& l : c_.layers)
      if (zeroUsed || l.name != "0") LayerOf(l.name, &l);
    // Entities on layers the table does not list get layers too, in the order they come.
    for (const Ent& e : c_.model) LayerOf(e.layer, nullptr);
    for (const Block& b : c_.blocks)
      for (const Ent& e : b.ents) LayerOf(e.layer, nullptr);
    r_.layers = static_cast<int>(layerOf_.size());
  }

  int LayerOf(const std::string& name, const LayerRec* rec) {
    const std::string key = Upper(name);
    if (auto it = layerOf_.find(key); it != layerOf_.end()) return it->second;
    const int n = static_cast<int>(layerOf_.size());
    const int at = std::min(n, 255);
    if (n >= 255 && n > 255) ++r_.layersMerged;
    layerOf_.emplace(key, at);
    if (rec) layerRec_.emplace(key, *rec);
    if (n <= 255) {
      jww::TEntJwwLayer& l = d_.EntLay[static_cast<size_t>(at)];
      l.aStrLayName = text_(name).substr(0, 31);  // the length the drawing program shows
      if (rec && rec->hidden) l.aanLay = 0;
      used_.insert(at / 16);
    }
    return at;
  }

  // ---- colours
  static uint32_t PenRgb(Integer v) {  // red in the low byte -> 0xRRGGBB
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
  }
  Integer Color(const Ent& e) {
    int aci = e.color;
    int rgb24 = e.color24;
    if (aci == 256 || aci == 0) {  // by layer (by block counts as by layer)
      auto it = layerRec_.find(Upper(e.layer));
      aci = it == layerRec_.end() ? 7 : it->second.color;
      if (rgb24 < 0 && it != layerRec_.end()) rgb24 = it->second.color24;
    }
    uint32_t rgb;
    if (rgb24 >= 0) rgb = static_cast<uint32_t>(rgb24) & 0xFFFFFF;
    else if (aci == 7 || aci < 1 || aci > 255) rgb = 0;  // black on paper
    else rgb = scene::AciRgb(aci);
    if (auto it = colorOf_.find(rgb); it != colorOf_.end()) return it->second;
    Integer co = 0;
    for (Integer p = 1; p <= 9 && !co; ++p)
      if (PenRgb(d_.EntCol[static_cast<size_t>(p)].aPrtPenColor) == rgb) co = p;
    if (!co && nextEx_ <= 256) {
      // An extended colour of its own (screen and print alike).
      auto& x = d_.EntColS[static_cast<size_t>(nextEx_)];
      const Integer v = static_cast<Integer>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
      x.aPenColor = x.aPrtPenColor = v;
      co = 100 + nextEx_++;
      ++r_.extendedColors;
    }
    if (!co) co = 2;
    colorOf_.emplace(rgb, co);
    return co;
  }

  // ---- extents (real mm)
  Box EntBox(const Ent& e, int depth) {
    Box b;
    if (!Finite(e)) return b;
    const double* v = e.v;
    switch (e.kind) {
      case K::Line: b.Add(v[0], v[1]), b.Add(v[2], v[3]); break;
      case K::Arc: case K::Circle: b.Add(v[0] - v[2], v[1] - v[2]), b.Add(v[0] + v[2], v[1] + v[2]); break;
      case K::Ellipse: {
        const double r = std::hypot(v[2], v[3]);
        b.Add(v[0] - r, v[1] - r), b.Add(v[0] + r, v[1] + r);
        break;
      }
      case K::Point: b.Add(v[0], v[1]); break;
      case K::Poly:
        for (size_t i = 0; i + 2 < e.pts.size(); i += 3) b.Add(e.pts[i], e.pts[i + 1]);
        break;
      case K::Text: b.Add(v[0], v[1]); break;
      case K::MText: b.Add(v[0], v[1]); break;
      case K::Solid:
        for (int i = 0; i < 4; ++i) b.Add(v[2 * i], v[2 * i + 1]);
        break;
      case K::Insert: {
        const Box inner = BlockBox(e.text, depth + 1);
        if (inner.Empty()) break;
        const auto it = blockIndex_.find(Upper(e.text));
        const Block& blk = c_.blocks[it->second];
        for (auto [ox, oy] : ArrayOffsets(e)) {
          const Place p = InsertPlace(e, ox, oy);
          for (double x : {inner.x0, inner.x1})
            for (double y : {inner.y0, inner.y1}) {
              double px, py;
              p.Apply(x - blk.bx, y - blk.by, px, py);
              b.Add(px, py);
            }
          if (e.i1 * e.i2 > kMaxArray) break;
        }
        break;
      }
    }
    return b;
  }

  Box BlockBox(const std::string& name, int depth) {
    const auto it = blockIndex_.find(Upper(name));
    if (it == blockIndex_.end() || depth > kMaxDepth) return {};
    const size_t i = it->second;
    if (auto m = boxMemo_.find(i); m != boxMemo_.end()) return m->second;
    if (!inProgress_.insert(i).second) return {};  // a block that contains itself
    Box b;
    for (const Ent& e : c_.blocks[i].ents) b.Add(EntBox(e, depth));
    inProgress_.erase(i);
    boxMemo_[i] = b;
    return b;
  }

  Box Extents() {
    Box b;
    for (const Ent& e : c_.model) b.Add(EntBox(e, 0));
    if (!b.Empty()) {
      b.x0 *= unit_, b.x1 *= unit_, b.y0 *= unit_, b.y1 *= unit_;
    }
    return b;
  }

  bool ChooseScale(const Box& ext, const Options& o) {
    const Paper* paper = nullptr;
    if (!o.paper.empty()) {
      for (const Paper& p : kPapers)
        if (Upper(o.paper) == p.name) paper = &p;
      if (!paper) {
        r_.error = "unknown paper '" + o.paper + "' (A4, A3, A2, A1 or A0)";
        return false;
      }
    }
    double scale;
    if (o.scale) {
      scale = *o.scale;
      if (!(scale > 0) || !std::isfinite(scale)) {
        r_.error = "the scale must be positive";
        return false;
      }
      if (!paper) {
        for (const Paper& p : kPapers)
          if (!paper && Fits(ext, scale, p)) paper = &p;
        if (!paper) paper = &kPapers[4];
      }
    } else {
      if (!paper) {
        for (const Paper& p : kPapers)
          if (!paper && Fits(ext, 100, p)) paper = &p;
        if (!paper) paper = &kPapers[3];
      }
      scale = FittingScale(ext, *paper);
    }
    scale_ = scale;
    r_.scale = scale;
    r_.paper = paper->name;
    d_.Enthd.nZumen = paper->code;
    for (int g = 0; g < 16; ++g)
      if (used_.count(g) || g == 0) d_.EntLgrp[static_cast<size_t>(g)].adScale = scale;
    return true;
  }

  // ---- entities (paper mm)
  // Blocks inserted from model space, directly or through others, become definitions, each
  // before the first one that inserts it is filled.
  void Blocks() {
    std::vector<size_t> order;
    std::set<size_t> seen;
    std::function<void(const std::vector<Ent>&, int)> walk = [&](const std::vector<Ent>& ents, int depth) {
      for (const Ent& e : ents) {
        if (e.kind != K::Insert) continue;
        const auto it = blockIndex_.find(Upper(e.text));
        if (it == blockIndex_.end() || depth > kMaxDepth || !seen.insert(it->second).second) continue;
        order.push_back(it->second);
        walk(c_.blocks[it->second].ents, depth + 1);
      }
    };
    walk(c_.model, 0);
    for (size_t i : order) {
      const Block& b = c_.blocks[i];
      if (!d_.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, text_(b.name))) continue;
      defOf_[i] = d_.EntBlockDefN - 1;
    }
    for (size_t i : order) {
      const auto it = defOf_.find(i);
      if (it == defOf_.end()) continue;
      const Block& b = c_.blocks[i];
      for (const Ent& e : b.ents) Add(e, it->second, b.bx * unit_, b.by * unit_);
      d_.AddBlkDefPost(it->second);
    }
  }

  void Count(const Ent& e, bool ok, const char* why = "refused by the drawing") {
    if (ok) ++r_.converted[e.kindName];
    else ++r_.skipped[e.kindName + " (" + why + ")"];
  }

  // One DXF entity into definition `bdn` (-1: the drawing), its origin at (ox, oy) real mm.
  void Add(const Ent& e, Integer bdn, double ox, double oy) {
    if (!Finite(e)) {
      ++r_.skipped[e.kindName + " (non-finite or far-off numbers)"];
      return;
    }
    const int layer = LayerOf(e.layer, nullptr);
    const Integer lg = layer / 16, ly = layer % 16;
    const Integer co = Color(e);
    const double k = unit_ / scale_;  // drawing units -> paper mm (lengths)
    auto X = [&](double x) { return (x * unit_ - ox) / scale_; };
    auto Y = [&](double y) { return (y * unit_ - oy) / scale_; };
    const bool in = bdn >= 0;
    const double* v = e.v;
    auto line = [&](double x1, double y1, double x2, double y2) {
      return in ? d_.AddBlkLine(bdn, 0, lg, ly, co, 1, 0, 0, x1, y1, x2, y2)
                : d_.AddEntLine(0, lg, ly, co, 1, 0, 0, x1, y1, x2, y2);
    };
    auto arc = [&](double x, double y, double r, double flat, double start, double sweep, double tilt, bool full) {
      const Integer fl = full ? 8 : 0;
      return in ? d_.AddBlkArc(bdn, 0, lg, ly, co, 1, 0, fl, x, y, r, flat, start, sweep, tilt)
                : d_.AddEntArc(0, lg, ly, co, 1, 0, fl, x, y, r, flat, start, sweep, tilt);
    };
    switch (e.kind) {
      case K::Line: Count(e, line(X(v[0]), Y(v[1]), X(v[2]), Y(v[3]))); break;
      case K::Circle: Count(e, arc(X(v[0]), Y(v[1]), v[2] * k, 1, 0, 360, 0, true)); break;
      case K::Arc: {
        double sweep = std::fmod(v[4] - v[3], 360.0);
        if (sweep <= 0) sweep += 360;
        Count(e, arc(X(v[0]), Y(v[1]), v[2] * k, 1, v[3], sweep, 0, false));
        break;
      }
      case K::Ellipse: {
        const double major = std::hypot(v[2], v[3]);
        double sweep = v[6] - v[5];
        while (sweep <= 0) sweep += 2 * kPi;
        const bool full = std::fabs(sweep - 2 * kPi) < 1e-9;
        if (!(major > 0) || !(v[4] > 0)) {
          Count(e, false, "degenerate");
          break;
        }
        Count(e, arc(X(v[0]), Y(v[1]), major * k, v[4], full ? 0 : v[5] * 180 / kPi, full ? 360 : sweep * 180 / kPi,
                     std::atan2(v[3], v[2]) * 180 / kPi, full));
        break;
      }
      case K::Point:
        Count(e, in ? d_.AddBlkTen(bdn, 0, lg, ly, co, 1, 0, 0, X(v[0]), Y(v[1]), 0, 1)
                    : d_.AddEntTen(0, lg, ly, co, 1, 0, 0, X(v[0]), Y(v[1]), 0, 1));
        break;
      case K::Poly: {
        const size_t n = e.pts.size() / 3;
        if (n < 2) {
          Count(e, false, "fewer than two vertices");
          break;
        }
        bool ok = true;
        const size_t segs = e.closed ? n : n - 1;
        for (size_t i = 0; i < segs; ++i) {
          const size_t j = (i + 1) % n;
          const double x1 = e.pts[3 * i], y1 = e.pts[3 * i + 1], x2 = e.pts[3 * j], y2 = e.pts[3 * j + 1];
          const double bulge = e.pts[3 * i + 2];
          if (x1 == x2 && y1 == y2) continue;
          if (std::fabs(bulge) < 1e-12) {
            ok = line(X(x1), Y(y1), X(x2), Y(y2)) && ok;
            ++r_.converted["POLYLINE segment -> line"];
          } else {
            double cx, cy, r, start, sweep;
            BulgeArc(x1, y1, x2, y2, bulge, cx, cy, r, start, sweep);
            if (sweep < 0) start += sweep, sweep = -sweep;
            ok = arc(X(cx), Y(cy), r * k, 1, start, sweep, 0, false) && ok;
            ++r_.converted["POLYLINE segment -> arc"];
          }
        }
        Count(e, ok);
        break;
      }
      case K::Text: {
        const double h = v[4] * k;
        if (!(h > 0)) {
          Count(e, false, "no height");
          break;
        }
        const double wf = v[5] > 0 ? v[5] : 1;
        // Alignment: the first point for left/baseline, the second point otherwise; the drawing
        // counts base points 1..9 from bottom-left, by column then row.
        const int hj = e.i1, vj = e.i2;
        const bool first = (hj == 0 && vj == 0) || hj == 3 || hj == 5;
        const int col = hj == 1 || hj == 4 ? 1 : hj == 2 ? 2 : 0;
        const int row = hj == 4 ? 1 : vj == 2 ? 1 : vj == 3 ? 2 : 0;
        const Integer tp = first ? 1 : 1 + col + 3 * row;
        const double px = first ? v[0] : v[2], py = first ? v[1] : v[3];
        const std::u16string s = text_(e.text);
        Count(e, Text(bdn, lg, ly, co, tp, X(px), Y(py), h * wf, h, v[6] * 180 / kPi, s));
        break;
      }
      case K::MText: {
        const double h = v[2] * k;
        if (!(h > 0)) {
          Count(e, false, "no height");
          break;
        }
        const std::vector<std::u16string> lines = MTextLines(text_(e.text));
        const double pitch = h * 5.0 / 3.0 * (v[4] > 0 ? v[4] : 1);
        const double total = h + pitch * static_cast<double>(lines.size() - 1);
        const int ap = e.i1 >= 1 && e.i1 <= 9 ? e.i1 : 1;
        const int col = (ap - 1) % 3, row = (ap - 1) / 3;  // row 0 top .. 2 bottom
        const double top = row == 0 ? 0 : row == 1 ? total / 2 : total;  // top line's top above the point
        const double a = v[3], cs = std::cos(a), sn = std::sin(a);
        bool ok = true;
        for (size_t i = 0; i < lines.size(); ++i) {
          const double dy = top - static_cast<double>(i) * pitch;  // this line's top, along the normal
          const double lx = X(v[0]) - sn * dy, ly2 = Y(v[1]) + cs * dy;
          ok = Text(bdn, lg, ly, co, 7 + col, lx, ly2, h, h, a * 180 / kPi, lines[i]) && ok;
          if (lines.size() > 1) ++r_.converted["MTEXT line -> text"];
        }
        Count(e, ok);
        break;
      }
      case K::Solid: {
        const Integer fl = 0;
        const bool ok = in ? d_.AddBlkSolid(bdn, 0, lg, ly, co, 1, 0, fl, 0, X(v[0]), Y(v[1]), X(v[2]), Y(v[3]),
                                            X(v[4]), Y(v[5]), X(v[6]), Y(v[7]))
                           : d_.AddEntSolid(0, lg, ly, co, 1, 0, fl, 0, X(v[0]), Y(v[1]), X(v[2]), Y(v[3]),
                                            X(v[4]), Y(v[5]), X(v[6]), Y(v[7]));
        Count(e, ok);
        break;
      }
      case K::Insert: {
        const auto it = blockIndex_.find(Upper(e.text));
        const auto def = it == blockIndex_.end() ? defOf_.end() : defOf_.find(it->second);
        if (def == defOf_.end()) {
          Count(e, false, it == blockIndex_.end() ? "no such block" : "nested too deep");
          break;
        }
        if (static_cast<long>(e.i1) * e.i2 > kMaxArray) {
          Count(e, false, "array of more than 10000");
          break;
        }
        bool ok = true;
        for (auto [dx, dy] : ArrayOffsets(e)) {
          const double px = X(v[0] + dx), py = Y(v[1] + dy);
          ok = (in ? d_.AddBlkBlock(bdn, 0, lg, ly, co, 1, 0, 0, def->second, px, py, v[2], v[3], v[4])
                   : d_.AddEntBlock(0, lg, ly, co, 1, 0, 0, def->second, px, py, v[2], v[3], v[4])) &&
               ok;
        }
        Count(e, ok, "a block inserting itself");
        break;
      }
    }
  }

  bool Text(Integer bdn, Integer lg, Integer ly, Integer co, Integer tp, double x, double y, double w, double h,
            double angleDeg, const std::u16string& s) {
    static const std::u16string kFont = u"ＭＳ ゴシック";
    return bdn >= 0 ? d_.AddBlkMoji(bdn, 0, lg, ly, co, tp, 0, 0, 0, x, y, w, h, 0, angleDeg, kFont, s)
                    : d_.AddEntMoji(0, lg, ly, co, tp, 0, 0, 0, x, y, w, h, 0, angleDeg, kFont, s);
  }

  Collector& c_;
  jww::TJwwData& d_;
  Report& r_;
  TextDecoder text_;
  double unit_ = 1, scale_ = 1, cx_ = 0, cy_ = 0;
  std::unordered_map<std::string, size_t> blockIndex_;
  std::unordered_map<std::string, int> layerOf_;
  std::unordered_map<std::string, LayerRec> layerRec_;
  std::map<uint32_t, Integer> colorOf_;
  std::map<size_t, Box> boxMemo_;
  std::set<size_t> inProgress_;
  std::map<size_t, Integer> defOf_;
  std::set<int> used_;
  Integer nextEx_ = 17;  // the extended colours before this one carry the drawing program's own
};

}  // namespace

bool LooksLikeDxf(const std::string& path) {
  // Only a plain file is taken as DXF: a pipe or device would block or be consumed, and the
  // drawing reader says what is wrong with anything else.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  if (path.size() >= 4) {
    std::string ext = Upper(path.substr(path.size() - 4));
    if (ext == ".DXF") return true;
  }
  std::ifstream f(path, std::ios::binary);
  char buf[32] = {};
  f.read(buf, sizeof buf);
  const std::string head(buf, static_cast<size_t>(f.gcount()));
  if (StartsWith(head, "AutoCAD Binary DXF") || StartsWith(head, "AutoCAD DXB")) return true;
  // "  0\nSECTION" in any spacing
  size_t i = 0;
  while (i < head.size() && (head[i] == ' ' || head[i] == '\t')) ++i;
  if (i >= head.size() || head[i] != '0') return false;
  ++i;
  while (i < head.size() && (head[i] == '\r' || head[i] == '\n' || head[i] == ' ')) ++i;
  return head.compare(i, 7, "SECTION") == 0;
}

bool ReadDxf(const std::string& path, const Options& options, jww::TJwwData& out, Report& report) {
  report = Report{};
  std::ifstream f(path, std::ios::binary);
  if (!f) {
    report.error = std::string("cannot open the file: ") + std::strerror(errno);
    return false;
  }
  std::ostringstream all;
  all << f.rdbuf();
  std::string text = all.str();
  if (text.empty()) {
    report.error = "an empty file";
    return false;
  }
  if (!CheckText(text, report)) return false;
  try {
    Collector c;
    {
      std::istringstream in(text);
      text.clear();
      text.shrink_to_fit();
      DL_Dxf dxf;
      if (!dxf.in(in, &c)) {
        report.error = "the DXF library could not read the file";
        return false;
      }
      c.Flush();
    }
    out.DataInit();
    Builder b(c, out, report);
    return b.Run(options);
  } catch (const std::bad_alloc&) {
    report.error = "the drawing is too large for the memory available";
  } catch (const std::exception& e) {
    report.error = std::string("the DXF library failed: ") + e.what();
  }
  return false;
}

}  // namespace dxf
