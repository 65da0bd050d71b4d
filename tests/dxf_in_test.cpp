// DXF input: files written by an independent program (ezdxf, through tests/dxf/make_dxf.py),
// converted by `jww convert`, and checked against ezdxf's own geometry; hostile files refused.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/codepage.h"
#include "jww/JwwUnit.h"
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
// centring on the paper makes.
TEST(DxfInRoundTrip, CorpusLinesAndArcsComeBack) {
  if (!std::filesystem::is_directory(DRAVIK_CORPUS_DIR)) GTEST_SKIP() << "no corpus";
  if (!HaveEzdxf()) GTEST_SKIP();
  jwwtest::TempDir dir;
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(DRAVIK_CORPUS_DIR)) {
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
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
