// DXF input: files written by an independent program (ezdxf, through tests/dxf/make_dxf.py),
// converted by `jww convert`, and checked against ezdxf's own geometry; hostile files refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/codepage.h"
#include "jww/JwwUnit.h"
#include "scene/DxfOut.h"
#include "tests/tool_run.h"

namespace {

using jwwtest::RunTool;
using jwwtest::TempDir;
using nlohmann::json;

constexpr double kPi = 3.14159265358979323846;

bool HaveEzdxf() { return std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") == 0; }

// The files are made once for the whole suite.
class DxfIn : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveEzdxf()) return;
    dir_ = new TempDir();
    const std::string cmd = "/usr/bin/python3 " DRAVIK_SOURCE_DIR "/tests/dxf/make_dxf.py " + dir_->dir() + " >" +
                            dir_->path("expect.json");
    if (std::system(cmd.c_str()) != 0) return;
    std::ifstream f(dir_->path("expect.json"));
    expect_ = new json(json::parse(f));
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete expect_;
  }
  void SetUp() override {
    if (!expect_) GTEST_SKIP() << "python3-ezdxf is not available";
  }
  // Converts `name`.dxf with `args` and reads the result back.
  static void Convert(const std::string& name, jww::TJwwData& d, const std::string& args = "") {
    const std::string out = dir_->path(name + ".jww");
    const auto r = RunTool(DRAVIK_JWW_TOOL, "convert " + dir_->path(name + ".dxf") + " " + out + " " + args, *dir_);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(d.FileIn(jww::Utf8ToStr(out)));
  }
  static TempDir* dir_;
  static json* expect_;
};
TempDir* DxfIn::dir_ = nullptr;
json* DxfIn::expect_ = nullptr;

double Deg(double a) {
  a = std::fmod(a * 180 / kPi, 360.0);
  return a < 0 ? a + 360 : a;
}

TEST_F(DxfIn, EveryKindLandsWhereEzdxfPutsIt) {
  jww::TJwwData d;
  Convert("kinds", d);
  const json& e = (*expect_)["kinds"];
  EXPECT_EQ(d.Enthd.nZumen, e["paper"].get<int>());
  EXPECT_EQ(d.EntLgrp[0].adScale, e["scale"].get<double>());
  // Circle, arc and both bulge arcs of the polyline.
  for (const json& a : e["arcs"]) {
    bool found = false;
    for (int i = 0; i < d.EntEnkoN; ++i) {
      const auto& k = d.EntEnko[i];
      if (std::hypot(k.start_x - a["c"][0].get<double>(), k.start_y - a["c"][1].get<double>()) > 1e-6) continue;
      found = true;
      EXPECT_NEAR(k.dHankei, a["r"].get<double>(), 1e-6);
      if (a.contains("full")) {
        EXPECT_EQ(k.bZenEnFlg, 1u);
      } else {
        EXPECT_NEAR(Deg(k.radKaishiKaku), a["start"].get<double>(), 1e-6);
        EXPECT_NEAR(k.radEnkoKaku * 180 / kPi, a["sweep"].get<double>(), 1e-6);
      }
    }
    EXPECT_TRUE(found) << a.dump();
  }
  // The ellipse: starts and ends where ezdxf says.
  const json& el = e["ellipse"];
  bool ellipse = false;
  for (int i = 0; i < d.EntEnkoN; ++i) {
    const auto& k = d.EntEnko[i];
    if (std::fabs(k.dHenpeiRitsu - 0.4) > 1e-12) continue;
    ellipse = true;
    auto at = [&](double t, double& x, double& y) {
      const double u = k.dHankei * std::cos(t), v = k.dHankei * k.dHenpeiRitsu * std::sin(t);
      x = k.start_x + u * std::cos(k.radKatamukiKaku) - v * std::sin(k.radKatamukiKaku);
      y = k.start_y + u * std::sin(k.radKatamukiKaku) + v * std::cos(k.radKatamukiKaku);
    };
    double x, y;
    at(k.radKaishiKaku, x, y);
    EXPECT_NEAR(x, el["start"][0].get<double>(), 1e-6);
    EXPECT_NEAR(y, el["start"][1].get<double>(), 1e-6);
    at(k.radKaishiKaku + k.radEnkoKaku, x, y);
    EXPECT_NEAR(x, el["end"][0].get<double>(), 1e-6);
    EXPECT_NEAR(y, el["end"][1].get<double>(), 1e-6);
  }
  EXPECT_TRUE(ellipse);
  // TEXT at its insertion point with its height and rotation; MTEXT one text per line.
  std::vector<std::u16string> texts;
  for (int i = 0; i < d.EntMojiN; ++i) texts.push_back(d.EntMoji[i].str);
  ASSERT_EQ(d.EntMojiN, 3);
  const auto& t = d.EntMoji[0];
  EXPECT_EQ(t.str, u"Plan");
  EXPECT_NEAR(t.start_x, e["text"]["at"][0].get<double>(), 1e-6);
  EXPECT_NEAR(t.start_y, e["text"]["at"][1].get<double>(), 1e-6);
  EXPECT_NEAR(t.dSizeY, e["text"]["h"].get<double>(), 1e-9);
  EXPECT_NEAR(t.degKakudo, 30, 1e-9);
  EXPECT_EQ(d.EntMoji[1].str, jww::Utf8ToStr(e["mtext"][0].get<std::string>()));
  EXPECT_EQ(d.EntMoji[2].str, jww::Utf8ToStr(e["mtext"][1].get<std::string>()));
  EXPECT_LT(d.EntMoji[2].start_y, d.EntMoji[1].start_y);
  // Lines: the frame (the polyline is two bulge arcs); solid, point, the nested blocks.
  EXPECT_EQ(d.EntLineN, 4);
  EXPECT_EQ(d.EntSolidN, 1);
  EXPECT_EQ(d.EntTenN, 1);
  EXPECT_EQ(d.EntBlockN, 1);
  EXPECT_EQ(d.EntBlockDefN, 2);
  // Layers in table order, the one switched off hidden.
  for (size_t i = 0; i < e["layers"].size(); ++i)
    EXPECT_EQ(d.EntLay[i].aStrLayName, jww::Utf8ToStr(e["layers"][i].get<std::string>()));
  EXPECT_EQ(d.EntLay[e["hidden"].get<int>()].aanLay, 0);
}

