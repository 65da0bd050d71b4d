// The index sheet: a template drawing's keys filled from a list, the list file read back, the
// ends of changed texts, sheets, and the jww fill / dravik-list --template commands.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "common/Func_2.h"
#include "common/codepage.h"
#include "list/Fill.h"
#include "list/ListFile.h"
#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

using dravik::FillAnchor;
using dravik::FillPlan;
using dravik::ListValues;

namespace {

jww::TJwwData NewDrawing() {
  jww::TJwwData d;
  d.DataDefaultSet();
  return d;
}

// A text of 4 mm wide characters, no spacing, at the given start point and angle.
bool AddText(jww::TJwwData& d, const std::u16string& s, double x = 0, double y = 0, double a = 0) {
  return d.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 0, x, y, 4.0, 4.0, 0.0, a, u"ＭＳ ゴシック", s);
}

ListValues Parsed(const std::string& bytes) {
  ListValues v;
  std::string why;
  EXPECT_TRUE(v.Parse(bytes, why)) << why;
  return v;
}

// A template of `rows` rows, each "No.%%<r>f" and "%%<r>fs1 / %%<r>SZ", a title "%%PA", a block
// definition holding "%%<rows>e" inserted once, and a dimension whose text is "%%1DT".
jww::TJwwData Template(int rows) {
  jww::TJwwData d = NewDrawing();
  for (int r = 1; r <= rows; ++r) {
    const std::string k = "%%" + std::to_string(r);
    EXPECT_TRUE(AddText(d, jww::Utf8ToStr("No." + k + "f"), 10, 200 - 10.0 * r));
    EXPECT_TRUE(AddText(d, jww::Utf8ToStr(k + "fs1 / " + k + "SZ"), 80, 200 - 10.0 * r));
  }
  EXPECT_TRUE(AddText(d, u"%%PA", 10, 250));
  EXPECT_TRUE(AddText(d, u"100%% done", 10, 260));  // no key: stays as it is
  EXPECT_TRUE(d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 0, u"cell"));
  EXPECT_TRUE(d.AddBlkMoji(0, 0, 0, 0, 1, 1, 0, 0, 0, 0.0, 0.0, 4.0, 4.0, 0.0, 0.0, u"", jww::Utf8ToStr("%%" + std::to_string(rows) + "e")));
  EXPECT_TRUE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, 150.0, 20.0, 1.0, 1.0, 0.0));
  EXPECT_TRUE(d.AddEntSunpo(0, 0, 0, 1, 1, 0, 0, 0.0, 10.0, 100.0, 10.0, 1, 2, 0, 0, 0, 50.0, 10.0, 3.0, 3.0,
                            0.0, 0.0, u"", u"%%1DT"));
  d.AddEntPost();
  return d;
}

// Key -> value of a list file's lines, split here rather than by the reader under test.
std::map<std::u16string, std::u16string> KeyValues(const std::vector<std::u16string>& lines) {
  std::map<std::u16string, std::u16string> m;
  for (const auto& l : lines)
    if (size_t tab = l.find(u'\t'); tab != std::u16string::npos) m[l.substr(0, tab)] = l.substr(tab + 1);
  return m;
}

std::u16string Key(int slot, const char* code) { return jww::Utf8ToStr("%%" + std::to_string(slot) + code); }

// What a key of `slot` holds in the list (a slot beyond it is blank).
std::u16string Expected(const std::map<std::u16string, std::u16string>& kv, int slot, const char* code) {
  auto it = kv.find(Key(slot, code));
  return it == kv.end() ? u" " : it->second;
}

std::vector<std::u16string> Drawings(const jwwtest::TempDir& dir, int n) {
  std::vector<std::u16string> files;
  for (int i = 1; i <= n; ++i) {
    jww::TJwwData d = NewDrawing();
    for (int k = 0; k < i; ++k) AddText(d, u"x", k, 0);  // sizes differ from drawing to drawing
    d.AddEntPost();
    const std::string path = dir.path("A-0" + std::to_string(i) + " 平面図.jww");
    EXPECT_TRUE(d.FileOut(jww::Utf8ToStr(path), 600));
    files.push_back(jww::Utf8ToStr(path));
  }
  return files;
}

}  // namespace

