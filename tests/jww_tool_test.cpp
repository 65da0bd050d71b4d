// The jww tool as a user runs it: new, info, dump, convert, and its failures.
#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

#ifdef DRAVIK_JWW_TOOL
namespace {

jwwtest::ToolRun Jww(const std::string& args, const jwwtest::TempDir& dir) {
  return jwwtest::RunTool(DRAVIK_JWW_TOOL, args, dir);
}

std::string Read(const std::string& path) { return jww::ReadWholeFile(jww::Utf8ToStr(path)).value_or(""); }

}  // namespace

TEST(JwwTool, NewConvertInfoDump) {
  jwwtest::TempDir dir;
  const std::string a = dir.path("empty.jww"), b = dir.path("old.jww");
  ASSERT_EQ(Jww("new " + a, dir).status, 0);
  jww::TJwwData d;
  ASSERT_TRUE(d.FileIn(jww::Utf8ToStr(a)));
  EXPECT_EQ(d.Enthd.jwVer, 600);
  EXPECT_EQ(d.EntLgrp.size(), 16u);

  jwwtest::ToolRun r = Jww("convert " + a + " " + b + " --version 420", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_TRUE(d.FileIn(jww::Utf8ToStr(b)));
  EXPECT_EQ(d.Enthd.jwVer, 420);

  r = Jww("info " + b + " >" + dir.path("info.txt"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(Read(dir.path("info.txt")).find("420"), std::string::npos);

  // The dump is JSON keyed by the model's names, and the same for the same drawing.
  ASSERT_EQ(Jww("dump " + b + " >" + dir.path("1.json"), dir).status, 0);
  ASSERT_EQ(Jww("dump --budget 5 " + b + " >" + dir.path("2.json"), dir).status, 0);
  const std::string dump = Read(dir.path("1.json"));
  EXPECT_EQ(dump, Read(dir.path("2.json")));  // nothing beyond the budget in an empty drawing
  const auto json = nlohmann::json::parse(dump);
  EXPECT_EQ(json.at("Enthd").at("jwVer"), 420);
  EXPECT_EQ(json.at("EntLgrp").size(), 16u);
  // The derived block tree, which can be far larger than the drawing, only when asked for.
  EXPECT_FALSE(json.contains("EntBlockTree"));
  EXPECT_EQ(json.at("EntBlockTreeN"), 0);
  ASSERT_EQ(Jww("dump --tree " + b + " >" + dir.path("3.json"), dir).status, 0);
  EXPECT_TRUE(nlohmann::json::parse(Read(dir.path("3.json"))).contains("EntBlockTree"));
}

// Text from a drawing reaches the terminal with its control characters escaped.
TEST(JwwTool, InfoEscapesControlCharacters) {
  jwwtest::TempDir dir;
  jww::TJwwData d;
  d.DataDefaultSet();
  d.Enthd.strMemo = u"\x1b]0;owned\x07\x1b[2Jline\r\nnext\x9b";
  const std::string f = dir.path("esc.jww");
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(f), 600));
  ASSERT_EQ(Jww("info " + f + " >" + dir.path("info.txt"), dir).status, 0);
  const std::string info = Read(dir.path("info.txt"));
  EXPECT_NE(info.find("memo      \\x1b]0;owned\\x07\\x1b[2Jline\\r\\nnext\\x9b\n"), std::string::npos) << info;
  EXPECT_EQ(info.find('\x1b'), std::string::npos);
}

// A description lists the first 100 tree nodes and says how many more there are; --all lists
// every one. The counts come from the summary read and match the drawing.
TEST(JwwTool, InfoListsTheFirstNodesUnlessAllAreAsked) {
  jwwtest::TempDir dir;
  jww::TJwwData d;
  d.DataDefaultSet();
  ASSERT_TRUE(d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"part"));
  ASSERT_TRUE(d.AddBlkLine(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  for (int i = 0; i < 150; ++i) ASSERT_TRUE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, i, 0, 1, 1, 0));
  ASSERT_TRUE(d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 5, 5));
  ASSERT_TRUE(d.AddEntPost());
  const std::string f = dir.path("many.jww");
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(f), 600));

  auto nodeLines = [](const std::string& info) {  // "  name (#no) at x, y"
    int n = 0;
    for (size_t at = info.find(") at "); at != std::string::npos; at = info.find(") at ", at + 1)) ++n;
    return n;
  };
  ASSERT_EQ(Jww("info " + f + " >" + dir.path("a.txt"), dir).status, 0);
  ASSERT_EQ(Jww("info --all " + f + " >" + dir.path("b.txt"), dir).status, 0);
  const std::string shown = Read(dir.path("a.txt")), all = Read(dir.path("b.txt"));
  EXPECT_NE(shown.find("entities  151: lines 1, arcs 0, points 0, texts 0, dimensions 0, solids 0, "
                       "block insertions 150\n"), std::string::npos) << shown;
  EXPECT_NE(shown.find("block tree 150 nodes\n"), std::string::npos);
  EXPECT_NE(shown.find("\n  ... 50 more (--all lists them)\n"), std::string::npos) << shown;
  EXPECT_EQ(nodeLines(shown), 100);
  EXPECT_EQ(nodeLines(all), 150);
  EXPECT_EQ(all.find("more"), std::string::npos);
}