TEST_F(DxfIn, UnitsCodePagesAndOptions) {
  jww::TJwwData d;
  Convert("inch", d);
  const json& l = (*expect_)["inch"]["line"];
  ASSERT_EQ(d.EntLineN, 1);
  EXPECT_NEAR(d.EntLine[0].start_x, l[0].get<double>(), 1e-9);
  EXPECT_NEAR(d.EntLine[0].start_y, l[1].get<double>(), 1e-9);
  EXPECT_NEAR(d.EntLine[0].end_x, l[2].get<double>(), 1e-9);
  EXPECT_NEAR(d.EntLine[0].end_y, l[3].get<double>(), 1e-9);
  // --scale and --paper override the choice; the version is the one asked for.
  jww::TJwwData s;
  Convert("inch", s, "--scale 1:50 --paper A2 --version 300");
  EXPECT_EQ(s.EntLgrp[0].adScale, 50);
  EXPECT_EQ(s.Enthd.nZumen, 2);
  EXPECT_EQ(s.Enthd.jwVer, 300);
  EXPECT_NEAR(s.EntLine[0].end_x, l[2].get<double>() / 50, 1e-9);

  jww::TJwwData r;
  Convert("r12", r);
  const json& e = (*expect_)["r12"];
  ASSERT_EQ(r.EntMojiN, 1);
  EXPECT_EQ(r.EntMoji[0].str, jww::Utf8ToStr(e["text"].get<std::string>()));
  EXPECT_NEAR(r.EntMoji[0].start_x, e["at"][0].get<double>(), 1e-9);
  EXPECT_NEAR(r.EntMoji[0].start_y, e["at"][1].get<double>(), 1e-9);
}

// The dashes of an extended line type (paper mm); empty for the others.
std::vector<double> Dashes(const jww::TJwwData& d, int style) {
  if (style < 31 || style > 62) return {};
  const auto& t = d.EntLtpS[static_cast<size_t>(style - 30)];
  return {t.aadUDLTypePitch.begin(), t.aadUDLTypePitch.begin() + t.anUDLTypeSegment};
}

std::vector<double> Numbers(const json& j) { return j.get<std::vector<double>>(); }