// Five drawings into a template of three rows: two sheets, the second with one blank row; the
// values of the drawing's texts, the block definition's text and the dimension's text are the
// list file's, and the template file stays as it was.
TEST(Fill, SheetsFromListFile) {
  jwwtest::TempDir dir;
  const auto files = Drawings(dir, 5);
  jww::TJwwData scratch;
  const auto lines = dravik::ListFileLines(files, 0, scratch, jww::TRegional{});
  const auto kv = KeyValues(lines);
  const std::u16string listPath = jww::Utf8ToStr(dir.path("List.txt"));
  ASSERT_TRUE(dravik::SaveListFile(listPath, lines));

  ListValues values;
  std::string why;
  ASSERT_TRUE(dravik::ReadListFile(listPath, values, why)) << why;
  EXPECT_EQ(values.Folder(), kv.at(u"%%PA"));
  EXPECT_EQ(values.LastFilledSlot(), 5);

  const std::u16string tplPath = jww::Utf8ToStr(dir.path("template.jww"));
  jww::TJwwData tpl = Template(3);
  ASSERT_TRUE(tpl.FileOut(tplPath, 600));
  const auto tplBytes = jww::ReadWholeFile(tplPath);
  jww::TJwwData doc;
  ASSERT_TRUE(doc.FileIn(tplPath));
  FillPlan plan(doc, values);
  EXPECT_EQ(plan.Rows(), 3);
  EXPECT_EQ(plan.KeyCount(), 3u * 3 + 1 + 1 + 1);
  ASSERT_EQ(plan.SheetCount(), 2);
  const std::u16string out = jww::Utf8ToStr(dir.path("index.jww"));
  ASSERT_TRUE(dravik::WriteFilledSheets(doc, plan, out, 600, FillAnchor::kStart, why)) << why;
  EXPECT_EQ(jww::ReadWholeFile(tplPath), tplBytes);
  EXPECT_FALSE(jww::FileExists(jww::Utf8ToStr(dir.path("index-3.jww"))));

  for (int sheet = 1; sheet <= 2; ++sheet) {
    jww::TJwwData got;
    ASSERT_TRUE(got.FileIn(dravik::SheetName(out, sheet)));
    ASSERT_EQ(got.EntMojiN, 3 * 2 + 2);
    const int off = (sheet - 1) * 3;
    for (int r = 1; r <= 3; ++r) {
      EXPECT_EQ(got.EntMoji[2 * (r - 1)].str, u"No." + Expected(kv, r + off, "f"));
      EXPECT_EQ(got.EntMoji[2 * (r - 1) + 1].str, Expected(kv, r + off, "fs1") + u" / " + Expected(kv, r + off, "SZ"));
    }
    EXPECT_EQ(got.EntMoji[6].str, kv.at(u"%%PA"));
    EXPECT_EQ(got.EntMoji[7].str, u"100%% done");
    EXPECT_EQ(got.EntBlockDef[0].mMoji[0].str, Expected(kv, 3 + off, "e"));
    EXPECT_EQ(got.EntSunpo[0].Moji.str, Expected(kv, 1 + off, "DT"));
  }
  // The real values came through: a name word in code page 932 and a blank row.
  EXPECT_EQ(Expected(kv, 4, "fs1"), u"A-04");
  EXPECT_EQ(Expected(kv, 6, "f"), u" ");
}

// The list's values taken straight from the generator are those read back from its file.
TEST(Fill, GeneratorAndFileAgree) {
  jwwtest::TempDir dir;
  const auto files = Drawings(dir, 2);
  jww::TJwwData scratch;
  ListValues direct;
  dravik::ListFileOut(files, 4, scratch, jww::TRegional{}, direct);
  const ListValues read = Parsed(dravik::ListFileBytes(dravik::ListFileLines(files, 4, scratch, jww::TRegional{})));
  ASSERT_EQ(direct.Codes(), read.Codes());
  EXPECT_EQ(direct.Codes().size(), size_t{dravik::kLinesPerSlot});
  EXPECT_EQ(direct.Folder(), read.Folder());
  EXPECT_EQ(direct.LastFilledSlot(), 2);
  for (int64_t slot = 1; slot <= 5; ++slot)
    for (size_t c = 0; c < direct.Codes().size(); ++c) EXPECT_EQ(direct.Value(slot, c), read.Value(slot, c));
}

