// The scene and its outputs: small drawings built in code with the pixels, sizes and DXF contents
// they must give, hostile drawings that must stay bounded, and every corpus drawing exported to
// PDF, SVG, PNG and DXF and checked by independent tools (ezdxf, pdfinfo, pdftoppm, xmllint,
// rsvg-convert).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "painter/ScenePainter.h"
#include "scene/DxfOut.h"
#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

using namespace jww;
using nlohmann::json;

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- drawings built in code --------------------------------------------------------------------

TEntJwwAttr Att(Word pen = 2, Byte lt = 1, Word group = 0, Word layer = 0) {
  TEntJwwAttr a;
  a.nPenColor = pen, a.nPenStyle = lt, a.nGLayer = group, a.nLayer = layer;
  return a;
}

// The records both builders below add, the drawing's or a definition's.
TEntJwwLine LineOf(double x1, double y1, double x2, double y2, TEntJwwAttr a) {
  TEntJwwLine l;
  l.att = a, l.start_x = x1, l.start_y = y1, l.end_x = x2, l.end_y = y2;
  return l;
}
TEntJwwMoji TextOf(double x, double y, double size, std::u16string s, TEntJwwAttr a) {
  TEntJwwMoji m;
  m.att = a, m.start_x = x, m.start_y = y, m.dSizeX = m.dSizeY = size, m.str = std::move(s);
  m.end_x = x + size * 2, m.end_y = y;
  m.strFontName = u"ＭＳ ゴシック";
  return m;
}
TEntJwwSolid SolidOf(double x0, double y0, double x1, double y1, Cardinal bgr) {
  TEntJwwSolid q;
  q.att = Att(10);
  q.start_x = x0, q.start_y = y0, q.end_x = x1, q.end_y = y0;
  q.DPoint2_x = x1, q.DPoint2_y = y1, q.DPoint3_x = x0, q.DPoint3_y = y1, q.Color = bgr;
  return q;
}

// A default A4 drawing (297 x 210 mm, origin at the paper's centre) grown entity by entity.
struct Doc {
  TJwwData d;
  Doc() {
    d.DataDefaultSet();
    d.Enthd.nZumen = 4;
  }
  template <class T>
  void Add(std::vector<T>& list, Integer& n, Integer kind, const T& e) {
    list.push_back(e);
    d.EntNo.push_back({kind, n++});
    d.Enthd.n1 = static_cast<Integer>(d.EntNo.size());
  }
  void Line(double x1, double y1, double x2, double y2, TEntJwwAttr a = Att()) {
    Add(d.EntLine, d.EntLineN, kEntLine, LineOf(x1, y1, x2, y2, a));
  }
  void Circle(double x, double y, double r, TEntJwwAttr a = Att()) {
    TEntJwwEnko e;
    e.att = a, e.start_x = x, e.start_y = y, e.dHankei = r, e.dHenpeiRitsu = 1, e.bZenEnFlg = 1;
    e.radEnkoKaku = 2 * kPi;
    Add(d.EntEnko, d.EntEnkoN, kEntEnko, e);
  }
  void Text(double x, double y, double size, std::u16string s, TEntJwwAttr a = Att()) {
    Add(d.EntMoji, d.EntMojiN, kEntMoji, TextOf(x, y, size, std::move(s), a));
  }
  void Solid(double x0, double y0, double x1, double y1, Cardinal bgr) {
    Add(d.EntSolid, d.EntSolidN, kEntSolid, SolidOf(x0, y0, x1, y1, bgr));
  }
  void Insert(Cardinal number, double x, double y, double sx, double sy, double rad,
              TEntJwwAttr a = Att()) {
    TEntJwwBlock b;
    b.att = a, b.DPKijunTen_x = x, b.DPKijunTen_y = y, b.dBairitsuX = sx, b.dBairitsuY = sy;
    b.radKaitenKaku = rad, b.nNumber = number;
    Add(d.EntBlock, d.EntBlockN, kEntBlock, b);
  }
  // A definition holding one line from (0, 0) to (10, 0) and, optionally, an insertion.
  TEntJwwBlockDef& Def(Cardinal number, std::u16string name) {
    TEntJwwBlockDef def;
    def.nNumber = number, def.strName = std::move(name);
    TEntJwwLine l;
    l.att = Att(), l.end_x = 10;
    def.mLine.push_back(l), def.mLineN = 1;
    def.mNo.push_back({kEntLine, 0}), def.N = 1;
    d.EntBlockDef.push_back(def);
    d.EntBlockDefN = d.Enthd.n2 = static_cast<Integer>(d.EntBlockDef.size());
    return d.EntBlockDef.back();
  }
  static void DefInsert(TEntJwwBlockDef& def, Cardinal number, double x, double y) {
    TEntJwwBlock b;
    b.att = Att(), b.DPKijunTen_x = x, b.DPKijunTen_y = y, b.dBairitsuX = b.dBairitsuY = 1;
    b.nNumber = number;
    def.mNo.push_back({kEntBlock, def.mBlockN++});
    def.mBlock.push_back(b);
    def.N = static_cast<Integer>(def.mNo.size());
  }
  scene::Scene Scene() {
    d.MakeBlockTree();
    return scene::Build(d);
  }
};

// Pixel of a picture of the paper at `pxPerMm`, at paper position (x, y) mm from the centre.
QRgb At(const QImage& img, double pxPerMm, double x, double y) {
  return img.pixel(static_cast<int>(img.width() / 2.0 + x * pxPerMm),
                   static_cast<int>(img.height() / 2.0 - y * pxPerMm));
}
bool Dark(QRgb c) { return qGray(c) < 100; }
bool White(QRgb c) { return qRed(c) > 240 && qGreen(c) > 240 && qBlue(c) > 240; }

std::string Capture(const std::string& cmd) {
  std::string out;
  if (FILE* f = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
  }
  return out;
}

// ezdxf's verdict on DXF files, one JSON object per file.
std::vector<json> CheckDxf(const std::vector<std::string>& files, bool detail = false) {
  std::string cmd = "/usr/bin/python3 " DRAVIK_TEST_DIR "/dxf_check.py";
  if (detail) cmd += " --detail";
  for (const auto& f : files) cmd += " '" + f + "'";
  std::vector<json> out;
  const std::string text = Capture(cmd + " 2>&1");
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t nl = text.find('\n', pos);
    const std::string line = text.substr(pos, nl - pos);
    pos = nl == std::string::npos ? text.size() : nl + 1;
    if (line.empty()) continue;
    json j = json::parse(line, nullptr, false);
    if (j.is_discarded()) ADD_FAILURE() << "dxf_check: " << line;
    else out.push_back(std::move(j));
  }
  return out;
}

// The scene's placed counts in ezdxf's terms, hidden layers included (the DXF keeps them, switched
// off): curves are ARC, CIRCLE or ELLIPSE alike (a block scaled unevenly turns a circle into an
// ellipse when expanded).
std::map<std::string, size_t> Expected(const scene::Scene& s) {
  scene::Scene all = s;
  for (scene::Layer& l : all.layers) l.hidden = false;
  const scene::Counts c = scene::CountPlaced(all);
  std::map<std::string, size_t> m{{"LINE", c.lines},   {"CURVE", c.curves}, {"SOLID", c.solids},
                                  {"HATCH", c.hatches}, {"POINT", c.points}, {"TEXT", c.texts}};
  for (auto it = m.begin(); it != m.end();) it = it->second ? std::next(it) : m.erase(it);
  return m;
}
std::map<std::string, size_t> Got(const json& j) {
  std::map<std::string, size_t> m;
  for (auto& [k, v] : j["counts"].items())
    m[k == "ARC" || k == "CIRCLE" || k == "ELLIPSE" ? "CURVE" : k] += v.get<size_t>();
  return m;
}

// The page size pdfinfo reads, in points.
std::pair<int, int> PdfPageSize(const std::string& pdf) {
  const std::string info = Capture("pdfinfo '" + pdf + "' 2>&1");
  const size_t at = info.find("Page size:");
  double w = 0, h = 0;
  if (at != std::string::npos) std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &w, &h);
  return {static_cast<int>(std::lround(w)), static_cast<int>(std::lround(h))};
}

bool HaveTools() {
  return std::system("command -v pdfinfo pdftoppm xmllint rsvg-convert >/dev/null 2>&1") == 0 &&
         std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") == 0;
}

// qpdf's structural check of a PDF (cross-reference offsets, stream lengths, object syntax),
// which poppler would repair silently; empty when sound or when qpdf is missing.
std::string QpdfProblems(const std::string& pdf) {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) return {};
  const std::string out = Capture("qpdf --check '" + pdf + "' 2>&1; echo \"exit $?\"");
  return out.find("No syntax or stream encoding errors found") != std::string::npos &&
                 out.find("WARNING") == std::string::npos && out.find("exit 0") != std::string::npos
             ? std::string()
             : out;
}

// One GUI application for the whole program (fonts need it), deleted at the end so that nothing
// it holds is taken for a leak.
class GuiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app_ = new QGuiApplication(argc_, argv_);
  }
  void TearDown() override { delete app_; }

 private:
  int argc_ = 1;
  char name_[12] = "export_test";
  char* argv_[2] = {name_, nullptr};
  QGuiApplication* app_ = nullptr;
};
[[maybe_unused]] ::testing::Environment* const kGui =
    ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

class Export : public ::testing::Test {
 protected:
  jwwtest::TempDir dir;
};

// ---- the scene -----------------------------------------------------------------------------------

TEST_F(Export, BlocksArePlacedThroughTheirInsertions) {
  Doc doc;
  doc.Def(7, u"扉");
  doc.Insert(7, 0, -50, 1, 1, 0);
  doc.Insert(7, 50, -50, 2, 3, kPi / 2);  // the block line ends 2 * 10 above the insertion point
  const scene::Scene s = doc.Scene();
  std::vector<std::pair<double, double>> ends;
  scene::ForEachPlaced(s, [&](const scene::Prim& p, const scene::Placement& at) {
    double x, y;
    at.toPaper.Apply(p.p[2], p.p[3], x, y);
    ends.push_back({x, y});
  });
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_NEAR(ends[0].first, 10, 1e-9);
  EXPECT_NEAR(ends[0].second, -50, 1e-9);
  EXPECT_NEAR(ends[1].first, 50, 1e-9);
  EXPECT_NEAR(ends[1].second, -30, 1e-9);
}