// Print colour (0xRRGGBB) and print width of a pen.
std::pair<uint32_t, int> PenOf(const jww::TJwwData& d, int co) {
  const auto& p = co > 100 ? d.EntColS[static_cast<size_t>(co - 100)].aPrtPenColor : d.EntCol[static_cast<size_t>(co)].aPrtPenColor;
  const int w = co > 100 ? d.EntColS[static_cast<size_t>(co - 100)].anPrtPenWidth : d.EntCol[static_cast<size_t>(co)].anPrtPenWidth;
  const uint32_t v = static_cast<uint32_t>(p);
  return {((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF), w};
}

int LayerNamed(const jww::TJwwData& d, const std::u16string& name) {
  for (int i = 0; i < 256; ++i)
    if (d.EntLay[static_cast<size_t>(i)].aStrLayName == name) return i;
  return -1;
}

double SegDist(double x, double y, double x0, double y0, double x1, double y1) {
  const double dx = x1 - x0, dy = y1 - y0, l2 = dx * dx + dy * dy;
  const double t = l2 > 0 ? std::clamp(((x - x0) * dx + (y - y0) * dy) / l2, 0.0, 1.0) : 0;
  return std::hypot(x - x0 - t * dx, y - y0 - t * dy);
}

TEST_F(DxfIn, WeightsLineTypesAndByBlockResolved) {
  jww::TJwwData d;
  Convert("looks", d);
  const json& e = (*expect_)["looks"];
  // The lines at y = 10 .. 50 real mm, in order: by layer (red, 0.50, DASHED), black 0.18,
  // grey, ODD at half scale, a true colour at 0.35.
  const jww::TEntJwwLine* at[5] = {};
  for (int i = 0; i < d.EntLineN; ++i) {
    const auto& l = d.EntLine[i];
    for (int k = 0; k < 5; ++k)
      if (std::fabs(l.start_y - (10.0 * (k + 1) - 125) / 2) < 1e-9 && std::fabs(l.start_x - (10 - 200) / 2.0) < 1e-9) at[k] = &l;
  }
  for (auto* l : at) ASSERT_TRUE(l);
  EXPECT_EQ(PenOf(d, at[0]->att.nPenColor), std::make_pair(0xFF0000u, 50));
  EXPECT_EQ(Dashes(d, at[0]->att.nPenStyle), Numbers(e["dashed"]));
  EXPECT_EQ(at[1]->att.nPenColor, 2);  // the black pen, whose 0.17 mm is written as weight 18
  EXPECT_EQ(at[1]->att.nPenStyle, 1);
  EXPECT_NE(at[2]->att.nPenColor, 9);  // grey is not the auxiliary colour, which never prints
  EXPECT_EQ(PenOf(d, at[2]->att.nPenColor).first, 0x808080u);
  const std::vector<double> odd = Dashes(d, at[3]->att.nPenStyle), want = Numbers(e["odd"]);
  ASSERT_EQ(odd.size(), want.size());
  for (size_t i = 0; i < odd.size(); ++i) EXPECT_NEAR(odd[i], want[i], 1e-12);
  EXPECT_EQ(PenOf(d, at[4]->att.nPenColor), std::make_pair(0x123456u, 35));
  // The block drawn by block: one definition per look of the insertion.
  int marks = 0;
  for (int i = 0; i < d.EntBlockDefN; ++i) {
    const auto& b = d.EntBlockDef[i];
    if (b.strName.rfind(u"MARK", 0) != 0) continue;
    ++marks;
    ASSERT_EQ(b.mLineN, 1);
    const auto& l = b.mLine[0];
    if (PenOf(d, l.att.nPenColor).first == 0x0000FF) {
      EXPECT_EQ(PenOf(d, l.att.nPenColor).second, 70);
      EXPECT_EQ(Dashes(d, l.att.nPenStyle), Numbers(e["dashdot"]));
    } else {
      EXPECT_EQ(l.att.nPenColor, 3);  // green, the insertion's default width
      EXPECT_EQ(l.att.nPenStyle, 1);
    }
  }
  EXPECT_EQ(marks, 2);
  // Fonts: a known Japanese font by its file, an unknown one as the Japanese default.
  ASSERT_EQ(d.EntMojiN, 2);
  EXPECT_EQ(d.EntMoji[0].strFontName, u"ＭＳ 明朝");
  EXPECT_EQ(d.EntMoji[1].strFontName, u"ＭＳ ゴシック");
}

TEST_F(DxfIn, HatchesDimensionsAndSplines) {
  jww::TJwwData d;
  Convert("looks", d);
  const json& e = (*expect_)["looks"];
  // The solid hatch: its area (the hole left open) within what drawing the circle with lines
  // loses, and nothing over the hole's centre.
  double area = 0;
  const double hx = e["hole"][0].get<double>(), hy = e["hole"][1].get<double>();
  for (int i = 0; i < d.EntSolidN; ++i) {
    const auto& s = d.EntSolid[i];
    const double x[4] = {s.start_x, s.end_x, s.DPoint2_x, s.DPoint3_x}, y[4] = {s.start_y, s.end_y, s.DPoint2_y, s.DPoint3_y};
    double a = 0;
    for (int k = 0; k < 4; ++k) a += x[k] * y[(k + 1) % 4] - x[(k + 1) % 4] * y[k];
    area += std::fabs(a) / 2;
    EXPECT_FALSE(hy > std::min({y[0], y[2]}) && hy < std::max({y[0], y[2]}) && hx > std::min({x[0], x[1], x[2], x[3]}) &&
                 hx < std::max({x[0], x[1], x[2], x[3]}));
  }
  EXPECT_NEAR(area, e["hatch_area"].get<double>(), 0.5);
  // The patterned hatch: its boundary, three lines and the half circle.
  int arcs = 0;
  for (int i = 0; i < d.EntEnkoN; ++i)
    arcs += std::fabs(d.EntEnko[i].dHankei - 5) < 1e-9 && std::fabs(d.EntEnko[i].radEnkoKaku - kPi) < 1e-9;
  EXPECT_EQ(arcs, 1);
  // The clockwise arc of the quarter pie: the quarter from 0 to 90 degrees, not its mirror.
  int pie = 0;
  for (int i = 0; i < d.EntEnkoN; ++i) {
    const auto& k = d.EntEnko[i];
    pie += std::fabs(k.dHankei - 5) < 1e-9 && std::fabs(k.start_x - e["pie"][0].get<double>()) < 1e-9 &&
           std::fabs(k.start_y - e["pie"][1].get<double>()) < 1e-9 &&
           std::fabs(std::remainder(k.radKaishiKaku, 2 * kPi)) < 1e-9 && std::fabs(k.radEnkoKaku - kPi / 2) < 1e-9;
  }
  EXPECT_EQ(pie, 1);
  // The dimension: its block, placed once.
  bool dim = false;
  for (int i = 0; i < d.EntBlockDefN; ++i)
    dim = dim || (d.EntBlockDef[i].strName.rfind(u"*D", 0) == 0 && d.EntBlockDef[i].mLineN >= 3);
  EXPECT_TRUE(dim);
  // Splines: every point of ezdxf's curve within 0.01 paper mm of the lines, and every end of a
  // line on the curve.
  auto lines = [&](const char16_t* layer) {
    std::vector<const jww::TEntJwwLine*> v;
    const int n = LayerNamed(d, layer);
    for (int i = 0; i < d.EntLineN; ++i)
      if (d.EntLine[i].att.nGLayer * 16 + d.EntLine[i].att.nLayer == n) v.push_back(&d.EntLine[i]);
    return v;
  };
  const char16_t* layers[2] = {u"SP1", u"SP2"};
  for (int k = 0; k < 2; ++k) {
    const auto ls = lines(layers[k]);
    ASSERT_GT(ls.size(), 10u);
    const json& curve = e["splines"][k];
    double worst = 0, off = 0;
    for (const json& p : curve) {
      double best = HUGE_VAL;
      for (auto* l : ls) best = std::min(best, SegDist(p[0], p[1], l->start_x, l->start_y, l->end_x, l->end_y));
      worst = std::max(worst, best);
    }
    for (auto* l : ls) {
      double best = HUGE_VAL;
      for (size_t i = 0; i + 1 < curve.size(); ++i)
        best = std::min(best, SegDist(l->end_x, l->end_y, curve[i][0], curve[i][1], curve[i + 1][0], curve[i + 1][1]));
      off = std::max(off, best);
    }
    EXPECT_LE(worst, 0.01 + 1e-9) << k;
    EXPECT_LT(off, 1e-3) << k;
  }
  // The rational spline is a true quarter circle.
  for (auto* l : lines(u"SP2"))
    EXPECT_NEAR(std::hypot(l->end_x - e["arc_centre"][0].get<double>(), l->end_y - e["arc_centre"][1].get<double>()),
                e["arc_r"].get<double>(), 1e-9);
  // Through fit points: the curve passes through each.
  const auto fit = lines(u"FIT");
  for (const json& p : e["fit"]) {
    double best = HUGE_VAL;
    for (auto* l : fit)
      best = std::min({best, std::hypot(l->start_x - p[0].get<double>(), l->start_y - p[1].get<double>()),
                       std::hypot(l->end_x - p[0].get<double>(), l->end_y - p[1].get<double>())});
    EXPECT_LT(best, 1e-9);
  }
}

TEST_F(DxfIn, LayersPastTheLastShareIt) {
  jww::TJwwData d;
  Convert("layers", d);
  // Layer "0" holds nothing here and takes no layer.
  EXPECT_EQ(d.EntLay[1].aStrLayName, u"L000");
  EXPECT_EQ(d.EntLay[255].aStrLayName, u"L254");
  int onLast = 0;
  for (int i = 0; i < d.EntLineN; ++i) onLast += d.EntLine[i].att.nGLayer * 16 + d.EntLine[i].att.nLayer == 255;
  EXPECT_EQ(onLast, 300 - 254);
  const auto r = RunTool(DRAVIK_JWW_TOOL, "info " + dir_->path("layers.dxf") + " >" + dir_->path("info.txt"), *dir_);
  ASSERT_EQ(r.status, 0);
  std::ifstream f(dir_->path("info.txt"));
  std::stringstream text;
  text << f.rdbuf();
  EXPECT_NE(text.str().find("45 past the 256th"), std::string::npos) << text.str();
}

TEST_F(DxfIn, BlockBombStaysDefinitionsAndSelfInsertionIsRefused) {
  jww::TJwwData d;
  Convert("bomb", d);
  // B1..B8 and SELF: the bomb's 10^8 lines stay 8 definitions and 10 insertions.
  EXPECT_EQ(d.EntBlockDefN, 8 + 1);
  EXPECT_EQ(d.EntBlockN, 10 + 1);
  for (int i = 0; i < d.EntBlockDefN; ++i) {
    if (d.EntBlockDef[i].strName.rfind(u"SELF", 0) == 0) {
      EXPECT_EQ(d.EntBlockDef[i].mBlockN, 0);
    }
  }
}

TEST_F(DxfIn, BadInputIsOneLineExitTwoAndNoOutput) {
  std::string kinds;
  {
    std::ifstream f(dir_->path("kinds.dxf"), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    kinds = s.str();
  }
  const struct {
    const char* name;
    std::string bytes;
    const char* says;
  } cases[] = {
      {"binary", std::string("AutoCAD Binary DXF\r\n\x1a\0", 22) + "junk", "binary DXF"},
      {"dwg", "AC1032\0\0\0\0\0junk", "DWG"},
      {"truncated", kinds.substr(0, kinds.size() / 2), "the file ends"},
      {"broken", "0\nSECTION\n2\nENTITIES\nxx\nLINE\n0\nEOF\n", "line 5: a group code"},
      {"nan", "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\nnan\n20\n0\n0\nENDSEC\n0\nEOF\n",
       "line 10: a finite number"},
      {"inf", "0\nSECTION\n2\nENTITIES\n0\nLINE\n8\n0\n10\n1\n20\n-inf\n0\nENDSEC\n0\nEOF\n", "line 12"},
      {"hugecount", "0\nSECTION\n2\nENTITIES\n0\nLWPOLYLINE\n8\n0\n90\n2000000000\n0\nENDSEC\n0\nEOF\n",
       "line 10: a count"},
  };
  for (const auto& c : cases) {
    const std::string in = dir_->path(std::string(c.name) + ".dxf"), out = dir_->path(std::string(c.name) + ".jww");
    std::ofstream(in, std::ios::binary) << c.bytes;
    const auto r = RunTool(DRAVIK_JWW_TOOL, "convert " + in + " " + out, *dir_);
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
  }
}

}  // namespace

namespace {

// Corpus drawing -> DXF (the writer) -> drawing (the reader), for drawings drawn at one scale
// without dimensions or blocks: as many lines and arcs, each where it was up to the one shift the
// centring on the paper makes, on layers of the same names, in the same print colours and widths
// (as DXF line weights tell them) and dash patterns; the same texts.
TEST(DxfInRoundTrip, CorpusComesBack) {
  const char* env = std::getenv("DRAVIK_CORPUS");  // for a work tree beside no corpus
  const std::string corpus = env && *env ? env : DRAVIK_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus";
  if (!HaveEzdxf()) GTEST_SKIP();
  jwwtest::TempDir dir;
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".jww") continue;
    jww::TJwwData a;
    if (!a.FileIn(jww::Utf8ToStr(entry.path().string()))) continue;
    if (a.EntSunpoN || a.EntBlockN || a.EntLineN == 0) continue;
    bool oneScale = true;
    for (int i = 0; i < a.EntLineN; ++i)
      oneScale = oneScale && a.EntLgrp[a.EntLine[i].att.nGLayer].adScale == a.EntLgrp[0].adScale;
    for (int i = 0; i < a.EntEnkoN; ++i)
      oneScale = oneScale && a.EntLgrp[a.EntEnko[i].att.nGLayer].adScale == a.EntLgrp[0].adScale;
    if (!oneScale) continue;
    const std::string dxf = dir.path("a.dxf"), back = dir.path("b.jww");
    std::filesystem::remove(back);
    auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert -q '" + entry.path().string() + "' " + dxf, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    char scale[40];
    std::snprintf(scale, sizeof scale, "%.17g", a.EntLgrp[0].adScale);
    r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "convert " + dxf + " " + back + " --scale " + scale, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    jww::TJwwData b;
    ASSERT_TRUE(b.FileIn(jww::Utf8ToStr(back)));
    SCOPED_TRACE(entry.path().filename().string());
    ASSERT_EQ(b.EntLineN, a.EntLineN);
    EXPECT_EQ(b.EntEnkoN, a.EntEnkoN);
    const double dx = b.EntLine[0].start_x - a.EntLine[0].start_x, dy = b.EntLine[0].start_y - a.EntLine[0].start_y;
    double worst = 0;
    for (int i = 0; i < a.EntLineN; ++i) {
      const auto &p = a.EntLine[i], &q = b.EntLine[i];
      worst = std::max({worst, std::fabs(q.start_x - p.start_x - dx), std::fabs(q.start_y - p.start_y - dy),
                        std::fabs(q.end_x - p.end_x - dx), std::fabs(q.end_y - p.end_y - dy)});
    }
    for (int i = 0; i < std::min(a.EntEnkoN, b.EntEnkoN); ++i) {
      const auto &p = a.EntEnko[i], &q = b.EntEnko[i];
      worst = std::max({worst, std::fabs(q.start_x - p.start_x - dx), std::fabs(q.start_y - p.start_y - dy),
                        std::fabs(q.dHankei * (q.dHenpeiRitsu > 1 ? q.dHenpeiRitsu : 1) -
                                  p.dHankei * (p.dHenpeiRitsu > 1 ? p.dHenpeiRitsu : 1))});
    }
    EXPECT_LT(worst, 1e-6);
    // The looks, as the scene (which the writer draws from) sees them.
    scene::Look colour;  // DXF keeps the pens' colours whatever the drawing prints in
    colour.colour = scene::Look::Colour::Colour;
    const scene::Scene sa = scene::Build(a, colour), sb = scene::Build(b, colour);
    std::vector<const scene::Prim*> pa, pb;
    for (const auto& p : sa.prims)
      if (p.kind == scene::Kind::Line || p.kind == scene::Kind::Arc || p.kind == scene::Kind::Text) {
        pa.push_back(&p);
      }
    for (const auto& p : sb.prims)
      if (p.kind == scene::Kind::Line || p.kind == scene::Kind::Arc || p.kind == scene::Kind::Text) {
        pb.push_back(&p);
      }
    ASSERT_EQ(pa.size(), pb.size());
    for (size_t i = 0; i < pa.size(); ++i) {
      const scene::Prim &p = *pa[i], &q = *pb[i];
      SCOPED_TRACE(i);
      ASSERT_EQ(q.kind, p.kind);
      EXPECT_EQ(sb.layers[q.layer].name, sa.layers[p.layer].name);
      EXPECT_EQ(q.rgb, p.rgb);
      EXPECT_EQ(scene::LineWeight(q.width), scene::LineWeight(p.width));
      EXPECT_EQ(q.text, p.text);
      if (p.kind != scene::Kind::Text) {
        const auto &da = sa.lineTypes[p.lineType].dashes, &db = sb.lineTypes[q.lineType].dashes;
        ASSERT_EQ(db.size(), da.size()) << p.lineType << " " << q.lineType;
        for (size_t k = 0; k < da.size(); ++k) EXPECT_NEAR(db[k], da[k], 1e-9);
      }
      if (HasFailure()) break;
    }
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