// How keys are found in a text: the longest code, any number of digits, several keys with other
// characters, and a "%%" that is no key left alone.
TEST(Fill, KeysInText) {
  const ListValues v = Parsed(
      "%%PA\t/d/\r\n%%1f\tplan\r\n%%1fs1\tA-01\r\n%%1SS0\t1/50\r\n%%1SSa\t1/2\r\n%%12SSa\t1/100\r\n"
      "%%2f\t\x95\xbd\x96\xca\x90\x7d\r\n%%3f\t\r\n ");
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"%%1fs1", u"A-01"},         {u"%%1fs", u"plans"},         {u"%%12SSa", u"1/100"},
      {u"%%1SSab", u"1/2b"},         {u"[%%1f|%%1SS0]", u"[plan|1/50]"}, {u"%%%1f", u"%plan"},
      {u"%%2f", u"平面図"},          {u"%%PA%%1f", u"/d/plan"},     {u"%%3f", u" "},
      {u"%%0f %%1x 100%%", u"%%0f %%1x 100%%"}, {u"%%7f", u" "},   {u"%%f", u"%%f"},
  };
  for (const Case& c : cases) {
    jww::TJwwData d = NewDrawing();
    ASSERT_TRUE(AddText(d, c.in));
    d.AddEntPost();
    FillPlan plan(d, v);
    plan.Apply(1, FillAnchor::kStart);
    EXPECT_EQ(d.EntMoji[0].str, c.out) << jww::StrToUtf8(c.in);
    plan.Restore();
    EXPECT_EQ(d.EntMoji[0].str, c.in);
  }
}

// Lines in any order: slots out of turn, codes of a slot in another order than the first slot's,
// a key given twice (the later line counts, a blank one too), a line without its CR.
TEST(Fill, ValuesInAnyOrder) {
  const ListValues v = Parsed(
      "%%PA\t/d/\r\n%%2f\ttwo\r\n%%2e\ttwo.jww\r\n%%1e\tone.jww\r\n%%1f\tone\r\n%%3f\tthree\r\n"
      "%%3e\tthree.jww\r\n%%3f\tTHREE\n%%2f\tTWO\r\n%%4f\tfour\r\n%%4f\t \r\n%%1e\tONE.jww\r\n ");
  ASSERT_EQ(v.Codes(), (std::vector<std::u16string>{u"f", u"e"}));
  const std::pair<int, const char16_t*> f[] = {{1, u"one"}, {2, u"TWO"}, {3, u"THREE"}, {4, u" "}, {5, u" "}};
  for (const auto& [slot, value] : f) EXPECT_EQ(v.Value(slot, 0), value) << slot;
  const std::pair<int, const char16_t*> e[] = {{1, u"ONE.jww"}, {2, u"two.jww"}, {3, u"three.jww"}, {4, u" "}};
  for (const auto& [slot, value] : e) EXPECT_EQ(v.Value(slot, 1), value) << slot;
  EXPECT_EQ(v.LastFilledSlot(), 4);
}

TEST(Fill, NotAListFile) {
  struct Case {
    const char* bytes;
    const char* why;
  } cases[] = {
      {"%%1f\tplan\r\n ", "no %%PA line"},
      {"%%PA\t/d/\r\n%%1f plan\r\n ", "line 2 has no TAB between key and value"},
      {"%%PA\t/d/\r\nname\tplan", "line 2 holds no list key"},
      {"", "no %%PA line"},
      // A slot far beyond the list's lines would be a run of blank sheets without end.
      {"%%PA\t/\r\n%%1099511627776f\tx\r\n ", "line 2 holds no list key"},
  };
  for (const Case& c : cases) {
    ListValues v;
    std::string why;
    EXPECT_FALSE(v.Parse(c.bytes, why)) << c.bytes;
    EXPECT_EQ(why, c.why);
  }
}