TEST_F(Export, HiddenLayersAndGroupsAndTemporaryPointsAreNotDrawn) {
  Doc doc;
  doc.Line(0, 0, 1, 1, Att(2, 1, 0, 0));
  doc.Line(0, 0, 1, 1, Att(2, 1, 1, 5));  // layer 5 of group 1: hidden below
  doc.Line(0, 0, 1, 1, Att(2, 1, 2, 0));  // group 2: hidden below
  TEntJwwTen t;
  t.att = Att(), t.bKariten = 1;
  doc.Add(doc.d.EntTen, doc.d.EntTenN, kEntTen, t);
  doc.d.EntLay[1 * 16 + 5].aanLay = 0;
  doc.d.EntLgrp[2].anGLay = 0;
  const scene::Counts c = scene::CountPlaced(doc.Scene());
  EXPECT_EQ(c.lines, 1u);
  EXPECT_EQ(c.points, 0u);
}

TEST_F(Export, ColoursWidthsAndLineTypesComeFromTheDrawingsTables) {
  Doc doc;
  doc.d.EntCol[3].aPrtPenColor = 0x563412;  // red in the low byte
  doc.d.EntCol[3].anPrtPenWidth = 35;        // hundredths of a millimetre
  doc.Line(0, 0, 1, 0, Att(3, 2));           // line type 2: 0x99999999 over 4 dots, pitch 10
  doc.Line(0, 0, 1, 0, Att(102, 32));        // extended colour 2 ("red"), line type "dashed"
  doc.Solid(0, 0, 1, 1, 0x0000FF);           // colour 10: the solid's own colour
  const scene::Scene s = doc.Scene();
  ASSERT_EQ(s.prims.size(), 3u);
  EXPECT_EQ(s.prims[0].rgb, 0x123456u);
  EXPECT_FLOAT_EQ(s.prims[0].width, 0.35f);
  EXPECT_EQ(s.lineTypes[s.prims[0].lineType].dashes, (std::vector<double>{0.625, 0.625}));
  EXPECT_EQ(s.prims[1].rgb, 0xFF0000u);
  EXPECT_EQ(s.lineTypes[s.prims[1].lineType].dashes, (std::vector<double>{6, 1.5}));
  EXPECT_EQ(s.prims[2].rgb, 0xFF0000u);
}

// The drawing's print settings decide the look, as its own print shows it; the tool's options
// override them.
TEST_F(Export, PrintSettingsDecideColoursAndWidths) {
  Doc doc;
  doc.d.EntCol[3].aPrtPenColor = 0xFFFFFF;  // prints white when printing in colour
  doc.d.EntCol[3].anPrtPenWidth = 16;
  doc.Line(-50, 0, 50, 0, Att(3));
  doc.Solid(0, 10, 20, 30, 0x0000FF);  // red
  doc.Solid(0, 40, 20, 60, 0xFFFFFF);  // a white masking solid
  using C = scene::Look::Colour;
  struct Case {
    int colorPrint;
    C colour;
    uint32_t line, red, white;
  } cases[] = {
      {0, C::Drawing, 0x000000, 0x4C4C4C, 0xFFFFFF},  // colour printing off: black, solids grey
      {1, C::Drawing, 0xFFFFFF, 0xFF0000, 0xFFFFFF},
      {0, C::Colour, 0xFFFFFF, 0xFF0000, 0xFFFFFF},
      {1, C::Mono, 0x000000, 0x4C4C4C, 0xFFFFFF},
  };
  for (const Case& c : cases) {
    doc.d.Enthd.nColorPrint = c.colorPrint;
    scene::Look look;
    look.colour = c.colour;
    const scene::Scene s = scene::Build(doc.d, look);
    ASSERT_EQ(s.prims.size(), 3u);
    EXPECT_EQ(s.prims[0].rgb, c.line) << c.colorPrint << int(c.colour);
    EXPECT_EQ(s.prims[1].rgb, c.red) << c.colorPrint << int(c.colour);
    EXPECT_EQ(s.prims[2].rgb, c.white) << c.colorPrint << int(c.colour);
  }
  // Widths: 1/100 mm where the drawing says so, else printer dots.
  doc.d.Enthd.bSenHaba100 = true;
  EXPECT_FLOAT_EQ(scene::Build(doc.d).prims[0].width, 0.16f);
  doc.d.Enthd.bSenHaba100 = false;
  EXPECT_FLOAT_EQ(scene::Build(doc.d).prims[0].width, 1.36f);
  scene::Look look;
  look.dotMm = 0.1;
  EXPECT_FLOAT_EQ(scene::Build(doc.d, look).prims[0].width, 1.6f);

  // A picture of the drawing with colour printing off shows the white-printing line black, as
  // as wide as sixteen 300 dpi dots (1.36 mm: 13 or 14 pixels at 10 pixels per mm).
  doc.d.Enthd.nColorPrint = 0;
  const QString png = QString::fromStdString(dir.path("mono.png"));
  ASSERT_TRUE(scene::WritePng(scene::Build(doc.d), png, 254));
  const QImage img(png);
  int dark = 0;
  for (int y = -20; y <= 20; ++y) dark += Dark(At(img, 10, -20, y / 10.0));
  EXPECT_NEAR(dark, 14, 2);
  EXPECT_EQ(qGray(At(img, 10, 10, 20)), 0x4C);
}

// Auxiliary lines and texts (line type 9, colour 9) are construction aids: no picture shows them
// unless asked, the DXF keeps them.
TEST_F(Export, AuxiliaryPrimitivesArePrintedOnlyWhenAsked) {
  Doc doc;
  doc.Line(-50, 0, 50, 0, Att(2, 9));   // the auxiliary line type
  doc.Line(-50, 20, 50, 20, Att(9, 1));  // the auxiliary colour
  doc.Text(-50, 40, 10, u"AUX", Att(9, 1));
  doc.Line(-50, -20, 50, -20);  // an ordinary line
  for (bool aux : {false, true}) {
    scene::Look look;
    look.aux = aux;
    const scene::Scene s = scene::Build(doc.d, look);
    EXPECT_EQ(scene::CountPlaced(s).lines, 3u);
    EXPECT_EQ(scene::CountPlaced(s).texts, 1u);
    const QString png = QString::fromStdString(dir.path("aux.png"));
    ASSERT_TRUE(scene::WritePng(s, png, 254));
    const QImage img(png);
    EXPECT_EQ(!White(At(img, 10, 0, 0)), aux);
    EXPECT_EQ(!White(At(img, 10, 0, 20)), aux);
    int ink = 0;
    for (int x = 0; x < 150; ++x)
      for (int y = 0; y < 100; ++y) ink += !White(At(img, 10, -50 + x / 10.0, 40 + y / 10.0));
    EXPECT_EQ(ink > 300, aux) << ink;
    EXPECT_TRUE(Dark(At(img, 10, 0, -20)));
  }
  EXPECT_NE(scene::DxfBytes(scene::Build(doc.d)).find("AUX"), std::string::npos);
}

TEST_F(Export, CurvedSolidsBecomeClosedFilledRegions) {
  struct Case {
    Byte form;
    double m, sweep;
    size_t ringPoints;  // arc points (73) plus what closes the shape
  } cases[] = {
      {111, 100, 2 * kPi, 73},  // whole ellipse
      {111, 0, kPi / 2, 74},    // sector: closes at the centre
      {101, 0, kPi / 2, 73},    // segment: the chord closes it
      {105, 5, kPi, 146},       // ring part: outer arc, then the inner one backwards
  };
  for (const Case& c : cases) {
    Doc doc;
    TEntJwwSolid o;
    o.att = Att(2, c.form);
    o.end_x = 20, o.end_y = 1, o.DPoint3_x = c.sweep, o.DPoint3_y = c.m;
    doc.Add(doc.d.EntSolid, doc.d.EntSolidN, kEntSolid, o);
    const scene::Scene s = doc.Scene();
    ASSERT_EQ(s.prims.size(), 1u) << int(c.form);
    EXPECT_FALSE(s.prims[0].quad);
    EXPECT_EQ(s.prims[0].ring.size() / 2, c.ringPoints) << int(c.form);
  }
}

TEST_F(Export, HostileDrawingsStayBounded) {
  Doc doc;
  doc.Line(NAN, 0, 1, 1);
  doc.Circle(0, INFINITY, 5);
  doc.Text(0, 0, NAN, u"x");
  doc.d.EntLgrp[0].adScale = 0;
  // A definition inserting itself, and a chain of definitions each inserting the next twice.
  Doc::DefInsert(doc.Def(1, u"self"), 1, 1, 1);
  for (Cardinal n = 10; n < 40; ++n) {
    TEntJwwBlockDef& def = doc.Def(n, u"d");
    Doc::DefInsert(def, n + 1, 0, 0);
    Doc::DefInsert(doc.d.EntBlockDef.back(), n + 1, 1, 0);
  }
  doc.Insert(1, 0, 0, 1, 1, 0);
  doc.Insert(10, 0, 0, 1, 1, 0);
  const scene::Scene s = doc.Scene();
  EXPECT_EQ(s.groupScale[0], 1.0);
  size_t placed = 0;
  EXPECT_FALSE(scene::ForEachPlaced(s, [&](const scene::Prim&, const scene::Placement&) { ++placed; }, 100000));
  // The insertions visited count too: about half the work went to them.
  EXPECT_GT(placed, 40000u);
  EXPECT_LT(placed, 100000u);
  // The DXF holds each definition once, whatever the expansion would come to.
  EXPECT_LT(scene::DxfBytes(s).size(), 200000u);
}

// ---- work bounded by the budget ----------------------------------------------------------------

// Definitions 1..levels: the first holds `first` (or nothing), each later one inserts the one
// before twice; the drawing inserts the last once, so 2^(levels-1) placements of the first.
void Doubling(Doc& doc, int levels, const std::function<void(TEntJwwBlockDef&)>& first) {
  TEntJwwBlockDef& base = doc.Def(1, u"b1");
  base.mLine.clear(), base.mLineN = 0, base.mNo.clear(), base.N = 0;
  if (first) first(base);
  for (int n = 2; n <= levels; ++n) {
    Doc::DefInsert(doc.Def(n, u"b"), n - 1, 0, 0);
    TEntJwwBlockDef& def = doc.d.EntBlockDef.back();
    def.mLine.clear(), def.mLineN = 0, def.mNo.erase(def.mNo.begin()), def.N = 1;
    Doc::DefInsert(def, n - 1, 0, 1);
  }
  doc.Insert(levels, 0, 0, 1, 1, 0);
}

void AddLine(TEntJwwBlockDef& def, double len, Byte lineType = 1) {
  TEntJwwLine l;
  l.att = Att(2, lineType), l.end_x = len;
  def.mLine.push_back(l), def.mNo.push_back({kEntLine, def.mLineN++});
  def.N = static_cast<Integer>(def.mNo.size());
}

