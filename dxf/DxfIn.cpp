#include "dxf/DxfIn.h"

#include <dxflib/dl_creationadapter.h>
#include <dxflib/dl_dxf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <tuple>
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
// Curves become lines no farther than this many paper millimetres from them.
constexpr double kTolerance = 0.01;
// One curve or hatch boundary gives at most this many points.
constexpr size_t kMaxCurvePoints = 1000000;
// No drawing needs splines of a higher degree.
constexpr int kMaxDegree = 32;
// Filling a hatch looks at no more edge crossings than this.
constexpr size_t kMaxFillWork = 50000000;
// Blocks that take their look from the insertion get at most this many definitions in all; past
// it each such block gets one more definition that all later insertions share.
constexpr size_t kMaxVariants = 10000;

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
// HATCH boundaries and a DIMENSION's block name are not handed over by the DXF library (it
// misreads polyline boundaries), so their groups are kept from the whole-file pass.
struct RawEnt {
  std::string kind;
  std::vector<std::pair<int, std::string>> tags;
};

bool CheckText(const std::string& text, Report& r, std::vector<RawEnt>& raw) {
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
  bool inEntities = false, sawEof = false, expectName = false, capture = false;
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
      capture = inEntities && (value == "HATCH" || value == "DIMENSION");
      if (capture) raw.push_back({value, {}});
    } else if (capture) {
      raw.back().tags.emplace_back(static_cast<int>(c), value);
    }
    if (c == 0) {
      if (value == "EOF") {
        sawEof = true;
        break;
      }
      if (value == "ENDSEC") inEntities = false;
      expectName = value == "SECTION";
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

enum class K { Line, Arc, Circle, Ellipse, Point, Poly, Text, MText, Solid, Insert, Hatch, Spline };

// A B-spline or NURBS by its control points (weights 1 when not rational) and knots, or a curve
// through fit points when it has no control points.
struct Spline {
  int degree = 3;
  bool closed = false;
  std::vector<double> knots, cx, cy, w, fx, fy;
};

// One edge of a HATCH boundary: 1 line (x1 y1 x2 y2), 2 circular arc (cx cy r a0 a1 ccw, degrees),
// 3 elliptic arc (cx cy mx my ratio a0 a1 ccw), 4 spline, 5 polyline segment (x1 y1 x2 y2 bulge).
struct Edge {
  int type = 1;
  double v[8] = {};
  Spline spl;
};
using Loop = std::vector<Edge>;

struct Ent {
  K kind;
  std::string kindName;  // the DXF entity name, for the report
  std::string layer;
  int color = 256;       // ACI, 256 by layer, 0 by block
  int color24 = -1;      // 0xRRGGBB or -1
  int weight = -1;       // hundredths of a millimetre; -1 by layer, -2 by block, -3 the default
  std::string ltype = "BYLAYER";
  double ltscale = 1;
  std::string style;     // the text style (TEXT / MTEXT)
  std::vector<Loop> loops;  // HATCH boundaries
  bool solidFill = false;
  Spline spl;               // SPLINE
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
  int weight = -3;
  std::string ltype = "CONTINUOUS";
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
  auto fine = [](const Spline& s) {
    for (const auto* v : {&s.knots, &s.cx, &s.cy, &s.w, &s.fx, &s.fy})
      for (double x : *v)
        if (!std::isfinite(x) || std::fabs(x) > kFar) return false;
    return true;
  };
  if (!fine(e.spl)) return false;
  for (const Loop& l : e.loops)
    for (const Edge& g : l) {
      for (double x : g.v)
        if (!std::isfinite(x) || std::fabs(x) > kFar) return false;
      if (!fine(g.spl)) return false;
    }
  return true;
}

// ---- HATCH and DIMENSION from their groups -----------------------------------------------

class Tags {
 public:
  explicit Tags(const RawEnt& r) : t_(r.tags) {}
  bool Next(int code) const { return i_ < t_.size() && t_[i_].first == code; }
  bool AtEnd() const { return i_ >= t_.size(); }
  // The next group's value when its code is `code` (consumed), else `def` (nothing consumed).
  double Num(int code, double def = 0) {
    if (!Next(code)) return def;
    return std::strtod(t_[i_++].second.c_str(), nullptr);
  }
  long Int(int code, long def = 0) {
    if (!Next(code)) return def;
    return std::strtol(t_[i_++].second.c_str(), nullptr, 10);
  }
  void SkipTo(int code) {
    while (i_ < t_.size() && t_[i_].first != code) ++i_;
  }
  void Skip() { ++i_; }
  std::string Str(int code) const {
    for (const auto& [c, v] : t_)
      if (c == code) return v;
    return {};
  }

 private:
  const std::vector<std::pair<int, std::string>>& t_;
  size_t i_ = 0;
};

// Counts in the file were checked against its length; a boundary still gets no more than this.
constexpr long kMaxEdges = 1000000;

void ReadSplineEdge(Tags& t, Spline& s) {
  s.degree = static_cast<int>(t.Int(94, 3));
  t.Int(73), t.Int(74);
  const long nk = std::min(t.Int(95), kMaxEdges), nc = std::min(t.Int(96), kMaxEdges);
  for (long k = 0; k < nk && t.Next(40); ++k) s.knots.push_back(t.Num(40));
  for (long k = 0; k < nc && t.Next(10); ++k) {
    s.cx.push_back(t.Num(10));
    s.cy.push_back(t.Num(20));
    s.w.push_back(t.Num(42, 1));
  }
  if (t.Next(97)) {
    const long nf = std::min(t.Int(97), kMaxEdges);
    for (long k = 0; k < nf && t.Next(11); ++k) {
      s.fx.push_back(t.Num(11));
      s.fy.push_back(t.Num(21));
    }
  }
  if (t.Next(12)) t.Num(12), t.Num(22);
  if (t.Next(13)) t.Num(13), t.Num(23);
}

// The boundary paths of a HATCH; false when they cannot be read.
bool ReadHatch(const RawEnt& r, Ent& e) {
  Tags t(r);
  t.SkipTo(70);
  e.solidFill = t.Int(70) == 1;
  t.SkipTo(91);
  const long paths = std::min(t.Int(91), kMaxEdges);
  for (long p = 0; p < paths; ++p) {
    if (!t.Next(92)) return false;
    const long type = t.Int(92);
    Loop loop;
    if (type & 2) {  // a polyline
      const bool bulges = t.Int(72) != 0;
      const bool closed = t.Int(73) != 0;
      const long n = std::min(t.Int(93), kMaxEdges);
      std::vector<double> v;
      for (long k = 0; k < n && t.Next(10); ++k) {
        const double x = t.Num(10), y = t.Num(20);
        const double b = bulges ? t.Num(42) : 0;
        v.insert(v.end(), {x, y, b});
      }
      const size_t m = v.size() / 3;
      (void)closed;  // a boundary is closed whatever the flag says
      for (size_t k = 0; m >= 2 && k < m; ++k) {
        const size_t j = (k + 1) % m;
        Edge g;
        g.type = v[3 * k + 2] != 0 ? 5 : 1;
        g.v[0] = v[3 * k], g.v[1] = v[3 * k + 1], g.v[2] = v[3 * j], g.v[3] = v[3 * j + 1], g.v[4] = v[3 * k + 2];
        loop.push_back(g);
      }
    } else {
      const long n = std::min(t.Int(93), kMaxEdges);
      for (long k = 0; k < n; ++k) {
        if (!t.Next(72)) return false;
        Edge g;
        g.type = static_cast<int>(t.Int(72));
        double* v = g.v;
        switch (g.type) {
          case 1: v[0] = t.Num(10), v[1] = t.Num(20), v[2] = t.Num(11), v[3] = t.Num(21); break;
          case 2:
            v[0] = t.Num(10), v[1] = t.Num(20), v[2] = t.Num(40), v[3] = t.Num(50), v[4] = t.Num(51);
            v[5] = static_cast<double>(t.Int(73, 1));
            break;
          case 3:
            v[0] = t.Num(10), v[1] = t.Num(20), v[2] = t.Num(11), v[3] = t.Num(21), v[4] = t.Num(40);
            v[5] = t.Num(50), v[6] = t.Num(51), v[7] = static_cast<double>(t.Int(73, 1));
            break;
          case 4: ReadSplineEdge(t, g.spl); break;
          default: return false;
        }
        loop.push_back(std::move(g));
      }
    }
    if (t.Next(97)) {
      const long refs = t.Int(97);
      for (long k = 0; k < refs && t.Next(330); ++k) t.Skip();
    }
    if (!loop.empty()) e.loops.push_back(std::move(loop));
  }
  return true;
}

class Collector : public DL_CreationAdapter {
 public:
  explicit Collector(std::vector<RawEnt>& raw) : raw_(raw) {}
  int insunits = 0;
  double ltscale = 1;  // $LTSCALE
  std::string codepage, acadver;
  std::vector<LayerRec> layers;
  std::unordered_map<std::string, std::vector<double>> linetypes;  // upper-case name -> pattern
  std::unordered_map<std::string, std::string> styleFonts;          // upper-case style -> font
  std::vector<Ent> model;
  std::vector<Block> blocks;
  std::map<std::string, long> skipped;

  void setVariableInt(const std::string& key, int value, int) override {
    if (key == "$INSUNITS") insunits = value;
  }
  void setVariableDouble(const std::string& key, double value, int) override {
    if (key == "$LTSCALE" && std::isfinite(value) && value > 0) ltscale = value;
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
    l.weight = a.getWidth() == -1 || a.getWidth() == -2 ? -3 : a.getWidth();
    l.ltype = a.getLinetype();
    if (Upper(l.ltype) == "BYLAYER" || Upper(l.ltype) == "BYBLOCK") l.ltype = "CONTINUOUS";
    layers.push_back(l);
  }
  // The library hands over a line type's dashes first, then the line type.
  void addLinetype(const DL_LinetypeData& d) override {
    Flush();
    linetypes[Upper(d.name)] = std::move(dashes_);
    dashes_.clear();
  }
  void addLinetypeDash(double length) override {
    if (dashes_.size() < 64) dashes_.push_back(length);
  }
  void addTextStyle(const DL_StyleData& d) override {
    Flush();
    styleFonts[Upper(d.name)] = d.primaryFontFile.empty() ? d.bigFontFile : d.primaryFontFile;
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
  void endSection() override {
    Flush();
    dashes_.clear();
  }

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
    e.style = d.style;
  }
  void addMTextChunk(const std::string& text) override { chunks_ += text; }
  void addMText(const DL_MTextData& d) override {
    Ent& e = Put(K::MText, "MTEXT", {d.ipx, d.ipy, d.height, d.angle, d.lineSpacingFactor});
    e.i1 = d.attachmentPoint;
    e.style = d.style;
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
  void addSpline(const DL_SplineData& d) override {
    Ent& e = Put(K::Spline, "SPLINE", {});
    e.spl.degree = static_cast<int>(std::min(d.degree, 32u));
    e.spl.closed = d.flags & 1;
    spline_ = true;
  }
  void addKnot(const DL_KnotData& d) override {
    if (Ent* e = spline_ ? Last() : nullptr) e->spl.knots.push_back(d.k);
  }
  void addControlPoint(const DL_ControlPointData& d) override {
    if (Ent* e = spline_ ? Last() : nullptr) {
      e->spl.cx.push_back(d.x), e->spl.cy.push_back(d.y);
      e->spl.w.push_back(d.w > 0 ? d.w : 1);
    }
  }
  void addFitPoint(const DL_FitPointData& d) override {
    if (Ent* e = spline_ ? Last() : nullptr) e->spl.fx.push_back(d.x), e->spl.fy.push_back(d.y);
  }
  void addHatch(const DL_HatchData& d) override {
    const RawEnt* r = NextRaw("HATCH");
    Ent& e = Put(K::Hatch, "HATCH", {});
    if (!r || !ReadHatch(*r, e) || e.loops.empty()) {
      e.loops.clear();
      e.kindName = "HATCH (boundary not readable)";
    }
    (void)d;
  }
  void addImage(const DL_ImageData&) override { Skip("IMAGE"); }
  void addLeader(const DL_LeaderData&) override { Skip("LEADER"); }
  void addAttribute(const DL_AttributeData&) override { Skip("ATTRIB"); }
  void addArcAlignedText(const DL_ArcAlignedTextData&) override { Skip("ARCALIGNEDTEXT"); }
  void addDimAlign(const DL_DimensionData&, const DL_DimAlignedData&) override { Dimension(); }
  void addDimLinear(const DL_DimensionData&, const DL_DimLinearData&) override { Dimension(); }
  void addDimRadial(const DL_DimensionData&, const DL_DimRadialData&) override { Dimension(); }
  void addDimDiametric(const DL_DimensionData&, const DL_DimDiametricData&) override { Dimension(); }
  void addDimAngular(const DL_DimensionData&, const DL_DimAngular2LData&) override { Dimension(); }
  void addDimAngular3P(const DL_DimensionData&, const DL_DimAngular3PData&) override { Dimension(); }
  void addDimOrdinate(const DL_DimensionData&, const DL_DimOrdinateData&) override { Dimension(); }

  void Flush() { poly_ = spline_ = false; }

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
    e.weight = a.getWidth();
    e.ltype = a.getLinetype();
    e.ltscale = std::isfinite(a.getLinetypeScale()) && a.getLinetypeScale() > 0 ? a.getLinetypeScale() : 1;
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
  // The next kept HATCH or DIMENSION of the file, in the order the library reports them.
  const RawEnt* NextRaw(const char* kind) {
    size_t& i = kind[0] == 'H' ? hatchAt_ : dimAt_;
    while (i < raw_.size() && raw_[i].kind != kind) ++i;
    return i < raw_.size() ? &raw_[i++] : nullptr;
  }
  // A dimension is drawn by its anonymous block, placed as it lies.
  void Dimension() {
    const RawEnt* r = NextRaw("DIMENSION");
    const std::string block = r ? Tags(*r).Str(2) : std::string();
    if (block.empty()) {
      Skip("DIMENSION (no block)");
      return;
    }
    Ent& e = Put(K::Insert, "DIMENSION", {0, 0, 1, 1, 0, 0, 0});
    e.text = block;
    e.i1 = e.i2 = 1;
  }
  void Skip(const char* name) {
    Flush();
    if (!inLayout_) ++skipped[name];
  }
  std::vector<RawEnt>& raw_;
  size_t hatchAt_ = 0, dimAt_ = 0;
  bool inBlock_ = false, inLayout_ = false, poly_ = false, spline_ = false;
  std::string chunks_;
  std::vector<double> dashes_;
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

// Points along a circular arc (radians, the sweep signed), no farther than `tol` from it.
void ArcPoints(double cx, double cy, double r, double a0, double sweep, double tol, std::vector<double>& out) {
  const double step = r > tol ? 2 * std::acos(1 - tol / r) : kPi / 2;
  const int n = static_cast<int>(std::clamp(std::ceil(std::fabs(sweep) / step), 1.0, 4096.0));
  for (int i = 0; i <= n; ++i) {
    const double a = a0 + sweep * i / n;
    out.push_back(cx + r * std::cos(a));
    out.push_back(cy + r * std::sin(a));
  }
}

// Points along an elliptic arc by its parameter (radians, the sweep signed).
void EllipsePoints(double cx, double cy, double mx, double my, double ratio, double t0, double sweep, double tol,
                   std::vector<double>& out) {
  const double r = std::hypot(mx, my);
  const double step = r > tol ? 2 * std::acos(1 - tol / r) : kPi / 2;
  const int n = static_cast<int>(std::clamp(std::ceil(std::fabs(sweep) / step), 1.0, 4096.0));
  for (int i = 0; i <= n; ++i) {
    const double t = t0 + sweep * i / n, c = std::cos(t), s = std::sin(t) * ratio;
    out.push_back(cx + c * mx - s * my);
    out.push_back(cy + c * my + s * mx);
  }
}

// A spline's curve evaluated with de Boor's algorithm in homogeneous coordinates.
class Curve {
 public:
  // False when the spline has nothing to draw.
  bool Set(const Spline& s) {
    if (s.cx.size() >= 2 && s.cx.size() == s.cy.size()) {
      n_ = s.cx.size();
      p_ = std::clamp(s.degree, 1, static_cast<int>(std::min<size_t>(n_ - 1, kMaxDegree)));
      for (size_t i = 0; i < n_; ++i) {
        const double w = i < s.w.size() && s.w[i] > 0 ? s.w[i] : 1;
        h_.push_back({s.cx[i] * w, s.cy[i] * w, w});
      }
      knots_ = s.knots;
      bool ok = knots_.size() == n_ + p_ + 1;
      for (size_t i = 1; ok && i < knots_.size(); ++i) ok = knots_[i] >= knots_[i - 1];
      if (ok) ok = knots_[n_] > knots_[p_];
      if (!ok) {  // clamped and uniform
        knots_.clear();
        for (size_t i = 0; i < n_ + p_ + 1; ++i)
          knots_.push_back(static_cast<double>(std::clamp<long>(static_cast<long>(i) - p_, 0, static_cast<long>(n_) - p_)));
      }
      return true;
    }
    // Through fit points: a cubic piece between each two, leaving each point along the chord
    // through its neighbours.
    const size_t m = std::min(s.fx.size(), s.fy.size());
    if (m < 2) return false;
    p_ = 3;
    auto dir = [&](size_t i, double& dx, double& dy) {
      const size_t a = i == 0 ? 0 : i - 1, b = i + 1 < m ? i + 1 : m - 1;
      dx = s.fx[b] - s.fx[a], dy = s.fy[b] - s.fy[a];
      const double l = std::hypot(dx, dy);
      if (l > 0) dx /= l, dy /= l;
    };
    for (size_t i = 0; i + 1 < m; ++i) {
      const double l = std::hypot(s.fx[i + 1] - s.fx[i], s.fy[i + 1] - s.fy[i]) / 3;
      double ax, ay, bx, by;
      dir(i, ax, ay), dir(i + 1, bx, by);
      if (i == 0) h_.push_back({s.fx[i], s.fy[i], 1});
      h_.push_back({s.fx[i] + ax * l, s.fy[i] + ay * l, 1});
      h_.push_back({s.fx[i + 1] - bx * l, s.fy[i + 1] - by * l, 1});
      h_.push_back({s.fx[i + 1], s.fy[i + 1], 1});
    }
    n_ = h_.size();
    knots_ = {0, 0, 0, 0};
    for (size_t i = 1; i + 1 < m; ++i) knots_.insert(knots_.end(), {double(i), double(i), double(i)});
    knots_.insert(knots_.end(), 4, static_cast<double>(m - 1));
    return true;
  }

  void At(double u, double& x, double& y) const {
    // The span holding u: the last k in p .. n - 1 with knot k <= u.
    const auto first = knots_.begin() + p_ + 1, last = knots_.begin() + static_cast<long>(n_);
    const size_t k = static_cast<size_t>(std::upper_bound(first, last, u) - knots_.begin()) - 1;
    std::array<std::array<double, 3>, kMaxDegree + 1> d;
    for (int j = 0; j <= p_; ++j) d[j] = h_[k - p_ + j];
    for (int r = 1; r <= p_; ++r)
      for (int j = p_; j >= r; --j) {
        const size_t i = k - p_ + j;
        const double den = knots_[i + p_ - r + 1] - knots_[i];
        const double a = den > 0 ? (u - knots_[i]) / den : 0;
        for (int c = 0; c < 3; ++c) d[j][c] = (1 - a) * d[j - 1][c] + a * d[j][c];
      }
    const double w = d[p_][2] != 0 ? d[p_][2] : 1;
    x = d[p_][0] / w, y = d[p_][1] / w;
  }

  // Points along the curve, no farther than `tol` from it, at most `cap` of them.
  void Points(double tol, size_t cap, std::vector<double>& out) const {
    double x, y;
    At(knots_[p_], x, y);
    out.push_back(x), out.push_back(y);
    for (size_t k = p_; k < n_; ++k) {
      if (!(knots_[k + 1] > knots_[k])) continue;
      Split(knots_[k], knots_[k + 1], out[out.size() - 2], out.back(), tol, 0, cap, out);
    }
  }

 private:
  void Split(double u0, double u1, double x0, double y0, double tol, int depth, size_t cap,
             std::vector<double>& out) const {
    double x1, y1;
    At(u1, x1, y1);
    double worst = 0;
    for (double f : {0.25, 0.5, 0.75}) {
      double x, y;
      At(u0 + (u1 - u0) * f, x, y);
      worst = std::max(worst, SegDist(x, y, x0, y0, x1, y1));
    }
    if ((worst <= tol && depth >= 1) || depth >= 24 || out.size() / 2 >= cap) {
      out.push_back(x1), out.push_back(y1);
      return;
    }
    const double um = (u0 + u1) / 2;
    Split(u0, um, x0, y0, tol, depth + 1, cap, out);
    Split(um, u1, out[out.size() - 2], out.back(), tol, depth + 1, cap, out);
  }
  static double SegDist(double x, double y, double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0, dy = y1 - y0, l2 = dx * dx + dy * dy;
    const double t = l2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / l2, 0.0, 1.0) : 0;
    return std::hypot(x - x0 - t * dx, y - y0 - t * dy);
  }
  size_t n_ = 0;
  int p_ = 1;
  std::vector<std::array<double, 3>> h_;
  std::vector<double> knots_;
};

// An area bounded by segments (x0 y0 x1 y1 each, in any order and direction) cut into
// trapezoids between the heights of their ends, filled by the even-odd rule, so holes stay
// open; each is its four corners around the outline. The boundaries are taken not to cross.
// False when that would take more than kMaxFillWork.
bool Trapezoids(const std::vector<double>& segs, std::vector<std::array<double, 8>>& out) {
  struct S {
    double x0, y0, x1, y1;
    double X(double y) const { return y1 == y0 ? x0 : x0 + (x1 - x0) * (y - y0) / (y1 - y0); }
  };
  std::vector<S> ss;
  std::vector<double> ys;
  for (size_t i = 0; i + 3 < segs.size(); i += 4) {
    S a{segs[i], segs[i + 1], segs[i + 2], segs[i + 3]};
    if (a.y0 == a.y1) continue;
    if (a.y0 > a.y1) std::swap(a.x0, a.x1), std::swap(a.y0, a.y1);
    ss.push_back(a);
    ys.push_back(a.y0), ys.push_back(a.y1);
  }
  std::sort(ys.begin(), ys.end());
  ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
  std::sort(ss.begin(), ss.end(), [](const S& a, const S& b) { return a.y0 < b.y0; });
  size_t work = 0;
  std::map<std::pair<const S*, const S*>, size_t> open, below;
  std::vector<const S*> active;
  std::vector<std::pair<double, const S*>> row;
  size_t next = 0;
  for (size_t k = 0; k + 1 < ys.size(); ++k) {
    const double ya = ys[k], yb = ys[k + 1], ym = (ya + yb) / 2;
    while (next < ss.size() && ss[next].y0 <= ya) active.push_back(&ss[next++]);
    active.erase(std::remove_if(active.begin(), active.end(), [&](const S* s) { return s->y1 <= ya; }), active.end());
    row.clear();
    if ((work += active.size()) > kMaxFillWork) return false;
    for (const S* s : active) row.push_back({s->X(ym), s});
    std::sort(row.begin(), row.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // A trapezoid between the same two segments as one of the slab below grows upwards.
    open.swap(below);
    open.clear();
    for (size_t i = 0; i + 1 < row.size(); i += 2) {
      const S &l = *row[i].second, &r = *row[i + 1].second;
      const auto it = below.find({&l, &r});
      if (it != below.end()) {
        auto& q = out[it->second];
        q[4] = r.X(yb), q[5] = yb, q[6] = l.X(yb), q[7] = yb;
        open.emplace(it->first, it->second);
      } else {
        open.emplace(std::make_pair(&l, &r), out.size());
        out.push_back({l.X(ya), ya, r.X(ya), ya, r.X(yb), yb, l.X(yb), yb});
      }
    }
  }
  return true;
}

// A hatch arc's start and counter-clockwise sweep (degrees). A clockwise arc keeps its angles
// as their complements to 360, the end first.
void EdgeAngles(double a0, double a1, bool ccw, double& start, double& sweep) {
  if (!ccw) std::tie(a0, a1) = std::make_pair(360 - a1, 360 - a0);
  start = a0;
  sweep = a1 - a0;
  if (std::fabs(sweep) >= 360) sweep = 360;
  else if (sweep <= 0) sweep += 360;
}

// A hatch elliptic arc's start parameter and sweep (radians); its angles are true angles.
void EllipseParams(const Edge& g, double& t0, double& sweep) {
  double a0, s;
  EdgeAngles(g.v[5], g.v[6], g.v[7] != 0, a0, s);
  const double r = g.v[4] > 0 ? g.v[4] : 1;
  auto param = [&](double deg) {
    const double a = deg * kPi / 180;
    return std::atan2(std::sin(a) / r, std::cos(a));
  };
  t0 = param(a0);
  if (s >= 360) {
    sweep = 2 * kPi;
    return;
  }
  sweep = param(a0 + s) - t0;
  while (sweep <= 0) sweep += 2 * kPi;
}

// Points along a hatch boundary edge, no farther than `tol` from it.
void EdgePoints(const Edge& g, double tol, size_t cap, std::vector<double>& out) {
  const double* w = g.v;
  switch (g.type) {
    case 1: out.insert(out.end(), {w[0], w[1], w[2], w[3]}); break;
    case 5: {
      double cx, cy, r, start, sweep;
      BulgeArc(w[0], w[1], w[2], w[3], w[4], cx, cy, r, start, sweep);
      ArcPoints(cx, cy, r, start * kPi / 180, sweep * kPi / 180, tol, out);
      break;
    }
    case 2: {
      double a0, sweep;
      EdgeAngles(w[3], w[4], w[5] != 0, a0, sweep);
      ArcPoints(w[0], w[1], w[2], a0 * kPi / 180, sweep * kPi / 180, tol, out);
      break;
    }
    case 3: {
      double t0, sweep;
      EllipseParams(g, t0, sweep);
      EllipsePoints(w[0], w[1], w[2], w[3], w[4], t0, sweep, tol, out);
      break;
    }
    case 4: {
      Curve c;
      if (c.Set(g.spl)) c.Points(tol, cap, out);
      break;
    }
    default: break;
  }
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
    for (const LayerRec& l : c_.layers) recs_.emplace(Upper(l.name), l);
    Layers();
    // The standard line types' dashes as the drawing draws them.
    standard_ = scene::Build(d_).lineTypes;
    const Box ext = Extents();
    if (!ext.Empty()) r_.minX = ext.x0, r_.minY = ext.y0, r_.maxX = ext.x1, r_.maxY = ext.y1;
    if (!ChooseScale(ext, o)) return false;
    cx_ = ext.Empty() ? 0 : (ext.x0 + ext.x1) / 2;
    cy_ = ext.Empty() ? 0 : (ext.y0 + ext.y1) / 2;

    d_.AddEntPre();
    for (const Ent& e : c_.model) Add(e, -1, cx_, cy_, nullptr, 0);
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
      std::u16string own = text_(name);
      // A layer named "G-L name" (group and layer in hex, as drawings are written to DXF) that
      // lands on that very layer is named "name".
      static const char16_t* kHex = u"0123456789ABCDEF";
      if (own.size() >= 3 && own[0] == kHex[at / 16] && own[1] == u'-' && own[2] == kHex[at % 16] &&
          (own.size() == 3 || own[3] == u' '))
        own.erase(0, own.size() == 3 ? 3 : 4);
      l.aStrLayName = own.substr(0, 31);  // the length the drawing program shows
      if (rec && rec->hidden) l.aanLay = 0;
      used_.insert(at / 16);
    }
    return at;
  }

  // ---- colours, widths and line types
  // What an insertion hands to the entities of its block that take their colour, width or line
  // type from the block, or lie on layer "0" (which stands for the insertion's layer).
  struct Ctx {
    std::string layer;
    uint32_t rgb = 0;
    int weight = -3;
    std::string ltype = "CONTINUOUS";
    double ltscale = 1;
    std::string Key() const {
      char b[96];
      std::snprintf(b, sizeof b, "%06X|%d|%.17g|", rgb, weight, ltscale);
      return b + Upper(ltype);
    }
  };

  // An entity's colour, weight and line type as DXF resolves them.
  Ctx Resolve(const Ent& e, const Ctx* ctx) {
    Ctx a;
    a.layer = ctx && e.layer == "0" ? ctx->layer : e.layer;
    const auto lit = recs_.find(Upper(a.layer));
    const LayerRec* l = lit == recs_.end() ? nullptr : &lit->second;
    auto aciRgb = [](int aci) { return aci == 7 || aci < 1 || aci > 255 ? 0u : scene::AciRgb(aci); };  // 7: black on paper
    if (e.color24 >= 0) a.rgb = static_cast<uint32_t>(e.color24) & 0xFFFFFF;  // a true colour wins
    else if (e.color == 0) a.rgb = ctx ? ctx->rgb : 0;
    else if (e.color == 256) a.rgb = !l ? 0 : l->color24 >= 0 ? static_cast<uint32_t>(l->color24) & 0xFFFFFF : aciRgb(l->color);
    else a.rgb = aciRgb(e.color);
    a.weight = e.weight == -2 ? (ctx ? ctx->weight : -3) : e.weight == -1 ? (l ? l->weight : -3) : e.weight;
    const std::string lt = Upper(e.ltype);
    a.ltscale = e.ltscale;
    if (lt == "BYBLOCK") {
      a.ltype = ctx ? ctx->ltype : "CONTINUOUS";
      if (ctx) a.ltscale *= ctx->ltscale;
    } else if (lt == "BYLAYER" || lt.empty()) {
      a.ltype = l ? l->ltype : "CONTINUOUS";
    } else {
      a.ltype = e.ltype;
    }
    return a;
  }

  static uint32_t PenRgb(Integer v) {  // red in the low byte -> 0xRRGGBB
    return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
  }
  // The pen of a colour and a line weight: a standard pen of that print colour whose width is
  // written as that weight, else an extended colour with both. The auxiliary pen (9) never
  // prints, so it is never chosen.
  Integer Pen(uint32_t rgb, int weight) {
    if (weight < -1) weight = -3;
    const uint64_t key = uint64_t(rgb) << 20 | static_cast<uint32_t>(weight + 8);
    if (auto it = colorOf_.find(key); it != colorOf_.end()) return it->second;
    Integer co = 0;
    for (Integer p = 1; p <= 8 && !co; ++p) {
      const auto& pen = d_.EntCol[static_cast<size_t>(p)];
      if (PenRgb(pen.aPrtPenColor) == rgb && (weight < 0 || scene::LineWeight(pen.anPrtPenWidth * 0.01) == weight))
        co = p;
    }
    if (!co && nextEx_ <= 256) {
      // An extended colour of its own (screen and print alike).
      auto& x = d_.EntColS[static_cast<size_t>(nextEx_)];
      const Integer v = static_cast<Integer>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
      x.aPenColor = x.aPrtPenColor = v;
      if (weight >= 0) x.anPrtPenWidth = std::clamp(weight, 1, 500);
      co = 100 + nextEx_++;
      ++r_.extendedColors;
    }
    if (!co) co = 2;
    colorOf_.emplace(key, co);
    return co;
  }

  // The drawing's line type for a DXF line type at a scale: a standard one with the same dashes
  // on paper, else one of the extended ones, else a new extended one with the DXF's dashes.
  Integer LineStyle(const std::string& name, double ltscale) {
    char sc[32];
    std::snprintf(sc, sizeof sc, "|%.17g", ltscale);
    const std::string key = Upper(name) + sc;
    if (auto it = styleOf_.find(key); it != styleOf_.end()) return it->second;
    const Integer tp = NewLineStyle(name, ltscale);
    styleOf_.emplace(key, tp);
    return tp;
  }

  Integer NewLineStyle(const std::string& name, double ltscale) {
    const auto it = c_.linetypes.find(Upper(name));
    if (it == c_.linetypes.end()) return 1;
    // Dashes (positive), gaps (negative) and dots (0) in drawing units -> alternating dash and
    // gap lengths on paper, starting with a dash.
    const double f = ltscale * c_.ltscale * unit_ / scale_;
    std::vector<std::pair<bool, double>> runs;
    for (double v : it->second) {
      const bool dash = v >= 0;
      const double len = std::fabs(v) * f;
      if (!runs.empty() && runs.back().first == dash) runs.back().second += len;
      else runs.push_back({dash, len});
    }
    if (runs.size() < 2) return 1;  // continuous (or all gap)
    if (!runs.front().first) std::rotate(runs.begin(), runs.begin() + 1, runs.end());
    if (runs.size() % 2) {  // dash ... dash: the last one continues the first
      runs.front().second += runs.back().second;
      runs.pop_back();
    }
    std::vector<double> dashes;
    for (const auto& r : runs) dashes.push_back(r.second);
    auto close = [&](const scene::LineType& lt) {
      const std::vector<double>& t = lt.dashes;
      if (t.size() != dashes.size()) return false;
      for (size_t i = 0; i < t.size(); ++i)
        if (std::fabs(t[i] - dashes[i]) > 0.01 + 0.02 * t[i]) return false;
      return true;
    };
    // The drawing's own names for its standard types come back to them, the auxiliary one too.
    const std::string up = Upper(name);
    if (up.size() == 4 && StartsWith(up, "JW_") && up[3] >= '2' && up[3] <= '9' && close(standard_[up[3] - '0']))
      return up[3] - '0';
    for (Integer n = 2; n <= 8; ++n)
      if (close(standard_[static_cast<size_t>(n)])) return n;
    for (Integer n = 32; n <= 30 + nextLt_ - 1 && static_cast<size_t>(n) < standard_.size(); ++n)
      if (n != 46 && close(standard_[static_cast<size_t>(n)])) return n;
    if (dashes.size() <= 10 && nextLt_ <= 32) {
      auto& t = d_.EntLtpS[static_cast<size_t>(nextLt_)];
      t.astrUDLTypeName = text_(name).substr(0, 31);
      t.anUDLTypeSegment = static_cast<Integer>(dashes.size());
      for (size_t i = 0; i < 10; ++i) t.aadUDLTypePitch[i] = i < dashes.size() ? dashes[i] : 0;
      standard_[static_cast<size_t>(30 + nextLt_)].dashes = dashes;
      ++r_.extendedLinetypes;
      return 30 + nextLt_++;
    }
    // No room: the standard type whose period is nearest.
    double period = 0, best = HUGE_VAL;
    for (double v : dashes) period += v;
    Integer tp = 2;
    for (Integer n = 2; n <= 8; ++n) {
      double p = 0;
      for (double v : standard_[static_cast<size_t>(n)].dashes) p += v;
      if (std::fabs(p - period) < best) best = std::fabs(p - period), tp = n;
    }
    ++r_.linetypesApproximated;
    return tp;
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
      case K::Spline:
        for (size_t i = 0; i < e.spl.cx.size() && i < e.spl.cy.size(); ++i) b.Add(e.spl.cx[i], e.spl.cy[i]);
        for (size_t i = 0; i < e.spl.fx.size() && i < e.spl.fy.size(); ++i) b.Add(e.spl.fx[i], e.spl.fy[i]);
        break;
      case K::Hatch:
        for (const Loop& l : e.loops)
          for (const Edge& g : l) {
            const double* w = g.v;
            if (g.type == 1 || g.type == 5) b.Add(w[0], w[1]), b.Add(w[2], w[3]);
            else if (g.type == 2) b.Add(w[0] - w[2], w[1] - w[2]), b.Add(w[0] + w[2], w[1] + w[2]);
            else if (g.type == 3) {
              const double r = std::hypot(w[2], w[3]);
              b.Add(w[0] - r, w[1] - r), b.Add(w[0] + r, w[1] + r);
            } else {
              for (size_t i = 0; i < g.spl.cx.size() && i < g.spl.cy.size(); ++i) b.Add(g.spl.cx[i], g.spl.cy[i]);
              for (size_t i = 0; i < g.spl.fx.size() && i < g.spl.fy.size(); ++i) b.Add(g.spl.fx[i], g.spl.fy[i]);
            }
          }
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
  // Curves of a whole file are drawn with a bounded number of points: a file of many huge
  // splines gets coarser lines, not hours of work.
  size_t CurveCap() const { return std::clamp<size_t>(curvePointsLeft_, 16, kMaxCurvePoints); }
  void Spend(size_t n) { curvePointsLeft_ -= std::min(n, curvePointsLeft_); }

  // Whether a block's look depends on the insertion: entities taking colour, width or line type
  // from the block, or lying on layer "0", in it or in the blocks it inserts.
  bool TakesFromInsert(size_t i, int depth) {
    if (auto m = takesMemo_.find(i); m != takesMemo_.end()) return m->second;
    if (depth > kMaxDepth) return false;
    takesMemo_[i] = false;  // a block that contains itself adds nothing through itself
    bool r = false;
    for (const Ent& e : c_.blocks[i].ents) {
      r = r || e.color == 0 || e.weight == -2 || Upper(e.ltype) == "BYBLOCK" || e.layer == "0";
      if (!r && e.kind == K::Insert)
        if (auto it = blockIndex_.find(Upper(e.text)); it != blockIndex_.end()) r = TakesFromInsert(it->second, depth + 1);
      if (r) break;
    }
    takesMemo_[i] = r;
    return r;
  }

  // The definition of block `i` as an insertion with `ctx` shows it: one per block, or one per
  // look for blocks that take theirs from the insertion. Made and filled on first use, so a
  // block is defined before the first one that inserts it is complete. -1: none.
  Integer Def(size_t i, const Ctx& ctx, int depth) {
    const bool own = TakesFromInsert(i, 0) && defOf_.size() < kMaxVariants;
    // The insertion's layer counts by its look alone: a block placed alike on many layers of one
    // look is one definition.
    std::string key = std::to_string(i);
    if (own) {
      key += "|" + ctx.Key();
      if (auto it = recs_.find(Upper(ctx.layer)); it != recs_.end()) {
        const LayerRec& l = it->second;
        key += "|" + std::to_string(l.color) + "|" + std::to_string(l.color24) + "|" + std::to_string(l.weight) + "|" +
               Upper(l.ltype);
      }
    }
    if (auto it = defOf_.find(key); it != defOf_.end()) return it->second;
    if (depth > kMaxDepth) return -1;
    const Block& b = c_.blocks[i];
    if (!d_.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, text_(b.name))) {
      defOf_[key] = -1;
      return -1;
    }
    const Integer def = d_.EntBlockDefN - 1;
    defOf_[key] = def;
    for (const Ent& e : b.ents) Add(e, def, b.bx * unit_, b.by * unit_, &ctx, depth + 1);
    d_.AddBlkDefPost(def);
    return def;
  }

  void Count(const Ent& e, bool ok, const char* why = "refused by the drawing") {
    if (ok) ++r_.converted[e.kindName];
    else ++r_.skipped[e.kindName + " (" + why + ")"];
  }

  // One DXF entity into definition `bdn` (-1: the drawing), its origin at (ox, oy) real mm.
  void Add(const Ent& e, Integer bdn, double ox, double oy, const Ctx* ctx, int depth) {
    if (!Finite(e)) {
      ++r_.skipped[e.kindName + " (non-finite or far-off numbers)"];
      return;
    }
    const int layer = LayerOf(e.layer, nullptr);
    const Integer lg = layer / 16, ly = layer % 16;
    const Ctx look = Resolve(e, ctx);
    const Integer co = Pen(look.rgb, look.weight);
    const bool lined = e.kind == K::Line || e.kind == K::Arc || e.kind == K::Circle || e.kind == K::Ellipse ||
                       e.kind == K::Poly || e.kind == K::Spline || (e.kind == K::Hatch && !e.solidFill);
    const Integer tp = lined ? LineStyle(look.ltype, look.ltscale) : 1;
    const double k = unit_ / scale_;  // drawing units -> paper mm (lengths)
    auto X = [&](double x) { return (x * unit_ - ox) / scale_; };
    auto Y = [&](double y) { return (y * unit_ - oy) / scale_; };
    const bool in = bdn >= 0;
    const double* v = e.v;
    auto line = [&](double x1, double y1, double x2, double y2) {
      return in ? d_.AddBlkLine(bdn, 0, lg, ly, co, tp, 0, 0, x1, y1, x2, y2)
                : d_.AddEntLine(0, lg, ly, co, tp, 0, 0, x1, y1, x2, y2);
    };
    auto arc = [&](double x, double y, double r, double flat, double start, double sweep, double tilt, bool full) {
      const Integer fl = full ? 8 : 0;
      return in ? d_.AddBlkArc(bdn, 0, lg, ly, co, tp, 0, fl, x, y, r, flat, start, sweep, tilt)
                : d_.AddEntArc(0, lg, ly, co, tp, 0, fl, x, y, r, flat, start, sweep, tilt);
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
        font_ = Font(e);
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
        font_ = Font(e);
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
      case K::Spline: {
        Curve c;
        if (!c.Set(e.spl)) {
          Count(e, false, "no points");
          break;
        }
        std::vector<double> p;
        c.Points(kTolerance * scale_ / unit_, CurveCap(), p);
        Spend(p.size() / 2);
        bool ok = true;
        for (size_t i = 0; i + 3 < p.size(); i += 2)
          if (p[i] != p[i + 2] || p[i + 1] != p[i + 3]) ok = line(X(p[i]), Y(p[i + 1]), X(p[i + 2]), Y(p[i + 3])) && ok;
        r_.converted["SPLINE -> lines"] += static_cast<long>(p.size() / 2 - 1);
        Count(e, ok);
        break;
      }
      case K::Hatch: {
        if (e.loops.empty()) {
          Count(e, false, "boundary not readable");
          break;
        }
        const double tol = kTolerance * scale_ / unit_;
        bool ok = true;
        if (e.solidFill) {
          // The boundary as segments, the area as trapezoids between them.
          std::vector<double> segs, p;
          for (const Loop& l : e.loops)
            for (const Edge& g : l) {
              p.clear();
              EdgePoints(g, tol, CurveCap(), p);
              Spend(p.size() / 2);
              for (size_t i = 0; i + 3 < p.size(); i += 2) segs.insert(segs.end(), {p[i], p[i + 1], p[i + 2], p[i + 3]});
            }
          if (segs.size() / 4 > kMaxCurvePoints) {
            Count(e, false, "boundary too long");
            break;
          }
          std::vector<std::array<double, 8>> traps;
          if (!Trapezoids(segs, traps)) {
            Count(e, false, "boundary too complex to fill");
            break;
          }
          for (const auto& q : traps)
            ok = (in ? d_.AddBlkSolid(bdn, 0, lg, ly, co, 1, 0, 0, 0, X(q[0]), Y(q[1]), X(q[2]), Y(q[3]), X(q[4]),
                                      Y(q[5]), X(q[6]), Y(q[7]))
                     : d_.AddEntSolid(0, lg, ly, co, 1, 0, 0, 0, X(q[0]), Y(q[1]), X(q[2]), Y(q[3]), X(q[4]), Y(q[5]),
                                      X(q[6]), Y(q[7]))) &&
                 ok;
          r_.converted["HATCH (solid) -> solids"] += static_cast<long>(traps.size());
        } else {
          // A pattern: its boundary, lines and arcs as they are, splines along the curve.
          for (const Loop& l : e.loops)
            for (const Edge& g : l) {
              const double* w = g.v;
              if (g.type == 1) {
                if (w[0] != w[2] || w[1] != w[3]) ok = line(X(w[0]), Y(w[1]), X(w[2]), Y(w[3])) && ok;
              } else if (g.type == 5) {
                double cx, cy, r, start, sweep;
                BulgeArc(w[0], w[1], w[2], w[3], w[4], cx, cy, r, start, sweep);
                if (sweep < 0) start += sweep, sweep = -sweep;
                ok = arc(X(cx), Y(cy), r * k, 1, start, sweep, 0, false) && ok;
              } else if (g.type == 2) {
                double a0, sweep;
                EdgeAngles(w[3], w[4], w[5] != 0, a0, sweep);
                const bool full = sweep >= 360 - 1e-9;
                ok = arc(X(w[0]), Y(w[1]), w[2] * k, 1, full ? 0 : a0, full ? 360 : sweep, 0, full) && ok;
              } else if (g.type == 3) {
                double t0, sweep;
                EllipseParams(g, t0, sweep);
                const double major = std::hypot(w[2], w[3]);
                const bool full = sweep >= 2 * kPi - 1e-9;
                if (major > 0 && w[4] > 0)
                  ok = arc(X(w[0]), Y(w[1]), major * k, w[4], full ? 0 : t0 * 180 / kPi, full ? 360 : sweep * 180 / kPi,
                           std::atan2(w[3], w[2]) * 180 / kPi, full) &&
                       ok;
              } else {
                std::vector<double> p;
                EdgePoints(g, tol, CurveCap(), p);
                Spend(p.size() / 2);
                for (size_t i = 0; i + 3 < p.size(); i += 2)
                  if (p[i] != p[i + 2] || p[i + 1] != p[i + 3])
                    ok = line(X(p[i]), Y(p[i + 1]), X(p[i + 2]), Y(p[i + 3])) && ok;
              }
            }
        }
        Count(e, ok);
        break;
      }
      case K::Insert: {
        const auto it = blockIndex_.find(Upper(e.text));
        if (it == blockIndex_.end()) {
          Count(e, false, "no such block");
          break;
        }
        if (static_cast<long>(e.i1) * e.i2 > kMaxArray) {
          Count(e, false, "array of more than 10000");
          break;
        }
        const Integer def = Def(it->second, look, depth);
        if (def < 0) {
          Count(e, false, "nested too deep");
          break;
        }
        bool ok = true;
        for (auto [dx, dy] : ArrayOffsets(e)) {
          const double px = X(v[0] + dx), py = Y(v[1] + dy);
          ok = (in ? d_.AddBlkBlock(bdn, 0, lg, ly, co, 1, 0, 0, def, px, py, v[2], v[3], v[4])
                   : d_.AddEntBlock(0, lg, ly, co, 1, 0, 0, def, px, py, v[2], v[3], v[4])) &&
               ok;
        }
        Count(e, ok, "a block inserting itself");
        break;
      }
    }
  }

  bool Text(Integer bdn, Integer lg, Integer ly, Integer co, Integer tp, double x, double y, double w, double h,
            double angleDeg, const std::u16string& s) {
    return bdn >= 0 ? d_.AddBlkMoji(bdn, 0, lg, ly, co, tp, 0, 0, 0, x, y, w, h, 0, angleDeg, font_, s)
                    : d_.AddEntMoji(0, lg, ly, co, tp, 0, 0, 0, x, y, w, h, 0, angleDeg, font_, s);
  }

  // The font a text is drawn in: its style's font where the drawing knows it (a font named in
  // Japanese is taken as it is), else a Japanese default that has every character.
  std::u16string Font(const Ent& e) {
    std::string f;
    // MTEXT may name its font inline ("\fName|b0|i0;"); the first one counts.
    if (e.kind == K::MText)
      if (size_t at = e.text.find("\\f"); at != std::string::npos) {
        const size_t end = e.text.find_first_of("|;", at + 2);
        f = e.text.substr(at + 2, end == std::string::npos ? std::string::npos : end - at - 2);
      }
    if (f.empty()) {
      const auto it = c_.styleFonts.find(Upper(e.style.empty() ? std::string("STANDARD") : e.style));
      if (it != c_.styleFonts.end()) f = it->second;
    }
    return FontName(f);
  }

  std::u16string FontName(const std::string& f) {
    static const std::u16string kDefault = u"ＭＳ ゴシック";
    if (f.empty()) return kDefault;
    for (unsigned char ch : f)
      if (ch >= 0x80) return text_(f).substr(0, 31);
    // The file or family name, without folder, extension and case.
    std::string n = f.substr(f.find_last_of("/\\") == std::string::npos ? 0 : f.find_last_of("/\\") + 1);
    if (const size_t dot = n.rfind('.'); dot != std::string::npos) n.resize(dot);
    n = Upper(n);
    n.erase(std::remove(n.begin(), n.end(), ' '), n.end());
    static const std::pair<const char*, const char16_t*> kKnown[] = {
        {"MSGOTHIC", u"ＭＳ ゴシック"}, {"MSPGOTHIC", u"ＭＳ Ｐゴシック"}, {"MSMINCHO", u"ＭＳ 明朝"},
        {"MSPMINCHO", u"ＭＳ Ｐ明朝"},  {"MEIRYO", u"メイリオ"},        {"YUGOTHIC", u"游ゴシック"},
        {"YUGOTHM", u"游ゴシック"},     {"YUGOTHB", u"游ゴシック"},     {"YUMIN", u"游明朝"},
        {"YUMINCHO", u"游明朝"},       {"ARIAL", u"Arial"},            {"TIMES", u"Times New Roman"},
        {"TIMESNEWROMAN", u"Times New Roman"}, {"CENTURY", u"Century"}};
    for (const auto& [file, name] : kKnown)
      if (n == file) return name;
    return kDefault;
  }

  Collector& c_;
  jww::TJwwData& d_;
  Report& r_;
  TextDecoder text_;
  double unit_ = 1, scale_ = 1, cx_ = 0, cy_ = 0;
  std::unordered_map<std::string, size_t> blockIndex_;
  std::unordered_map<std::string, int> layerOf_;
  std::unordered_map<std::string, LayerRec> layerRec_;
  std::map<uint64_t, Integer> colorOf_;
  std::unordered_map<std::string, Integer> styleOf_;
  std::unordered_map<std::string, LayerRec> recs_;
  std::vector<scene::LineType> standard_;
  Integer nextLt_ = 17;  // the extended line types before this one are the drawing program's own
  std::map<size_t, bool> takesMemo_;
  std::map<size_t, Box> boxMemo_;
  std::set<size_t> inProgress_;
  std::unordered_map<std::string, Integer> defOf_;
  std::set<int> used_;
  Integer nextEx_ = 17;
  size_t curvePointsLeft_ = 20 * kMaxCurvePoints;
  std::u16string font_;  // the extended colours before this one carry the drawing program's own
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
  std::vector<RawEnt> raw;
  if (!CheckText(text, report, raw)) return false;
  try {
    Collector c(raw);
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