// A changed text keeps its start, middle or end; the other end follows the new length along the
// text's angle. Expected ends worked out here: half-width characters of a 4 mm text are 2 mm.
TEST(Fill, AnchoredEnds) {
  const ListValues v = Parsed("%%PA\t/\r\n%%1f\tABCDEFGH\r\n ");
  for (double a : {0.0, 90.0, 30.0}) {
    for (FillAnchor anchor : {FillAnchor::kStart, FillAnchor::kCentre, FillAnchor::kEnd}) {
      jww::TJwwData d = NewDrawing();
      ASSERT_TRUE(AddText(d, u"%%1f", 10, 20, a));  // 4 characters, 8 mm
      d.AddEntPost();
      const jww::TEntJwwMoji before = d.EntMoji[0];
      FillPlan plan(d, v);
      plan.Apply(1, anchor);
      const jww::TEntJwwMoji& m = d.EntMoji[0];
      const double c = std::cos(a * M_PI / 180), s = std::sin(a * M_PI / 180);
      EXPECT_NEAR(m.end_x - m.start_x, 16 * c, 1e-9);
      EXPECT_NEAR(m.end_y - m.start_y, 16 * s, 1e-9);
      double kx = before.start_x, ky = before.start_y, gx = m.start_x, gy = m.start_y;
      if (anchor == FillAnchor::kCentre) {
        kx = (before.start_x + before.end_x) / 2, ky = (before.start_y + before.end_y) / 2;
        gx = (m.start_x + m.end_x) / 2, gy = (m.start_y + m.end_y) / 2;
      } else if (anchor == FillAnchor::kEnd) {
        kx = before.end_x, ky = before.end_y, gx = m.end_x, gy = m.end_y;
      }
      EXPECT_NEAR(gx, kx, 1e-9) << a << " " << static_cast<int>(anchor);
      EXPECT_NEAR(gy, ky, 1e-9) << a << " " << static_cast<int>(anchor);
    }
  }
}

TEST(Fill, SheetNames) {
  EXPECT_EQ(dravik::SheetName(u"/a/index.jww", 1), u"/a/index.jww");
  EXPECT_EQ(dravik::SheetName(u"/a/index.jww", 12), u"/a/index-12.jww");
  EXPECT_EQ(dravik::SheetName(u"/a.b/index", 2), u"/a.b/index-2");
  EXPECT_EQ(dravik::SheetName(u"/a/.jww", 2), u"/a/.jww-2");
}

namespace {

// A folder with five drawings, their list file and a template of three rows.
struct ToolFixture {
  jwwtest::TempDir dir;
  std::vector<std::u16string> files = Drawings(dir, 5);
  std::map<std::u16string, std::u16string> kv;
  std::string list = dir.path("List.txt"), tpl = dir.path("template.jww");
  ToolFixture() {
    jww::TJwwData scratch;
    const auto lines = dravik::ListFileLines(files, 0, scratch, jww::TRegional{});
    kv = KeyValues(lines);
    EXPECT_TRUE(dravik::SaveListFile(jww::Utf8ToStr(list), lines));
    jww::TJwwData t = Template(3);
    EXPECT_TRUE(t.FileOut(jww::Utf8ToStr(tpl), 600));
  }
  std::string Q(const std::string& name) const { return "'" + dir.path(name) + "'"; }
};

std::u16string FirstText(const std::string& path) {
  jww::TJwwData d;
  EXPECT_TRUE(d.FileIn(jww::Utf8ToStr(path))) << path;
  return d.EntMojiN > 0 ? d.EntMoji[0].str : u"";
}

}  // namespace