void AddCircle(TEntJwwBlockDef& def, double r, Byte lineType) {
  TEntJwwEnko e;
  e.att = Att(2, lineType), e.dHankei = r, e.dHenpeiRitsu = 1, e.bZenEnFlg = 1, e.radEnkoKaku = 2 * kPi;
  def.mEnko.push_back(e), def.mNo.push_back({kEntEnko, def.mEnkoN++});
  def.N = static_cast<Integer>(def.mNo.size());
}

void AddVerticalText(TEntJwwBlockDef& def, size_t chars) {
  TEntJwwMoji m;
  m.att = Att(), m.att.sFlg = 0x0020, m.dSizeX = m.dSizeY = 3, m.str.assign(chars, u'字');
  def.mMoji.push_back(m), def.mNo.push_back({kEntMoji, def.mMojiN++});
  def.N = static_cast<Integer>(def.mNo.size());
}

TEST_F(Export, PictureWorkIsBoundedByTheBudget) {
  struct Case {
    const char* name;
    int levels;
    std::function<void(TEntJwwBlockDef&)> first;
    size_t budget;
    bool complete;
    size_t minWork;  // what the whole picture takes at least (when it is refused)
  };
  const Case cases[] = {
      // 2^63 insertions of nothing: the empty expansion is seen once, never walked.
      {"empty chain of 64", 64, nullptr, scene::kDefaultBudget, true, 0},
      {"line under 64 levels", 64, [](auto& d) { AddLine(d, 10); }, 100000, false, 0},
      // 64 placements of 3,000 characters: 64 primitives, 192,000 characters.
      {"long vertical text", 7, [](auto& d) { AddVerticalText(d, 3000); }, 100000, false, 192000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Doc doc;
    Doubling(doc, c.levels, c.first);
    const scene::Scene s = scene::Build(doc.d);  // the scene needs no block tree
    size_t visited = 0;
    scene::WalkOptions o;
    o.budget = c.budget;
    const scene::WalkResult r = scene::Walk(s, [&](const scene::Prim&, const scene::Placement&) { ++visited; }, o);
    EXPECT_EQ(r.complete, c.complete) << r.work;
    EXPECT_LE(r.work, c.budget);
    EXPECT_LE(visited, r.work);
    if (!c.complete) {
      EXPECT_GT(r.work, c.budget / 2);  // it stopped at the budget, not before
      o.budget = std::max<size_t>(c.minWork, 1);
      EXPECT_FALSE(scene::Measure(s, o).complete) << "the whole picture takes less than " << c.minWork;
    }
  }
  // Curves cost their segments, and dashes cost again: 128 circles of 40 mm, plain and dashed.
  size_t work[2] = {0, 0};
  for (int dashed = 0; dashed < 2; ++dashed) {
    Doc doc;
    Doubling(doc, 8, [&](auto& d) { AddCircle(d, 40, dashed ? 2 : 1); });
    work[dashed] = scene::Measure(scene::Build(doc.d), {}).work;
  }
  EXPECT_GT(work[0], 128u * 100) << "curve segments";
  EXPECT_GT(work[1], work[0] + 128u * 50) << "dashes";
  // The thumbnail's and the preview's pictures draw what fits and stop.
  Doc doc;
  Doubling(doc, 40, [](auto& d) { AddCircle(d, 40, 2); });
  EXPECT_FALSE(scene::RenderFit(scene::Build(doc.d), QSize(256, 181)).isNull());
}

TEST_F(Export, ToolRefusesAPictureOverItsBudgetAndWritesNothing) {
  Doc doc;
  Doubling(doc, 12, [](auto& d) { AddCircle(d, 90, 2); });  // 2,048 dashed circles
  for (auto& def : doc.d.EntBlockDef) def.ref_flag = true;  // written when in use
  const std::string in = dir.path("bomb.jww");
  ASSERT_TRUE(doc.d.FileOut(Utf8ToStr(in), 600));
  for (const char* ext : {"svg", "pdf", "png"}) {
    SCOPED_TRACE(ext);
    const std::string out = dir.path(std::string("bomb.") + ext);
    const auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert " + in + " " + out + " --budget 20000", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "jww: " + out + ": the picture would hold more than 20000 items; nothing written "
                     "(--budget sets the limit)\n");
    EXPECT_FALSE(std::filesystem::exists(out));
  }
  // 2^63 insertions of an empty definition are nothing to draw.
  Doc empty;
  Doubling(empty, 64, nullptr);
  empty.Line(0, 0, 10, 0);
  for (auto& def : empty.d.EntBlockDef) def.ref_flag = true;
  ASSERT_TRUE(empty.d.FileOut(Utf8ToStr(in), 600));
  const auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert " + in + " " + dir.path("e.svg"), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.dir())) files += e.path().filename().string()[0] == '.';
  EXPECT_EQ(files, 0u);  // no temporary file left behind
}

TEST_F(Export, GeometryBeyondWhatOutputsHoldIsLeftOutAndCounted) {
  Doc doc;
  doc.Line(-10, 0, 10, 0);
  doc.Line(0, 0, 1e308, 1e308);
  doc.Circle(0, 0, 1e300);
  doc.Def(5, u"blk");
  doc.Insert(5, 0, 0, 1e300, 1e300, 0);  // a 10 mm line made 1e301 mm long
  doc.d.MakeBlockTree();
  const std::string in = dir.path("huge.jww");
  ASSERT_TRUE(doc.d.FileOut(Utf8ToStr(in), 600));
  // Pictures: three primitives left out, the rest drawn, no non-finite number in the file.
  const std::string svg = dir.path("huge.svg");
  auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert " + in + " " + svg, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "jww: " + svg + ": 3 primitives left out: beyond the coordinates the file can hold\n");
  const std::string text = ReadWholeFile(Utf8ToStr(svg)).value_or("");
  EXPECT_EQ(text.find("nan"), std::string::npos);
  EXPECT_EQ(text.find("inf"), std::string::npos);
  // DXF keeps the block once (its line is fine there); the huge line, circle and insertion go.
  const std::string dxf = dir.path("huge.dxf");
  r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert " + in + " " + dxf, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "jww: " + dxf + ": 3 primitives left out: beyond the coordinates the file can hold\n");
  const json j = CheckDxf({dxf}).at(0);
  EXPECT_TRUE(j.value("errors", json::array()).empty()) << j.dump();
  EXPECT_EQ(j.value("counts", json::object()).dump(), R"({"LINE":1})");  // the short line only
  // jww info tells of them before any export, whole or from a bounded read.
  for (const std::string options : {"", "--budget 100 "}) {
    r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "info " + options + in + " >" + dir.path("info.txt"), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(ReadWholeFile(Utf8ToStr(dir.path("info.txt")))
                  .value_or("")
                  .find("\nleft out  3 primitives beyond the coordinates a picture can hold (exports "
                        "leave them out)\n"),
              std::string::npos)
        << options;
  }
}