// The private image folder is made only for a drawing with images; a missing TMPDIR then fails
// with the system's reason, and write failures carry theirs.
TEST(JwwTool, ConvertNeedsATemporaryFolderOnlyForImages) {
  jwwtest::TempDir dir;
  const std::string plain = dir.path("plain.jww"), images = dir.path("images.jww"), out = dir.path("out.jww");
  ASSERT_EQ(Jww("new --version 700 " + plain, dir).status, 0);
  jwwtest::Bytes b;
  b.Header(700).u16(0).u16(0).i32(1).str("a.jpg.gz").i32(3).raw("xyz");
  b.WriteTo(images);
  const std::string noTmp = "TMPDIR=" + dir.path("missing") + " " DRAVIK_JWW_TOOL;

  jwwtest::ToolRun r = jwwtest::RunTool(noTmp, "convert " + plain + " " + out, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  r = jwwtest::RunTool(noTmp, "convert " + images + " " + out, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  r = Jww("convert " + images + " " + out, dir);
  EXPECT_EQ(r.status, 0) << r.err;
  jww::TJwwData d;
  d.BindImageExr = true;
  ASSERT_TRUE(d.FileIn(jww::Utf8ToStr(out)));
  EXPECT_EQ(d.BindImageN, 0);  // no text refers to the image, so it is not kept

  r = Jww("convert " + plain + " " + dir.path("no/such/dir.jww"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write a version 700 drawing: No such file or directory"), std::string::npos) << r.err;
}

TEST(JwwTool, FailuresNameTheFileAndKeepTheOutput) {
  jwwtest::TempDir dir;
  const std::string bad = dir.path("bad.jww"), out = dir.path("out.jww");
  jwwtest::Bytes().raw(jwwtest::Bytes().Header(600).data().substr(0, 500)).WriteTo(bad);
  jwwtest::Bytes().raw("keep me").WriteTo(out);

  jwwtest::ToolRun r = Jww("dump " + bad, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("File I/O Error"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);

  r = Jww("convert " + bad + " " + out, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Read(out), "keep me");

  ASSERT_EQ(Jww("new " + dir.path("ok.jww"), dir).status, 0);
  r = Jww("convert " + dir.path("ok.jww") + " " + dir.path("no/such/dir.jww"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no/such/dir.jww"), std::string::npos) << r.err;

  for (const std::string& args : {std::string(""), std::string("frobnicate x"),
                                  std::string("convert a.jww b.jww --version 100"),
                                  std::string("info --bogus x.jww")})
    EXPECT_EQ(Jww(args, dir).status, 2) << args;
  EXPECT_EQ(Jww("--help >/dev/null", dir).status, 0);
}
#endif