// jww fill writes one drawing a sheet, or one PDF of a page a sheet; --anchor end keeps the ends.
TEST(FillTool, SheetsAndPdf) {
  ToolFixture f;
  // Sheets of an earlier, longer fill are left as they are, and said to be.
  for (const char* stale : {"index-3.jww", "index-4.jww"})
    ASSERT_TRUE(jww::WriteFileAtomic(jww::Utf8ToStr(f.dir.path(stale)), "earlier"));
  auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "fill " + f.Q("template.jww") + " " + f.Q("List.txt") + " " +
                                                 f.Q("index.jww") + " --anchor end --version 420", f.dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "jww: " + f.dir.path("index-3.jww") + " .. " + f.dir.path("index-4.jww") +
                       " (2 sheets) from an earlier fill are left as they were (this fill made 2 sheets)\n");
  EXPECT_EQ(FirstText(f.dir.path("index.jww")), u"No." + Expected(f.kv, 1, "f"));
  EXPECT_EQ(FirstText(f.dir.path("index-2.jww")), u"No." + Expected(f.kv, 4, "f"));
  EXPECT_EQ(jww::ReadWholeFile(jww::Utf8ToStr(f.dir.path("index-3.jww"))), "earlier");
  jww::TJwwData t, got;
  ASSERT_TRUE(t.FileIn(jww::Utf8ToStr(f.tpl)));
  ASSERT_TRUE(got.FileIn(jww::Utf8ToStr(f.dir.path("index-2.jww"))));
  EXPECT_EQ(got.Enthd.jwVer, 420);
  EXPECT_NEAR(got.EntMoji[0].end_x, t.EntMoji[0].end_x, 1e-9);
  EXPECT_NE(got.EntMoji[0].start_x, t.EntMoji[0].start_x);

  r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "fill " + f.Q("template.jww") + " " + f.Q("List.txt") + " " + f.Q("index.pdf"), f.dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(jww::FileExists(jww::Utf8ToStr(f.dir.path("index-2.pdf"))));
  const std::string info = f.dir.path("info.txt");
  if (std::system(("pdfinfo " + f.Q("index.pdf") + " >" + info + " 2>/dev/null").c_str()) == 0) {
    const std::string text = jww::ReadWholeFile(jww::Utf8ToStr(info)).value_or("");
    const size_t at = text.find("Pages:");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(std::atoi(text.c_str() + at + 6), 2) << text;
  }
}

// Bad input: one line, exit 2 (1 for a template without keys), and nothing written.
TEST(FillTool, BadInput) {
  ToolFixture f;
  jww::TJwwData plain = NewDrawing();
  AddText(plain, u"no keys here");
  ASSERT_TRUE(plain.FileOut(jww::Utf8ToStr(f.dir.path("plain.jww")), 600));
  ASSERT_TRUE(jww::WriteFileAtomic(jww::Utf8ToStr(f.dir.path("nopa.txt")), "%%1f\tplan\r\n "));
  ASSERT_TRUE(jww::WriteFileAtomic(jww::Utf8ToStr(f.dir.path("notab.txt")), "%%PA\t/\r\n%%1f plan\r\n "));
  const auto tplBytes = jww::ReadWholeFile(jww::Utf8ToStr(f.tpl));
  struct Case {
    std::string args;
    int status;
    std::string err;
  } cases[] = {
      {f.Q("List.txt") + " " + f.Q("List.txt") + " " + f.Q("out.jww"), 2, "not a JWW drawing"},
      {f.Q("template.jww") + " " + f.Q("nopa.txt") + " " + f.Q("out.jww"), 2, "not a list file: no %%PA line"},
      {f.Q("template.jww") + " " + f.Q("notab.txt") + " " + f.Q("out.jww"), 2, "line 2 has no TAB"},
      {f.Q("plain.jww") + " " + f.Q("List.txt") + " " + f.Q("out.jww"), 1, "jww: no %% key in the template\n"},
      {f.Q("template.jww") + " " + f.Q("List.txt") + " " + f.Q("out.jpg"), 2, "unknown output type"},
      {f.Q("template.jww") + " " + f.Q("List.txt") + " " + f.Q("template.jww"), 2, "is the template itself"},
  };
  for (const Case& c : cases) {
    const auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "fill " + c.args, f.dir);
    EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(jww::FileExists(jww::Utf8ToStr(f.dir.path("out.jww"))));
  }
  EXPECT_EQ(jww::ReadWholeFile(jww::Utf8ToStr(f.tpl)), tplBytes);
}