TEST_F(Export, BigSheetsSayTheLargestDpiAndPicturesCanFitTheDrawing) {
  Doc doc;
  doc.d.Enthd.nZumen = 11;  // 5A: 4,756 x 3,364 mm
  doc.Line(0, 0, 20, 10);
  const std::string in = dir.path("big.jww");
  ASSERT_TRUE(doc.d.FileOut(Utf8ToStr(in), 600));
  auto jww = [&](const std::string& args) { return jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert " + in + " " + args, dir); };
  // The whole sheet at 150 dpi would be 558 million pixels.
  auto r = jww(dir.path("big.png"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("104 dpi is the most that fits"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.path("big.png")));
  // The drawn content with 5 mm around it: 30 x 20 mm, at 10 pixels per millimetre.
  r = jww(dir.path("fit.png") + " --fit drawing --dpi 254");
  ASSERT_EQ(r.status, 0) << r.err;
  const QImage img(QString::fromStdString(dir.path("fit.png")));
  ASSERT_EQ(img.size(), QSize(300, 200));
  EXPECT_TRUE(Dark(img.pixel(150, 100)));  // the line's middle, (10, 5) on the paper
  EXPECT_TRUE(White(img.pixel(150, 20)));
  // PDF pages take the same view (30 x 20 mm in points).
  r = jww(dir.path("fit.pdf") + " --fit drawing");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string info = Capture("pdfinfo '" + dir.path("fit.pdf") + "' 2>&1");
  double w = 0, h = 0;
  const size_t at = info.find("Page size:");
  ASSERT_NE(at, std::string::npos) << info;
  ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf", &w, &h), 2) << info;
  EXPECT_NEAR(w, 30 / 25.4 * 72, 0.5);  // whole points
  EXPECT_NEAR(h, 20 / 25.4 * 72, 0.5);
  EXPECT_EQ(jww(dir.path("x.png") + " --fit page").status, 2);
}

TEST_F(Export, ProgressShowsOnATerminalOnly) {
  if (std::system("command -v script >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) to give the tool a terminal";
  Doc doc;
  for (int i = 0; i < 100; ++i) doc.Line(-100, i, 100, i);
  const std::string in = dir.path("in.jww");
  ASSERT_TRUE(doc.d.FileOut(Utf8ToStr(in), 600));
  // Standard error is no terminal in the other tests, which see it empty on success.
  auto onTerminal = [&](const std::string& args) {
    return Capture("script -qec '" DRAVIK_JWW_TOOL " convert " + in + " " + args + "' /dev/null 2>&1");
  };
  const std::string shown = onTerminal(dir.path("a.pdf"));
  for (const char* stage : {"jww: reading", "jww: painting", "jww: writing", "%"})
    EXPECT_NE(shown.find(stage), std::string::npos) << stage << " in " << shown;
  EXPECT_EQ(shown.substr(shown.rfind('\r')), "\r\033[K") << "the last line is cleared";
  EXPECT_EQ(onTerminal(dir.path("b.pdf") + " --quiet").find("jww"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir.path("b.pdf")));
}

// ---- pictures --------------------------------------------------------------------------------------

TEST_F(Export, PngHasTheExpectedPixels) {
  Doc doc;
  doc.Line(-50, 0, 50, 0);              // pen 2: black
  doc.Circle(80, 50, 20, Att(6));       // pen 6: blue
  doc.Solid(-100, -80, -80, -60, 0x0000FF);  // own colour red
  doc.Text(-120, 60, 5, u"日本");
  doc.Def(3, u"blk");
  doc.Insert(3, 0, -50, 1, 1, 0);
  doc.Insert(3, 50, -50, 1, 1, kPi / 2);
  const QString png = QString::fromStdString(dir.path("a.png"));
  ASSERT_TRUE(scene::WritePng(doc.Scene(), png, 254));
  QImage img(png);
  ASSERT_EQ(img.size(), QSize(2970, 2100));
  const double k = 10;
  EXPECT_TRUE(Dark(At(img, k, 0, 0)));
  EXPECT_TRUE(White(At(img, k, 0, 2)));
  EXPECT_TRUE(White(At(img, k, 60, 0)));
  const QRgb blue = At(img, k, 100, 50);
  EXPECT_TRUE(qBlue(blue) > 200 && qRed(blue) < 80) << std::hex << blue;
  EXPECT_TRUE(White(At(img, k, 80, 50)));
  EXPECT_EQ(At(img, k, -90, -70), qRgb(255, 0, 0));
  EXPECT_TRUE(Dark(At(img, k, 5, -50)));   // first insertion
  EXPECT_TRUE(Dark(At(img, k, 50, -45)));  // second, turned a quarter
  EXPECT_TRUE(White(At(img, k, 55, -50)));
  int ink = 0;
  for (int x = 0; x < 100; ++x)
    for (int y = 0; y < 50; ++y) ink += Dark(At(img, k, -120 + x / 10.0, 60 + y / 10.0));
  EXPECT_GT(ink, 300);  // the two characters are drawn in their 10 x 5 mm box
}

// Ink bounding box of a picture of the paper at `pxPerMm` pixels per mm, within the paper rectangle
// (x0, y0)-(x1, y1) mm, in paper mm; false when there is no ink.
struct Box {
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
};
Box Ink(const QImage& img, double x0, double y0, double x1, double y1, double pxPerMm = 10) {
  Box b;
  for (double x = x0; x <= x1; x += 1 / pxPerMm)
    for (double y = y0; y <= y1; y += 1 / pxPerMm)
      if (qGray(At(img, pxPerMm, x, y)) < 160)
        b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x), b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
  return b;
}

// The glyphs fill the box the text's start point, length and height define: horizontal texts
// from the start point along the angle, vertical texts from the start point towards the end
// point, characters upright one under the other.
TEST_F(Export, TextsFillTheirBoxes) {
  Doc doc;
  doc.Text(-100, 0, 10, u"国国");  // box -100..-80 x 0..10
  // Vertical: base point 1 at (50, 0), angle -90: the text runs downwards to (50, -30), its
  // characters 10 mm wide to the right of that line.
  ASSERT_TRUE(doc.d.AddEntMoji(1, 0, 0, 2, 1, 0, 4, 0, 50, 0, 10, 10, 0, -90, u"ＭＳ ゴシック", u"国Ｔ国"));
  const TEntJwwMoji& v = doc.d.EntMoji[doc.d.EntMojiN - 1];
  EXPECT_NEAR(v.end_x, 50, 1e-9);
  EXPECT_NEAR(v.end_y, -30, 1e-9);
  const QString png = QString::fromStdString(dir.path("t.png"));
  ASSERT_TRUE(scene::WritePng(doc.Scene(), png, 254));
  const QImage img(png);
  const Box h = Ink(img, -110, -10, -70, 20);
  EXPECT_NEAR(h.x0, -100, 1.2);
  EXPECT_NEAR(h.x1, -80, 1.2);
  EXPECT_NEAR(h.y0, 0, 1.0);  // not a tenth of the height above the box
  EXPECT_NEAR(h.y1, 10, 1.0);
  const Box b = Ink(img, 30, -40, 70, 20);
  EXPECT_NEAR(b.x0, 50, 1.2);
  EXPECT_NEAR(b.x1, 60, 1.2);
  EXPECT_NEAR(b.y1, 0, 1.0);
  EXPECT_NEAR(b.y0, -30, 1.0);
  // The Ｔ stands upright in the middle cell: its bar is at the top.
  int top = 0, bottom = 0;
  for (double x = 50; x <= 60; x += 0.1)
    for (double y = 0; y < 3; y += 0.1) {
      top += qGray(At(img, 10, x, -10 - y)) < 160;
      bottom += qGray(At(img, 10, x, -20 + y)) < 160;
    }
  EXPECT_GT(top, 3 * bottom) << top << " " << bottom;
  if (HaveTools()) {  // the DXF writes it upright too
    const std::string dxf = dir.path("v.dxf");
    ASSERT_TRUE(scene::WriteDxf(doc.Scene(), Utf8ToStr(dxf)));
    const auto j = CheckDxf({dxf}, true);
    ASSERT_EQ(j.size(), 1u);
    ASSERT_EQ(j[0]["entities"].size(), 2u);
    for (const json& e : j[0]["entities"]) EXPECT_NEAR(e.value("rotation", 0.0), 0, 1e-6);
  }
}

// A text whose type carries the background flag is printed over a box of the paper's white: its
// characters' extent grown by the header's dMojiBG on every side, in the text's own frame, so
// what lies under the text (a solid here) is covered and the text itself is not. Other style
// flags give no box; exchange formats leave the box out.
TEST_F(Export, TextsWithABackgroundCoverWhatLiesUnderThem) {
  Doc doc;
  doc.d.Enthd.dMojiBG = 2;
  doc.Solid(-140, -60, 140, 60, 0x000000);
  doc.Text(-100, 0, 10, u"国国");  // characters -100..-80 x 0..10, box -102..-78 x -2..12
  doc.d.EntMoji.back().nMojiShu = kMojiBackground + 3;
  doc.Text(20, 0, 10, u"国国");
  doc.d.EntMoji.back().nMojiShu = 2 * kMojiBackground + 20000;  // other style flags: no box
  // Vertical from (80, 40) down to (80, 10), characters 80..90: box 78..92 x 8..42.
  ASSERT_TRUE(doc.d.AddEntMoji(1, 0, 0, 2, 1, 0, 4, kMojiBackground, 80, 40, 10, 10, 0, -90,
                               u"ＭＳ ゴシック", u"国Ｔ国"));
  const scene::Scene s = doc.Scene();
  ASSERT_EQ(s.prims.size(), 6u);
  EXPECT_TRUE(s.prims[1].mask && s.prims[1].kind == scene::Kind::Fill);
  EXPECT_EQ(s.prims[2].kind, scene::Kind::Text);  // the box comes just before its text
  EXPECT_TRUE(s.prims[4].mask);
  EXPECT_EQ(scene::CountPlaced(s).solids, 1u);

  const QString png = QString::fromStdString(dir.path("bg.png"));
  ASSERT_TRUE(scene::WritePng(s, png, 254));
  const QImage img(png);
  const double k = 10;
  struct Probe {
    double x, y;
    bool white;
  } probes[] = {
      {-101.5, 5, true},  {-78.5, 11.5, true}, {-90, -1.5, true}, {-90, 11.5, true},
      {-102.5, 5, false}, {-90, -2.5, false},  {-77.5, 5, false},  // just outside the box
      {19, 5, false},     {30, -1, false},                          // no box
      {78.5, 25, true},   {91.5, 8.5, true},   {85, 41.5, true},
      {77.5, 25, false},  {92.5, 25, false},   {85, 7.5, false},
  };
  for (const Probe& p : probes)
    EXPECT_EQ(White(At(img, k, p.x, p.y)), p.white) << p.x << ", " << p.y;
  int ink = 0;  // the text stays drawn over its box
  for (double x = -100; x < -80; x += 0.1)
    for (double y = 0; y < 10; y += 0.1) ink += Dark(At(img, k, x, y));
  EXPECT_GT(ink, 1000);

  if (HaveTools()) {
    const std::string dxf = dir.path("bg.dxf");
    ASSERT_TRUE(scene::WriteDxf(s, Utf8ToStr(dxf)));
    const auto j = CheckDxf({dxf});
    ASSERT_EQ(j.size(), 1u);
    EXPECT_EQ(Got(j[0]), Expected(s));
  }
}

// ^u and ^d raise and lower the characters after them (to the next space or code) at half size;
// other ^ sequences are drawn as written, and the stored text never changes.
TEST_F(Export, TextControlCodesRaiseAndLowerCharacters) {
  struct Run {
    std::u16string text;
    double at, lift, size;  // along the text, above its base line, cell height (mm)
  };
  struct Case {
    std::u16string text;
    std::vector<Run> runs;
  } cases[] = {
      {u"mm^u2", {{u"mm", 0, 0, 10}, {u"2", 10, 5, 5}}},
      {u"H^d2O", {{u"H", 0, 0, 10}, {u"2O", 5, 0, 5}}},
      {u"m^u2 当り", {{u"m", 0, 0, 10}, {u"2", 5, 5, 5}, {u" 当り", 7.5, 0, 10}}},
      {u"a^x^", {{u"a^x^", 0, 0, 10}}},
  };
  for (const Case& c : cases) {
    Doc doc;
    doc.Text(0, 0, 10, c.text);
    const scene::Scene s = doc.Scene();
    ASSERT_EQ(s.prims.size(), 1u);
    EXPECT_EQ(s.prims[0].text, c.text);
    const auto runs = scene::LayoutText(s.prims[0], {});
    ASSERT_EQ(runs.size(), c.runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_EQ(runs[i].text, c.runs[i].text);
      EXPECT_NEAR(runs[i].x, c.runs[i].at, 1e-9);
      EXPECT_NEAR(runs[i].y, c.runs[i].lift, 1e-9);
      EXPECT_NEAR(runs[i].cellH, c.runs[i].size, 1e-9);
    }
  }
  // Drawn: the raised 2 is ink in the upper half of the box only.
  Doc doc;
  doc.Text(0, 0, 10, u"mm^u2");
  const QString png = QString::fromStdString(dir.path("c.png"));
  ASSERT_TRUE(scene::WritePng(doc.Scene(), png, 254));
  const Box two = Ink(QImage(png), 10.2, -2, 14, 12);
  EXPECT_GT(two.y0, 4.5);
  EXPECT_LT(two.y1, 10.5);
}

// A line's coordinates are paper millimetres at any scale (a drawing keeps them as they lie on
// the paper); the scale says what it measures in reality, which is what the DXF holds.
TEST_F(Export, LengthsOnPaperAndInReality) {
  if (!HaveTools()) GTEST_SKIP() << "pdfinfo, pdftoppm, xmllint, rsvg-convert or ezdxf missing";
  Doc doc;
  doc.d.EntLgrp[0].adScale = 100;
  doc.Line(-50, 0, 50, 0);
  const scene::Scene s = doc.Scene();
  const std::string pdf = dir.path("l.pdf"), dxf = dir.path("l.dxf");
  ASSERT_TRUE(scene::WritePdf(s, QString::fromStdString(pdf)));
  ASSERT_TRUE(scene::WriteDxf(s, Utf8ToStr(dxf)));
  EXPECT_EQ(PdfPageSize(pdf), std::make_pair(842, 595));  // A4 in points
  ASSERT_EQ(std::system(("pdftoppm -r 254 -png -singlefile " + pdf + " " + dir.path("l")).c_str()), 0);
  QImage img(QString::fromStdString(dir.path("l.png")));
  ASSERT_NEAR(img.width(), 2970, 1);
  int run = 0;
  for (int x = 0; x < img.width(); ++x) run += Dark(img.pixel(x, img.height() / 2));
  EXPECT_NEAR(run, 1000, 4);  // 100 mm at 10 pixels per millimetre
  const auto j = CheckDxf({dxf}, true);
  ASSERT_EQ(j.size(), 1u);
  const auto& e = j[0]["entities"][0];
  EXPECT_NEAR(e["end"][0].get<double>() - e["start"][0].get<double>(), 10000, 1e-6);
  EXPECT_EQ(j[0]["insunits"], 4);
}

TEST_F(Export, SvgIsValidAndKeepsTextsAsText) {
  if (!HaveTools()) GTEST_SKIP() << "xmllint or rsvg-convert missing";
  Doc doc;
  doc.Text(0, 0, 5, u"日本語");
  const std::string svg = dir.path("t.svg");
  ASSERT_TRUE(scene::WriteSvg(doc.Scene(), QString::fromStdString(svg)));
  EXPECT_EQ(std::system(("xmllint --noout " + svg).c_str()), 0);
  EXPECT_EQ(std::system(("rsvg-convert -o " + dir.path("t.png") + " " + svg).c_str()), 0);
  const std::string text = ReadWholeFile(Utf8ToStr(svg)).value_or("");
  EXPECT_NE(text.find("width=\"297mm\" height=\"210mm\""), std::string::npos);
  EXPECT_NE(text.find("日本語"), std::string::npos);
}

// The PDF's text layer gives back the drawing's characters: Japanese faces share one glyph
// between an ideograph and its radical (面 and U+2FAF), and the text must not come back as the
// radical.
TEST_F(Export, PdfTextCanBeSearched) {
  if (std::system("command -v pdftotext >/dev/null 2>&1") != 0) GTEST_SKIP() << "pdftotext missing";
  const std::u16string texts[] = {u"平面図 立面図", u"玄関 面積 一階", u"長さ 高さ 金物 車庫 見付",
                                  u"Room 12.5m2"};
  Doc doc;
  double y = 60;
  for (const auto& t : texts) doc.Text(-100, y -= 20, 5, t);
  // A spaced text: three 5 mm characters 5 mm apart, 25 mm long in PDF as in PNG.
  doc.Text(-100, -60, 5, u"ＡＢＣ");
  doc.d.EntMoji.back().dKankaku = 5;
  const std::string pdf = dir.path("s.pdf");
  ASSERT_TRUE(scene::WritePdf(doc.Scene(), QString::fromStdString(pdf)));
  EXPECT_EQ(std::system(("pdfinfo '" + pdf + "' >/dev/null 2>&1").c_str()), 0);
  const QString got = QString::fromStdString(Capture("pdftotext '" + pdf + "' -"));
  for (const auto& t : texts) EXPECT_TRUE(got.contains(QString::fromStdU16String(t))) << got.toStdString();
  ASSERT_EQ(std::system(("pdftoppm -r 254 -png -singlefile " + pdf + " " + dir.path("s")).c_str()), 0);
  const Box spaced = Ink(QImage(QString::fromStdString(dir.path("s.png"))), -110, -70, 0, -50);
  EXPECT_NEAR(spaced.x0, -100, 1.2);
  EXPECT_NEAR(spaced.x1, -75, 1.2);
}

// Ink per channel (0..1, 1 = full cyan, magenta or yellow) in tiles of `tile` mm over a picture of
// the paper at `pxPerMm`: where things are drawn, how heavily and in what colour.
std::vector<std::array<double, 3>> InkTiles(const QImage& img, double pxPerMm, double tile) {
  const int cols = static_cast<int>(img.width() / (tile * pxPerMm)), rows = static_cast<int>(img.height() / (tile * pxPerMm));
  std::vector<std::array<double, 3>> ink(size_t(cols * rows), {0, 0, 0});
  std::vector<int> count(ink.size());
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const int c = static_cast<int>(x / (tile * pxPerMm)), r = static_cast<int>(y / (tile * pxPerMm));
      if (c >= cols || r >= rows) continue;
      const QRgb p = img.pixel(x, y);
      auto& t = ink[size_t(r * cols + c)];
      t[0] += (255 - qRed(p)) / 255.0, t[1] += (255 - qGreen(p)) / 255.0, t[2] += (255 - qBlue(p)) / 255.0;
      ++count[size_t(r * cols + c)];
    }
  for (size_t i = 0; i < ink.size(); ++i)
    for (double& v : ink[i]) v /= std::max(count[i], 1);
  return ink;
}

// Where poppler's rendering of a PDF and our PNG of the same scene (both at `pxPerMm`) put
// different ink, tile by tile (empty when they agree); `inked` counts the tiles and channels that
// hold ink. Poppler and the toolkit antialias differently: a tile may differ by a quarter of the
// heavier one's ink and 0.02 of its area (a missing, moved or recoloured primitive is far off).
std::string InkDifferences(const QImage& ours, const QImage& poppler, double pxPerMm, size_t& inked) {
  const auto a = InkTiles(ours, pxPerMm, 5), b = InkTiles(poppler, pxPerMm, 5);
  if (a.size() != b.size()) return "different tile counts";
  size_t off = 0;
  std::string first;
  inked = 0;
  for (size_t i = 0; i < a.size(); ++i)
    for (size_t c = 0; c < 3; ++c) {
      inked += a[i][c] > 0.01;
      if (std::fabs(a[i][c] - b[i][c]) < 0.02 + 0.25 * std::max(a[i][c], b[i][c])) continue;
      if (off++ < 5)
        first += "tile " + std::to_string(i) + " channel " + std::to_string(c) + ": " + std::to_string(a[i][c]) +
                 " against " + std::to_string(b[i][c]) + "\n";
    }
  return off ? std::to_string(off) + " tiles differ, first:\n" + first : std::string();
}

// The PDF, rendered by poppler, puts the same ink in the same places as the PNG: lines of
// several pens and line types (some meeting end to start), curves, a solid, a point, texts of
// every layout and a turned, scaled block.
TEST_F(Export, PdfLooksLikeThePng) {
  if (!HaveTools()) GTEST_SKIP() << "pdfinfo, pdftoppm, xmllint, rsvg-convert or ezdxf missing";
  Doc doc;
  doc.d.Enthd.bSenHaba100 = 1;
  for (int pen = 1; pen <= 8; ++pen) doc.d.EntCol[size_t(pen)].anPrtPenWidth = 30 + 10 * pen;  // 0.4 .. 1.1 mm
  for (int pen = 1; pen <= 8; ++pen) doc.Line(-140, 95 - 5 * pen, -60, 95 - 5 * pen, Att(Word(pen)));
  doc.Line(-140, 45, -60, 45, Att(2, 2));  // dashed
  doc.Line(-140, 40, -60, 30, Att(3, 6));  // dash-dotted
  doc.Circle(-100, 0, 20, Att(6));
  TEntJwwEnko e;  // a flattened, tilted arc
  e.att = Att(5), e.start_x = -100, e.start_y = -60, e.dHankei = 30, e.dHenpeiRitsu = 0.4;
  e.radKatamukiKaku = 0.5, e.radKaishiKaku = 0.3, e.radEnkoKaku = 4;
  doc.Add(doc.d.EntEnko, doc.d.EntEnkoN, kEntEnko, e);
  doc.Solid(-40, -100, -10, -70, 0x00C000);
  // Lines that meet end to start: a closed square, and dashed lines whose pattern restarts.
  const double square[] = {100, -95, 130, -95, 130, -65, 100, -65, 100, -95};
  for (int i = 0; i < 4; ++i) doc.Line(square[2 * i], square[2 * i + 1], square[2 * i + 2], square[2 * i + 3], Att(7));
  doc.Line(60, -50, 90, -40, Att(4, 2));
  doc.Line(90, -40, 120, -50, Att(4, 2));
  TEntJwwTen t;
  t.att = Att(2), t.start_x = -25, t.start_y = -50;
  doc.Add(doc.d.EntTen, doc.d.EntTenN, kEntTen, t);
  doc.Text(0, 80, 8, u"日本語テキスト", Att(2));
  doc.Text(0, 60, 6, u"Latin text 123", Att(4));
  doc.Text(0, 40, 6, u"ＡＢＣ");
  doc.d.EntMoji.back().dKankaku = 4;
  doc.Text(0, 20, 6, u"面積 12.5m^u2");
  doc.Text(20, -90, 6, u"斜め文字");
  doc.d.EntMoji.back().degKakudo = 30;
  ASSERT_TRUE(doc.d.AddEntMoji(1, 0, 0, 2, 1, 0, 4, 0, 130, 90, 8, 8, 0, -90, u"ＭＳ ゴシック", u"縦書き"));
  doc.Def(3, u"blk");
  doc.Insert(3, 0, -20, 4, 2, 0.7);
  const scene::Scene s = doc.Scene();
  const std::string pdf = dir.path("look.pdf"), png = dir.path("look.png");
  ASSERT_TRUE(scene::WritePdf(s, QString::fromStdString(pdf)));
  EXPECT_EQ(QpdfProblems(pdf), "");
  ASSERT_TRUE(scene::WritePng(s, QString::fromStdString(png), 150));
  ASSERT_EQ(std::system(("pdftoppm -r 150 -png -singlefile " + pdf + " " + dir.path("look-pdf")).c_str()), 0);
  const QImage ours(QString::fromStdString(png)), poppler(QString::fromStdString(dir.path("look-pdf.png")));
  ASSERT_NEAR(poppler.width(), ours.width(), 1);
  ASSERT_NEAR(poppler.height(), ours.height(), 1);
  size_t inked = 0;
  EXPECT_EQ(InkDifferences(ours, poppler, 150 / 25.4, inked), "");
  EXPECT_GT(inked, 150u);  // the fixture covers much of the page
}

// A page whose content takes several streams (a path may go on in the next): every primitive is
// drawn, the last ones and a text after the split included.
TEST_F(Export, PdfOfManyPrimitivesSpansStreams) {
  if (!HaveTools()) GTEST_SKIP() << "pdfinfo, pdftoppm, xmllint, rsvg-convert or ezdxf missing";
  Doc doc;
  doc.d.Enthd.bSenHaba100 = 1;
  for (int pen = 1; pen <= 8; ++pen) doc.d.EntCol[size_t(pen)].anPrtPenWidth = 30;
  for (int x = -140; x < 140; ++x)
    for (int y = -90; y < 90; ++y) doc.Line(x, y, x + 0.6, y + 0.6, Att(Word(2 + (x + 140) / 40)));
  doc.Text(-60, -102, 6, u"最後の文字");
  const scene::Scene s = doc.Scene();
  const std::string pdf = dir.path("many.pdf"), png = dir.path("many.png");
  ASSERT_TRUE(scene::WritePdf(s, QString::fromStdString(pdf)));
  EXPECT_EQ(QpdfProblems(pdf), "");
  const std::string bytes = ReadWholeFile(Utf8ToStr(pdf)).value_or("");
  size_t streams = 0;
  for (size_t at = bytes.find("/FlateDecode"); at != std::string::npos; at = bytes.find("/FlateDecode", at + 1)) ++streams;
  EXPECT_GE(streams, 2u);
  ASSERT_TRUE(scene::WritePng(s, QString::fromStdString(png), 150));
  ASSERT_EQ(std::system(("pdftoppm -r 150 -png -singlefile " + pdf + " " + dir.path("many-pdf")).c_str()), 0);
  size_t inked = 0;
  EXPECT_EQ(InkDifferences(QImage(QString::fromStdString(png)), QImage(QString::fromStdString(dir.path("many-pdf.png"))),
                           150 / 25.4, inked), "");
  EXPECT_GT(inked, 2000u);
  EXPECT_TRUE(QString::fromStdString(Capture("pdftotext '" + pdf + "' -")).contains(QStringLiteral("最後の文字")));
}

// Several pages, each of its own size, with a text layer that gives back every character: an
// ideograph whose glyph its radical shares, one beyond U+FFFF, and more distinct characters than
// one font of the file holds.
TEST_F(Export, PdfPagesKeepTheirSizesAndText) {
  if (std::system("command -v pdftotext pdfinfo >/dev/null 2>&1") != 0) GTEST_SKIP() << "poppler missing";
  std::u16string many;
  for (char16_t c = 0x4E00; c < 0x4E00 + 300; ++c) many += c;
  Doc a, b;
  a.Text(-140, 80, 3, u"平面図 𠮷野家");
  a.Text(-140, 60, 0.9, many);
  b.d.Enthd.nZumen = 3;  // A3
  b.Text(-100, 0, 5, u"立面図 面積");
  const scene::Scene sa = a.Scene(), sb = b.Scene();
  const std::string pdf = dir.path("p.pdf");
  ASSERT_TRUE(scene::WritePdfPages({&sa, &sb}, QString::fromStdString(pdf)));
  EXPECT_EQ(QpdfProblems(pdf), "");
  const std::string info = Capture("pdfinfo -f 1 -l 2 '" + pdf + "' 2>&1");
  EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    1 size:  841.89 x 595.276 pts"), std::string::npos) << info;
  EXPECT_NE(info.find("Page    2 size:  1190.55 x 841.89 pts"), std::string::npos) << info;
  const QString one = QString::fromStdString(Capture("pdftotext -f 1 -l 1 '" + pdf + "' -"));
  const QString two = QString::fromStdString(Capture("pdftotext -f 2 -l 2 '" + pdf + "' -"));
  EXPECT_TRUE(one.contains(QStringLiteral("平面図 𠮷野家"))) << one.toStdString();
  EXPECT_TRUE(one.contains(QString::fromStdU16String(many))) << one.toStdString();
  EXPECT_TRUE(two.contains(QStringLiteral("立面図 面積"))) << two.toStdString();
  EXPECT_FALSE(two.contains(QChar(0x2FAF))) << "the radical instead of 面";
  EXPECT_FALSE(scene::WritePdfPages({}, QString::fromStdString(dir.path("none.pdf"))));
}

// Entities of a block definition, added the way the drawing holds them.
struct DefBuilder {
  TEntJwwBlockDef& def;
  template <class T>
  void Put(std::vector<T>& list, Integer& n, Integer kind, const T& e) {
    list.push_back(e);
    def.mNo.push_back({kind, n++});
    def.N = static_cast<Integer>(def.mNo.size());
  }
  void Line(double x1, double y1, double x2, double y2, TEntJwwAttr a = Att()) {
    Put(def.mLine, def.mLineN, kEntLine, LineOf(x1, y1, x2, y2, a));
  }
  void Arc(double x, double y, double r, double from, double sweep, TEntJwwAttr a = Att()) {
    TEntJwwEnko e;
    e.att = a, e.start_x = x, e.start_y = y, e.dHankei = r, e.dHenpeiRitsu = 1;
    e.radKaishiKaku = from, e.radEnkoKaku = sweep, e.bZenEnFlg = sweep >= 2 * kPi;
    Put(def.mEnko, def.mEnkoN, kEntEnko, e);
  }
  void Text(double x, double y, double size, std::u16string s, TEntJwwAttr a = Att()) {
    Put(def.mMoji, def.mMojiN, kEntMoji, TextOf(x, y, size, std::move(s), a));
  }
  void Point(double x, double y) {
    TEntJwwTen t;
    t.att = Att(2), t.start_x = x, t.start_y = y;
    Put(def.mTen, def.mTenN, kEntTen, t);
  }
  void Solid(double x0, double y0, double x1, double y1, Cardinal bgr) {
    Put(def.mSolid, def.mSolidN, kEntSolid, SolidOf(x0, y0, x1, y1, bgr));
  }
  void Insert(Cardinal number, double x, double y, double rad) {
    TEntJwwBlock b;
    b.att = Att(), b.DPKijunTen_x = x, b.DPKijunTen_y = y, b.dBairitsuX = b.dBairitsuY = 1;
    b.radKaitenKaku = rad, b.nNumber = number;
    Put(def.mBlock, def.mBlockN, kEntBlock, b);
  }
};

// A definition with nothing in it yet.
DefBuilder EmptyDef(Doc& doc, Cardinal number, std::u16string name) {
  TEntJwwBlockDef& def = doc.Def(number, std::move(name));
  def.mLine.clear(), def.mLineN = 0, def.mNo.clear(), def.N = 0;
  return {def};
}

// The page content's operators, uncompressed by qpdf; empty when qpdf is missing.
std::string PdfOperators(const std::string& pdf) {
  if (std::system("command -v qpdf >/dev/null 2>&1") != 0) return {};
  Capture("qpdf --qdf --object-streams=disable '" + pdf + "' '" + pdf + ".qdf'");
  return ReadWholeFile(Utf8ToStr(pdf + ".qdf")).value_or("");
}

size_t Occurrences(const std::string& in, const std::string& what) {
  size_t n = 0;
  for (size_t at = in.find(what); at != std::string::npos; at = in.find(what, at + 1)) ++n;
  return n;
}

// A block is written once and drawn by each insertion that turns and moves it (a mirror too when
// it holds no text), and it looks as in the PNG; a mirrored block with texts and a scaled one are
// drawn primitive by primitive, as the PNG keeps their glyphs upright and their pens unscaled.
// Blocks nested in a block follow the same rule where they lie in it.
TEST_F(Export, PdfDrawsBlocksOnceWhereTheirLookAllowsIt) {
  if (!HaveTools()) GTEST_SKIP() << "pdfinfo, pdftoppm, xmllint, rsvg-convert or ezdxf missing";
  Doc doc;
  doc.d.Enthd.bSenHaba100 = 1;
  for (int pen = 1; pen <= 8; ++pen) doc.d.EntCol[size_t(pen)].anPrtPenWidth = 30 + 10 * pen;
  DefBuilder knob = EmptyDef(doc, 2, u"knob");
  knob.Arc(0, 0, 3, 0, 2 * kPi, Att(6));
  knob.Text(-2, -6, 4, u"取", Att(4));
  DefBuilder door = EmptyDef(doc, 1, u"door");
  const double frame[] = {0, 0, 30, 0, 30, 16, 0, 16, 0, 0};
  for (int i = 0; i < 4; ++i) door.Line(frame[2 * i], frame[2 * i + 1], frame[2 * i + 2], frame[2 * i + 3], Att(3));
  door.Line(0, 0, 30, 16, Att(2, 2));  // dashed
  door.Arc(0, 0, 16, 0, kPi / 2, Att(5, 6));  // dash-dotted quarter circle
  door.Point(26, 3);
  door.Solid(20, 2, 28, 8, 0x00C000);
  door.Text(2, 9, 6, u"扉", Att(7));
  door.Insert(2, 22, 12, kPi / 2);  // turned inside the door: a form within the form
  DefBuilder mark = EmptyDef(doc, 3, u"mark");
  mark.Line(0, 0, 20, 0, Att(8));
  mark.Line(20, 0, 0, 12, Att(8));
  mark.Arc(0, 0, 8, 0, kPi / 3, Att(4, 2));
  doc.Insert(1, -130, 45, 1, 1, 0);
  doc.Insert(1, -60, 30, 1, 1, kPi / 6);
  doc.Insert(1, 40, 80, 1, 1, 3.5);
  doc.Insert(1, 110, 30, -1, 1, 0);    // mirrored: its texts would read backwards as a form
  doc.Insert(1, 60, -60, 1.5, 1.5, 0.2);  // scaled: its pens would widen as a form
  doc.Insert(3, -100, -60, -1, 1, 0.3);  // mirrored without texts
  doc.Insert(3, -50, -80, 1, 1, kPi / 4);
  const scene::Scene s = doc.Scene();
  const std::string pdf = dir.path("blocks.pdf"), png = dir.path("blocks.png");
  ASSERT_TRUE(scene::WritePdf(s, QString::fromStdString(pdf)));
  EXPECT_EQ(QpdfProblems(pdf), "");
  const std::string ops = PdfOperators(pdf);
  if (!ops.empty()) {
    EXPECT_EQ(Occurrences(ops, "/Subtype /Form"), 4u) << "each definition once, and the point mark";
    // Three doors and two marks on the page, the knob in the door's form.
    EXPECT_EQ(Occurrences(ops, " Do Q") - Occurrences(ops, "/P Do Q"), 6u);
    // The door's point: once in its form, once in each of the two doors expanded.
    EXPECT_EQ(Occurrences(ops, "/P Do Q"), 3u);
  }
  ASSERT_TRUE(scene::WritePng(s, QString::fromStdString(png), 150));
  ASSERT_EQ(std::system(("pdftoppm -r 150 -png -singlefile " + pdf + " " + dir.path("blocks-pdf")).c_str()), 0);
  size_t inked = 0;
  EXPECT_EQ(InkDifferences(QImage(QString::fromStdString(png)), QImage(QString::fromStdString(dir.path("blocks-pdf.png"))),
                           150 / 25.4, inked), "");
  EXPECT_GT(inked, 100u);
  const QString text = QString::fromStdString(Capture("pdftotext '" + pdf + "' -"));
  EXPECT_EQ(text.count(QStringLiteral("扉")), 5) << text.toStdString();
  EXPECT_EQ(text.count(QStringLiteral("取")), 5) << text.toStdString();
}

// Blocks drawn once are refused by the same budget as their expansion, which the PNG counts:
// here the bound a block is charged exceeds its exact work, as its long dashed line runs off the
// paper where the exact count stops.
TEST_F(Export, PdfBlocksKeepTheBudgetOfTheirExpansion) {
  Doc doc;
  DefBuilder def = EmptyDef(doc, 1, u"long");
  def.Line(0, 0, 400, 0, Att(2, 2));
  def.Arc(0, 0, 5, 0, 2 * kPi, Att(3, 2));
  def.Text(0, 2, 3, u"長");
  for (int k = 0; k < 36; ++k) doc.Insert(1, -100 + 5 * k, -80 + 4 * k, 1, 1, k * kPi / 18);
  const scene::Scene s = doc.Scene();
  const size_t exact = scene::Measure(s, {}).work;
  for (const bool progress : {false, true})
    for (const size_t budget : {exact - 1, exact}) {
      SCOPED_TRACE(std::to_string(budget - exact) + (progress ? " with progress" : ""));
      scene::PaintOptions o;
      o.budget = budget;
      double last = 0;
      bool monotone = true;
      if (progress)
        o.progress = [&](const char* stage, double f) {
          if (std::string(stage) != "painting") return;
          monotone = monotone && f >= last, last = f;
        };
      scene::PaintReport pdfReport, pngReport;
      const std::string pdf = dir.path("budget.pdf");
      std::filesystem::remove(pdf);
      const bool pdfOk = scene::WritePdf(s, QString::fromStdString(pdf), o, &pdfReport);
      o.progress = nullptr;
      const bool pngOk = scene::WritePng(s, QString::fromStdString(dir.path("budget.png")), 150, o, &pngReport);
      EXPECT_EQ(pdfOk, budget >= exact);
      EXPECT_EQ(pngOk, pdfOk);
      EXPECT_EQ(pdfReport.overBudget, pngReport.overBudget);
      EXPECT_TRUE(monotone);
      if (pdfOk) {
        EXPECT_EQ(QpdfProblems(pdf), "");
        EXPECT_TRUE(!progress || last > 0.9) << last;
      } else {
        EXPECT_FALSE(std::filesystem::exists(pdf));
      }
    }
  // With room to spare the block is one form, placed 36 times.
  const std::string pdf = dir.path("roomy.pdf");
  ASSERT_TRUE(scene::WritePdf(s, QString::fromStdString(pdf)));
  const std::string ops = PdfOperators(pdf);
  if (!ops.empty()) {
    EXPECT_EQ(Occurrences(ops, " Do Q"), 36u);
  }
}

// A browser draws each SVG text in the box the PNG draws it in: spaced, widened, half-width and
// raised characters included.
TEST_F(Export, SvgTextsRenderInABrowserAsInThePng) {
  if (std::system("command -v chromium >/dev/null 2>&1") != 0) GTEST_SKIP() << "chromium missing";
  Doc doc;
  struct T {
    double y;
    std::u16string text;
    double w, h, spacing;
  } texts[] = {{60, u"日本語テキスト", 8, 8, 0},  {40, u"ＡＢＣ", 6, 6, 4}, {20, u"幅広い字", 10, 5, 0},
               {0, u"Latin text 123", 6, 6, 0}, {-20, u"面積 12.5m^u2", 6, 6, 1}};
  for (const T& t : texts) {
    doc.Text(-120, t.y, t.w, t.text);
    TEntJwwMoji& m = doc.d.EntMoji.back();
    m.dSizeY = t.h, m.dKankaku = t.spacing;
  }
  const scene::Scene s = doc.Scene();
  const std::string svg = dir.path("b.svg"), shot = dir.path("b-browser.png"), png = dir.path("b.png");
  ASSERT_TRUE(scene::WriteSvg(s, QString::fromStdString(svg)));
  ASSERT_TRUE(scene::WritePng(s, QString::fromStdString(png), 96));
  const std::string text = ReadWholeFile(Utf8ToStr(svg)).value_or("");
  size_t elements = 0;
  for (size_t at = text.find("<text"); at != std::string::npos; at = text.find("<text", at + 1)) ++elements;
  EXPECT_EQ(elements, std::size(texts));  // one element per text
  EXPECT_NE(text.find("sans-serif\""), std::string::npos);
  const std::string cmd = "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                          "--disable-background-networking --disable-component-update --disable-sync "
                          "--hide-scrollbars --user-data-dir='" + dir.path("profile") +
                          "' --window-size=1123,794 --screenshot='" + shot + "' 'file://" + svg + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const QImage browser(QString::fromStdString(shot)), ours(QString::fromStdString(png));
  ASSERT_FALSE(browser.isNull());
  const double k = 96 / 25.4;
  for (const T& t : texts) {
    SCOPED_TRACE(QString::fromStdU16String(t.text).toStdString());
    const Box a = Ink(ours, -125, t.y - 3, 0, t.y + 12, k), b = Ink(browser, -125, t.y - 3, 0, t.y + 12, k);
    ASSERT_LT(a.x0, a.x1);
    EXPECT_NEAR(b.x0, a.x0, 0.8);
    EXPECT_NEAR(b.x1, a.x1, 0.8);
    EXPECT_NEAR(b.y0, a.y0, 0.8);
    EXPECT_NEAR(b.y1, a.y1, 0.8);
  }
}

// ---- DXF -------------------------------------------------------------------------------------------

TEST_F(Export, DxfHoldsLayersColoursLineTypesBlocksAndJapaneseText) {
  if (!HaveTools()) GTEST_SKIP() << "ezdxf missing";
  Doc doc;
  doc.d.EntLay[3 * 16 + 2].aStrLayName = u"壁";
  doc.Line(0, 0, 10, 0, Att(102, 32, 3, 2));  // red, "dashed", layer 2 of group 3
  doc.Text(0, 0, 5, u"日本語 ⑳ € 𠮷");  // € is outside code page 932, 𠮷 beyond U+FFFF
  doc.Solid(0, 0, 1, 1, 0x00FF00);
  TEntJwwSolid o;
  o.att = Att(2, 111), o.end_x = 5, o.end_y = 1, o.DPoint3_y = 100;
  doc.Add(doc.d.EntSolid, doc.d.EntSolidN, kEntSolid, o);
  doc.Def(7, u"扉");
  doc.Insert(7, 0, 0, 1, 1, 0);
  doc.Insert(7, 0, 0, 2, 0.5, 1);
  TEntJwwEnko e;  // a flattened arc: an ELLIPSE
  e.att = Att(), e.dHankei = 4, e.dHenpeiRitsu = 0.5, e.radEnkoKaku = 1;
  doc.Add(doc.d.EntEnko, doc.d.EntEnkoN, kEntEnko, e);
  const scene::Scene s = doc.Scene();
  const std::string dxf = dir.path("a.dxf");
  ASSERT_TRUE(scene::WriteDxf(s, Utf8ToStr(dxf)));
  const auto j = CheckDxf({dxf}, true);
  ASSERT_EQ(j.size(), 1u);
  const json& r = j[0];
  EXPECT_EQ(r["errors"].size(), 0u) << r["errors"];
  EXPECT_EQ(r["fixes"].size(), 0u) << r["fixes"];
  EXPECT_EQ(Got(r), Expected(s));
  std::map<std::string, json> first;
  for (const json& ent : r["entities"]) first.emplace(ent["type"].get<std::string>(), ent);
  EXPECT_EQ(first["LINE"]["layer"], "3-2 壁");
  EXPECT_EQ(first["LINE"]["true_color"], 0xFF0000);
  EXPECT_EQ(first["LINE"]["color"], 1);
  EXPECT_EQ(first["LINE"]["linetype"], "JW_32");
  EXPECT_EQ(r["linetypes"]["JW_32"], json::array({6.0, -1.5}));
  EXPECT_EQ(first["TEXT"]["text"], "日本語 ⑳ € ?");
  EXPECT_EQ(first["SOLID"]["true_color"], 0x00FF00);  // stored with red in the low byte, same here
  EXPECT_TRUE(first.count("HATCH"));
  EXPECT_TRUE(first.count("ELLIPSE"));
  EXPECT_EQ(first["INSERT"]["name"], "扉");
  EXPECT_EQ(r["blocks"]["扉"].size(), 1u);
}

// The header's extents are those of the entities as written (real millimetres, each at its
// group's scale, insertions where they land), and the file opens on what lies on the paper: not
// on the settings notes the drawing program keeps far below it.
TEST_F(Export, DxfExtentsAndStartViewLieOnTheEntities) {
  if (!HaveTools()) GTEST_SKIP() << "ezdxf missing";
  Doc doc;
  doc.d.EntLgrp[0].adScale = 100;
  doc.Line(-50, 0, 50, 10);                   // real (-5000, 0) .. (5000, 1000)
  doc.Circle(20, -30, 5, Att(2, 1, 1, 0));    // group 1 at 1:1: (15, -35) .. (25, -25)
  doc.Def(7, u"扉");
  doc.Insert(7, 60, 0, 1, 1, kPi / 2);        // its line runs up to (60, 10): real (6000, 1000)
  doc.Text(0, -1000, 2, u"Printer_Orientation = 0");  // real (0, -100000) and 200 high
  const std::string dxf = dir.path("e.dxf");
  ASSERT_TRUE(scene::WriteDxf(doc.Scene(), Utf8ToStr(dxf)));
  const auto j = CheckDxf({dxf});
  ASSERT_EQ(j.size(), 1u);
  const json& r = j[0];
  const double x0 = -5000, x1 = 6000, y1 = 1000;
  EXPECT_NEAR(r["extmin"][0].get<double>(), x0, 1e-6);
  EXPECT_NEAR(r["extmin"][1].get<double>(), -100000, 1e-6);
  EXPECT_NEAR(r["extmax"][0].get<double>(), x1, 1e-6);
  EXPECT_NEAR(r["extmax"][1].get<double>(), y1, 1e-6);
  // The view: centred on (-5000, -35) .. (6000, 1000), holding it whole and not much more.
  const double y0 = -35, w = x1 - x0, h = y1 - y0;
  const json& v = r["view"];
  EXPECT_NEAR(v["center"][0].get<double>(), (x0 + x1) / 2, 1e-6);
  EXPECT_NEAR(v["center"][1].get<double>(), (y0 + y1) / 2, 1e-6);
  const double vh = v["height"], vw = vh * v["aspect"].get<double>();
  EXPECT_GE(vh, h);
  EXPECT_GE(vw, w);
  EXPECT_LE(std::min(vh / h, vw / w), 1.2);
}

// Every text style names a Japanese font file and a family: the drawing's own font name, the
// mincho face for a mincho font and the gothic face for the rest.
TEST_F(Export, DxfTextStylesNameJapaneseFonts) {
  if (!HaveTools()) GTEST_SKIP() << "ezdxf missing";
  Doc doc;
  const std::u16string fonts[] = {u"", u"ＭＳ ゴシック", u"ＭＳ 明朝", u"Arial"};
  for (const auto& f : fonts) {
    doc.Text(0, 0, 3, u"文字");
    doc.d.EntMoji.back().strFontName = f;
  }
  const std::string dxf = dir.path("f.dxf");
  ASSERT_TRUE(scene::WriteDxf(doc.Scene(), Utf8ToStr(dxf)));
  const auto j = CheckDxf({dxf}, true);
  ASSERT_EQ(j.size(), 1u);
  const json& r = j[0];
  EXPECT_EQ(r["fixes"].size(), 0u) << r["fixes"];
  struct Case {
    const char *style, *font, *family;
  } const want[] = {{"Standard", "msgothic.ttc", "ＭＳ ゴシック"},
                    {"Standard", "msgothic.ttc", "ＭＳ ゴシック"},
                    {"ＭＳ 明朝", "msmincho.ttc", "ＭＳ 明朝"},
                    {"Arial", "msgothic.ttc", "Arial"}};
  ASSERT_EQ(r["entities"].size(), std::size(want));
  for (size_t i = 0; i < std::size(want); ++i) {
    SCOPED_TRACE(i);
    const std::string style = r["entities"][i]["style"];
    EXPECT_EQ(style, want[i].style);
    EXPECT_EQ(r["styles"][style]["font"], want[i].font);
    EXPECT_EQ(r["styles"][style]["family"], want[i].family);
  }
  EXPECT_EQ(r["styles"].size(), 3u);
}

// Hidden layers and groups are written, with their entities, as layers switched off; each
// layer's description carries its group's name and scale.
TEST_F(Export, DxfKeepsHiddenLayersSwitchedOffWithTheirGroupNames) {
  if (!HaveTools()) GTEST_SKIP() << "ezdxf missing";
  Doc doc;
  doc.Line(0, 0, 1, 0, Att(2, 1, 0, 0));
  doc.Line(0, 0, 2, 0, Att(2, 1, 1, 5));  // layer 5 of group 1: hidden
  doc.Line(0, 0, 3, 0, Att(2, 1, 2, 0));  // group 2: hidden
  doc.d.EntLay[1 * 16 + 5].aanLay = 0;
  doc.d.EntLgrp[2].anGLay = 0;
  doc.d.EntLgrp[2].aStrGLayName = u"平面図";
  doc.d.EntLgrp[2].adScale = 50;
  const scene::Scene s = doc.Scene();
  EXPECT_EQ(scene::CountPlaced(s).lines, 1u);  // pictures leave them out
  const std::string dxf = dir.path("h.dxf");
  ASSERT_TRUE(scene::WriteDxf(s, Utf8ToStr(dxf)));
  const auto j = CheckDxf({dxf}, true);
  ASSERT_EQ(j.size(), 1u);
  const json& r = j[0];
  EXPECT_EQ(r["fixes"].size(), 0u) << r["fixes"];
  std::map<std::string, double> length;
  for (const json& e : r["entities"])
    length[e["layer"]] = e["end"][0].get<double>() - e["start"][0].get<double>();
  EXPECT_EQ(length, (std::map<std::string, double>{{"0-0", 1}, {"1-5", 2}, {"2-0", 150}}));
  const json& layers = r["layers"];
  EXPECT_FALSE(layers["0-0"]["off"]);
  EXPECT_TRUE(layers["1-5"]["off"]);
  EXPECT_FALSE(layers["1-4"]["off"]);
  EXPECT_TRUE(layers["2-0"]["off"]);
  EXPECT_TRUE(layers["2-F"]["off"]);
  EXPECT_EQ(layers["2-3"]["description"], "group 2 平面図 1:50");
  EXPECT_EQ(layers["0-0"]["description"], "group 0 1:1");
}

// ---- the tool ----------------------------------------------------------------------------------------

TEST_F(Export, ToolChoosesTheFormatByExtensionAndLeavesNothingOnFailure) {
  Doc doc;
  doc.Line(0, 0, 10, 10);
  const std::string in = dir.path("in.jww");
  ASSERT_TRUE(doc.d.FileOut(Utf8ToStr(in), 600));
  auto jww = [&](const std::string& args) { return jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert " + args, dir); };
  for (const char* ext : {"pdf", "SVG", "png", "dxf"}) {
    const std::string out = dir.path(std::string("out.") + ext);
    const auto r = jww(in + " " + out);
    EXPECT_EQ(r.status, 0) << ext << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(std::filesystem::file_size(out) > 100) << ext;
  }
  EXPECT_EQ(QImage(QString::fromStdString(dir.path("out.png"))).width(), 1754);  // 297 mm at 150 dpi
  EXPECT_EQ(jww(in + " " + dir.path("a.png") + " --dpi 50").status, 0);
  EXPECT_EQ(QImage(QString::fromStdString(dir.path("a.png"))).width(), 585);
  EXPECT_EQ(jww(in + " " + dir.path("b.png") + " --dpi 0").status, 2);
  EXPECT_EQ(jww(in + " " + dir.path("b.pdf") + " --version 420").status, 2);
  EXPECT_EQ(jww(in + " " + dir.path("c.png") + " --mono --aux --dot-mm 0.1").status, 0);
  EXPECT_EQ(jww(in + " " + dir.path("b.png") + " --mono --color").status, 2);
  EXPECT_EQ(jww(in + " " + dir.path("b.png") + " --dot-mm 0").status, 2);
  EXPECT_EQ(jww(in + " " + dir.path("b.jww") + " --aux").status, 2);
  // A folder that does not exist: one line, status 1, and no file anywhere near.
  const auto r = jww(in + " " + dir.path("none/out.pdf"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  // A drawing that cannot be read leaves an existing output as it was.
  const std::string keep = dir.path("keep.dxf");
  std::FILE* f = std::fopen(keep.c_str(), "w");
  std::fputs("old", f);
  std::fclose(f);
  EXPECT_EQ(jww(dir.path("missing.jww") + " " + keep).status, 1);
  EXPECT_EQ(ReadWholeFile(Utf8ToStr(keep)).value_or(""), "old");
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.dir())) files += e.path().filename().string()[0] == '.';
  EXPECT_EQ(files, 0u);  // no temporary file left behind
}

// ---- corpus ------------------------------------------------------------------------------------------

std::string CorpusDir() {
  const char* env = std::getenv("DRAVIK_CORPUS");
  return env ? env : DRAVIK_CORPUS_DIR;
}

TEST_F(Export, EveryCorpusDrawingExportsToAllFourFormats) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(CorpusDir(), ec)) GTEST_SKIP() << "no corpus at " << CorpusDir();
  if (!HaveTools()) GTEST_SKIP() << "pdfinfo, xmllint, rsvg-convert or ezdxf missing";
  std::vector<fs::path> drawings;
  for (const auto& e : fs::directory_iterator(CorpusDir()))
    if (e.path().extension() == ".jww") drawings.push_back(e.path());
  std::sort(drawings.begin(), drawings.end());
  ASSERT_FALSE(drawings.empty());
  std::vector<std::string> dxfs;
  std::map<std::string, std::map<std::string, size_t>> expected;
  for (const fs::path& p : drawings) {
    SCOPED_TRACE(p.filename().string());
    TJwwData d;
    ASSERT_TRUE(d.FileIn(Utf8ToStr(p.string())));
    const scene::Scene s = scene::Build(d);
    // The content lies on the paper (if the scales or the origin were wrong, little would):
    // apart from the notes the drawing program keeps far below it (texts "Name = value"), at
    // least nine in ten primitives start on it. Some drawings run construction lines beyond it.
    size_t on = 0, off = 0;
    scene::ForEachPlaced(s, [&](const scene::Prim& q, const scene::Placement& at) {
      if (q.kind == scene::Kind::Text && q.text.find(u" = ") != std::u16string::npos) return;
      double x, y;
      const bool fill = q.kind == scene::Kind::Fill;
      at.toPaper.Apply(fill ? q.ring[0] : q.p[0], fill ? q.ring[1] : q.p[1], x, y);
      ++(std::fabs(x) <= s.paperW / 2 && std::fabs(y) <= s.paperH / 2 ? on : off);
    });
    EXPECT_GE(on, 9 * off) << on << " on the paper, " << off << " off it";
    const std::string base = dir.path(p.stem().string());
    ASSERT_TRUE(scene::WritePdf(s, QString::fromStdString(base + ".pdf")));
    ASSERT_TRUE(scene::WriteSvg(s, QString::fromStdString(base + ".svg")));
    ASSERT_TRUE(scene::WritePng(s, QString::fromStdString(base + ".png"), 30));
    ASSERT_TRUE(scene::WriteDxf(s, Utf8ToStr(base + ".dxf")));
    EXPECT_EQ(QpdfProblems(base + ".pdf"), "");
    const auto page = PdfPageSize(base + ".pdf");
    EXPECT_NEAR(page.first, s.paperW / 25.4 * 72, 1);
    EXPECT_NEAR(page.second, s.paperH / 25.4 * 72, 1);
    EXPECT_EQ(std::system(("xmllint --noout '" + base + ".svg'").c_str()), 0);
    EXPECT_EQ(std::system(("rsvg-convert -o '" + base + ".r.png' '" + base + ".svg'").c_str()), 0);
    EXPECT_EQ(QImage(QString::fromStdString(base + ".png")).width(), std::lround(s.paperW / 25.4 * 30 + 0.49));
    dxfs.push_back(base + ".dxf");
    expected[base + ".dxf"] = Expected(s);
  }
  const auto results = CheckDxf(dxfs);
  ASSERT_EQ(results.size(), dxfs.size());
  for (const json& r : results) {
    const std::string f = r["file"];
    SCOPED_TRACE(f);
    ASSERT_FALSE(r.contains("load_error")) << r["load_error"];
    EXPECT_EQ(r["errors"].size(), 0u) << r["errors"];
    EXPECT_EQ(r["fixes"].size(), 0u) << r["fixes"];
    EXPECT_EQ(Got(r), expected[f]);
  }
}

}  // namespace