// The picture options convert has: a budget refuses the output whole, --fit drawing makes a
// smaller picture than the paper's, and progress shows on a terminal unless --quiet.
TEST(FillTool, PictureOptions) {
  ToolFixture f;
  const std::string fill = "fill " + f.Q("template.jww") + " " + f.Q("List.txt") + " ";
  for (const char* out : {"index.pdf", "index.png"}) {
    const auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, fill + f.Q(out) + " --budget 10", f.dir);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("more than 10 items; nothing written (--budget sets the limit)"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(jww::FileExists(jww::Utf8ToStr(f.dir.path(out))));
    EXPECT_FALSE(jww::FileExists(jww::Utf8ToStr(f.dir.path("index-2.png"))));
  }
  // Width and height from a PNG's header.
  auto size = [&](const char* name) {
    const std::string b = jww::ReadWholeFile(jww::Utf8ToStr(f.dir.path(name))).value_or("");
    auto be = [&](size_t at) {
      return b.size() < at + 4 ? 0u : (uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
                                       uint32_t(uint8_t(b[at + 2])) << 8 | uint32_t(uint8_t(b[at + 3])));
    };
    return std::pair<uint32_t, uint32_t>(be(16), be(20));
  };
  ASSERT_EQ(jwwtest::RunTool(DRAVIK_JWW_TOOL, fill + f.Q("paper.png") + " --dpi 20 -q", f.dir).status, 0);
  ASSERT_EQ(jwwtest::RunTool(DRAVIK_JWW_TOOL, fill + f.Q("drawn.png") + " --dpi 20 --fit drawing", f.dir).status, 0);
  const auto paper = size("paper.png"), drawn = size("drawn.png"), drawn2 = size("drawn-2.png");
  EXPECT_GT(paper.first, 0u);
  EXPECT_LT(drawn.first, paper.first);
  EXPECT_LT(drawn.second, paper.second);
  EXPECT_GT(drawn2.first, 0u);

  if (std::system("script -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) for a terminal";
  for (const char* quiet : {"", " --quiet"}) {
    const std::string shown = f.dir.path("shown.txt");
    const std::string cmd = std::string(DRAVIK_JWW_TOOL) + " " + fill + f.Q("index.pdf") + quiet;
    ASSERT_EQ(std::system(("script -qec \"" + cmd + "\" /dev/null >'" + shown + "' </dev/null").c_str()), 0);
    const std::string seen = jww::ReadWholeFile(jww::Utf8ToStr(shown)).value_or("");
    if (*quiet) {
      EXPECT_EQ(seen.find("jww:"), std::string::npos) << seen;
    } else {
      EXPECT_NE(seen.find("\rjww: reading the list"), std::string::npos) << seen;
      EXPECT_NE(seen.find("\rjww: filling the sheets"), std::string::npos) << seen;
      ASSERT_GE(seen.size(), 4u);
      EXPECT_EQ(seen.substr(seen.size() - 4), "\r\033[K") << seen;  // cleared at the end
    }
  }
}

// dravik-list --template fills the template straight from the drawings: the same sheets as jww fill
// from the list file of the same drawings.
TEST(FillTool, ListToolTemplate) {
  ToolFixture f;
  std::string args = "--template " + f.Q("template.jww") + " -o " + f.Q("direct.jww");
  for (const auto& p : f.files) args += " '" + jww::StrToUtf8(p) + "'";
  auto r = jwwtest::RunTool(DRAVIK_LIST_TOOL, args, f.dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "fill " + f.Q("template.jww") + " " + f.Q("List.txt") + " " + f.Q("viafile.jww"), f.dir);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* sheet : {"", "-2"})
    EXPECT_EQ(jww::ReadWholeFile(jww::Utf8ToStr(f.dir.path(std::string("direct") + sheet + ".jww"))),
              jww::ReadWholeFile(jww::Utf8ToStr(f.dir.path(std::string("viafile") + sheet + ".jww"))));
  r = jwwtest::RunTool(DRAVIK_LIST_TOOL, "--template " + f.Q("template.jww") + " -o " + f.Q("x.pdf") + " " + f.Q("template.jww"), f.dir);
  EXPECT_EQ(r.status, 2);
}

// The real drawings listed and filled into a template built by jww build: ten rows of all the
// list's codes, "%%PA", a key in a block definition and one in a dimension. Every text of every
// sheet holds the value the list file's own line gives (split here, decoded from code page 932).
TEST(FillTool, CorpusIntoBuiltTemplate) {
  const std::string corpus = jwwtest::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus";
  jwwtest::TempDir dir;
  std::vector<std::string> drawings;
  for (const auto& e : std::filesystem::directory_iterator(corpus))
    if (e.path().extension() == ".jww") drawings.push_back(e.path().string());
  std::sort(drawings.begin(), drawings.end());
  ASSERT_GT(drawings.size(), 10u);

  const std::vector<std::string> codes = {"F", "e", "f", "fs1", "fs2", "fs3", "fs4", "fs5", "fs6", "fs7",
                                          "fs8", "fs9", "DT", "D", "T", "J", "SZ", "mm", "m1", "m2",
                                          "p", "SS0", "SS1", "SS2", "SS3", "SS4", "SS5", "SS6", "SS7", "SS8",
                                          "SS9", "SSa", "SSb", "SSc", "SSd", "SSe", "SSf"};
  nlohmann::json items = nlohmann::json::array();
  for (int r = 1; r <= 10; ++r)
    for (size_t c = 0; c < codes.size(); ++c)
      items.push_back({{"type", "text"}, {"text", "%%" + std::to_string(r) + codes[c]}, {"at", {c * 10.0 - 190, 120 - r * 10.0}}});
  items.push_back({{"type", "text"}, {"text", "%%PA"}, {"at", {-190, 130}}});
  items.push_back({{"type", "block"}, {"name", "b"}, {"items", {{{"type", "text"}, {"text", "<%%10SSf>"}, {"at", {0, 0}}}}}});
  items.push_back({{"type", "insert"}, {"block", "b"}, {"at", {0, -100}}});
  items.push_back({{"type", "dimension"}, {"from", {-100, -120}}, {"to", {100, -120}}, {"text", "%%1F"}, {"text_at", {-10, -118}}});
  const nlohmann::json recipe = {{"paper", "A1"}, {"items", items}};
  std::ofstream(dir.path("t.json")) << recipe.dump();
  std::string list;
  for (const auto& d : drawings) list += d + "\n";
  std::ofstream(dir.path("files.txt")) << list;
  auto r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "build " + dir.path("t.json") + " " + dir.path("t.jww"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = jwwtest::RunTool(DRAVIK_LIST_TOOL, "--from " + dir.path("files.txt") + " -o " + dir.path("List.txt"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = jwwtest::RunTool(DRAVIK_JWW_TOOL, "fill " + dir.path("t.jww") + " " + dir.path("List.txt") + " " + dir.path("i.jww"), dir);
  ASSERT_EQ(r.status, 0) << r.err;

  std::map<std::u16string, std::u16string> kv;
  const std::string bytes = jww::ReadWholeFile(jww::Utf8ToStr(dir.path("List.txt"))).value();
  for (size_t at = 0, end; at < bytes.size(); at = end + 2) {
    end = std::min(bytes.find("\r\n", at), bytes.size());
    const std::string line = bytes.substr(at, end - at);
    if (size_t tab = line.find('\t'); tab != std::string::npos)
      kv[jww::AnsiToStr(line.substr(0, tab))] = jww::AnsiToStr(line.substr(tab + 1));
  }
  const int sheets = static_cast<int>((drawings.size() + 9) / 10);
  EXPECT_FALSE(jww::FileExists(dravik::SheetName(jww::Utf8ToStr(dir.path("i.jww")), sheets + 1)));
  for (int k = 1; k <= sheets; ++k) {
    jww::TJwwData got;
    ASSERT_TRUE(got.FileIn(dravik::SheetName(jww::Utf8ToStr(dir.path("i.jww")), k)));
    ASSERT_EQ(got.EntMojiN, static_cast<jww::Integer>(10 * codes.size() + 1));
    for (int row = 1; row <= 10; ++row)
      for (size_t c = 0; c < codes.size(); ++c)
        EXPECT_EQ(got.EntMoji[(row - 1) * codes.size() + c].str, Expected(kv, (k - 1) * 10 + row, codes[c].c_str()))
            << "sheet " << k << " row " << row << " " << codes[c];
    EXPECT_EQ(got.EntMoji[10 * codes.size()].str, kv.at(u"%%PA"));
    EXPECT_EQ(got.EntBlockDef[0].mMoji[0].str, u"<" + Expected(kv, k * 10, "SSf") + u">");
    EXPECT_EQ(got.EntSunpo[0].Moji.str, Expected(kv, (k - 1) * 10 + 1, "F"));
  }
}
