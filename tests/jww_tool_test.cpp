// The jww tool as a user runs it: new, info, dump, convert, and its failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <limits>

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

// Bound images are carried in memory: no temporary folder is needed, for a drawing with images
// either, and write failures carry the system's reason.
TEST(JwwTool, ConvertNeedsNoTemporaryFolder) {
  jwwtest::TempDir dir;
  const std::string plain = dir.path("plain.jww"), images = dir.path("images.jww"), out = dir.path("out.jww");
  ASSERT_EQ(Jww("new --version 700 " + plain, dir).status, 0);
  jwwtest::Bytes b;
  b.Header(700).u16(0).u16(0).i32(1).str("a.jpg.gz").i32(3).raw("xyz");
  b.WriteTo(images);
  const std::string noTmp = "TMPDIR=" + dir.path("missing") + " " DRAVIK_JWW_TOOL;

  for (const std::string& in : {plain, images}) {
    const jwwtest::ToolRun r = jwwtest::RunTool(noTmp, "convert " + in + " " + out, dir);
    EXPECT_EQ(r.status, 0) << r.err;
  }
  jww::TJwwData d;
  d.BindImageExr = true;
  ASSERT_TRUE(d.FileIn(jww::Utf8ToStr(out)));
  EXPECT_EQ(d.BindImageN, 0);  // no text refers to the image, so it is not kept

  const jwwtest::ToolRun r = Jww("convert " + plain + " " + dir.path("no/such/dir.jww"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write a drawing: No such file or directory"), std::string::npos) << r.err;
}

TEST(JwwTool, FailuresNameTheFileAndKeepTheOutput) {
  jwwtest::TempDir dir;
  const std::string bad = dir.path("bad.jww"), out = dir.path("out.jww");
  jwwtest::Bytes().raw(jwwtest::Bytes().Header(600).data().substr(0, 500)).WriteTo(bad);
  jwwtest::Bytes().raw("keep me").WriteTo(out);

  jwwtest::ToolRun r = Jww("dump " + bad, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "jww: " + bad + ": the drawing ends early (byte 500 of 500)\n");

  r = Jww("convert " + bad + " " + out, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Read(out), "keep me");

  ASSERT_EQ(Jww("new " + dir.path("ok.jww"), dir).status, 0);
  r = Jww("convert " + dir.path("ok.jww") + " " + dir.path("no/such/dir.jww"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no/such/dir.jww"), std::string::npos) << r.err;

}

// Why a read failed, told as what it means for the file rather than in the library's own terms.
TEST(JwwTool, ReadFailuresSayWhatIsWrongWithTheFile) {
  jwwtest::TempDir dir;
  jwwtest::Bytes().raw("PK\x03\x04 a zip, not a drawing").WriteTo(dir.path("zip.jww"));
  jwwtest::Bytes().raw("JwwData.").u32(999).fill(64).WriteTo(dir.path("v999.jww"));
  jwwtest::Bytes().raw("JwwData.").u16(600).WriteTo(dir.path("short.jww"));
  jwwtest::Bytes b;
  b.Header(600).u16(1).u16(0xFFFF).u16(600).u16(8).raw("CDataXyz").fill(100);
  b.WriteTo(dir.path("damaged.jww"));
  const std::string damagedSize = std::to_string(b.size());
  ::mkdir(dir.path("folder.jww").c_str(), 0700);
  struct Case {
    const char* file;
    std::string why;
  } cases[] = {
      {"zip.jww", "not a JWW drawing (no 'JwwData.' at the start)"},
      {"v999.jww", "format version 999 is not one Dravik reads (220 to 700)"},
      {"short.jww", "the drawing ends early (byte 10 of 10)"},
      {"damaged.jww", "the drawing is damaged: unreadable data at byte "},
      {"missing.jww", "No such file or directory"},
      {"folder.jww", "not a regular file"},
  };
  for (const Case& c : cases) {
    for (const char* command : {"info ", "dump ", "convert "}) {
      const std::string args = command + dir.path(c.file) + (command[0] == 'c' ? " " + dir.path("out.jww") : "");
      const jwwtest::ToolRun r = Jww(args + " >/dev/null", dir);
      EXPECT_EQ(r.status, 1) << args;
      EXPECT_EQ(r.err.rfind("jww: " + dir.path(c.file) + ": " + c.why, 0), 0u) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
  }
  EXPECT_NE(Jww("info " + dir.path("damaged.jww"), dir).err.find(" of " + damagedSize + "\n"), std::string::npos);
}

// Option mistakes are one line naming the command as it is typed; help and version go to stdout.
TEST(JwwTool, OptionsHelpAndVersion) {
  jwwtest::TempDir dir;
  struct Case {
    const char* args;
    const char* err;
  } cases[] = {
      {"", "jww: no command given ('jww --help' lists them)\n"},
      {"frobnicate x", "jww: unknown command 'frobnicate' ('jww --help' lists them)\n"},
      {"info --bogus x.jww", "jww: The following argument was not expected: --bogus (see 'jww info --help')\n"},
      {"dump", "jww: drawing is required (see 'jww dump --help')\n"},
      {"convert a.jww b.jww --version 100", "(see 'jww convert --help')\n"},
      {"dump --indent 17 x.jww", "jww: --indent: Value 17 not in range -1 to 16"},
      {"dump --indent 100000000 x.jww", "not in range -1 to 16"},
      {"dump --indent -2 x.jww", "not in range -1 to 16"},
  };
  for (const Case& c : cases) {
    const jwwtest::ToolRun r = Jww(c.args, dir);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(Jww("--help >" + dir.path("help.txt"), dir).status, 0);
  EXPECT_NE(Read(dir.path("help.txt")).find("jww --version"), std::string::npos);
  EXPECT_EQ(Jww("info --help >" + dir.path("help.txt"), dir).status, 0);
  EXPECT_NE(Read(dir.path("help.txt")).find("Usage: jww info [OPTIONS] drawing"), std::string::npos);
  EXPECT_EQ(Jww("--version >" + dir.path("version.txt"), dir).status, 0);
  EXPECT_EQ(Read(dir.path("version.txt")).rfind("jww (Dravik) ", 0), 0u);
}

// The output's extension says what convert writes, and an unknown one writes nothing; --format
// chooses whatever the name.
TEST(JwwTool, ConvertWritesOnlyAKnownFormat) {
  jwwtest::TempDir dir;
  const std::string in = dir.path("in.jww");
  ASSERT_EQ(Jww("new " + in, dir).status, 0);
  for (const char* name : {"out.jpg", "out", "out.jww.bak"}) {
    const jwwtest::ToolRun r = Jww("convert " + in + " " + dir.path(name), dir);
    EXPECT_EQ(r.status, 2) << name;
    EXPECT_NE(r.err.find("unknown output type (known: .jww .pdf .svg .png .dxf; or give --format)"),
              std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path(name)));
  }
  ASSERT_EQ(Jww("convert " + in + " " + dir.path("OUT.JWW"), dir).status, 0);
  ASSERT_EQ(Jww("convert --format jww " + in + " " + dir.path("drawing.jpg"), dir).status, 0);
  jww::TJwwData d;
  EXPECT_TRUE(d.FileIn(jww::Utf8ToStr(dir.path("drawing.jpg"))));
  ASSERT_EQ(Jww("convert --format dxf " + in + " " + dir.path("geometry.jww"), dir).status, 0);
  EXPECT_NE(Read(dir.path("geometry.jww")).find("SECTION"), std::string::npos);
  EXPECT_EQ(Jww("convert --format jpg " + in + " " + dir.path("x.jpg"), dir).status, 2);
}

// A built drawing described as the user made it: block names without the construction library's
// decoration (which dump keeps), a text without a font named as such, file names escaped.
TEST(JwwTool, InfoShowsNamesAsGiven) {
  jwwtest::TempDir dir;
  jww::TJwwData d;
  d.DataDefaultSet();
  ASSERT_TRUE(d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"door"));
  ASSERT_TRUE(d.AddBlkLine(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  ASSERT_TRUE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, 5, 6, 1, 1, 0));
  ASSERT_TRUE(d.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 0, 0.0, 0.0, 3.0, 3.0, 0.0, 0.0, u"", u"x"));
  ASSERT_TRUE(d.AddEntPost());
  const std::string f = dir.path("n\x1b]0;t\x07.jww");
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(f), 600));
  ASSERT_EQ(Jww("info '" + f + "' >" + dir.path("info.txt"), dir).status, 0);
  const std::string info = Read(dir.path("info.txt"));
  EXPECT_NE(info.find("file      " + dir.path("n\\x1b]0;t\\x07.jww") + "\n"), std::string::npos) << info;
  EXPECT_NE(info.find("fonts     1\n  (no name: the default font)\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\n  #0 door: 1 entities\n"), std::string::npos) << info;
  EXPECT_NE(info.find("\n  door (#0) at 5, 6\n"), std::string::npos) << info;
  EXPECT_EQ(info.find('\x1b'), std::string::npos);
  ASSERT_EQ(Jww("dump '" + f + "' >" + dir.path("d.json"), dir).status, 0);
  EXPECT_EQ(nlohmann::json::parse(Read(dir.path("d.json"))).at("EntBlockDef").at(0).at("strName"),
            "door@@SfigorgFlag@@4");

  const jwwtest::ToolRun r = Jww("dump '" + dir.path("gone\x1b[2J.jww") + "'", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("gone\\x1b[2J.jww"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

// The dump is written as it is made; its bytes are what serialising the whole tree gives, at
// every indent, for values that need care: non-finite and negative zero doubles, large unsigned
// numbers, escapes, and text that is not valid UTF-16.
TEST(JwwTool, DumpStreamsTheSameJsonAsTheTree) {
  jwwtest::TempDir dir;
  jww::TJwwData d;
  d.DataDefaultSet();
  d.Enthd.strMemo = u"\"q\" \\ \x1b[2J\r\n\t\xd800 x \u00e9\u65e5";
  ASSERT_TRUE(d.AddEntLine(0, 0, 0, 1, 1, 0, 0, -0.0, 0.1, 1.0 / 3, 1e300));
  ASSERT_TRUE(d.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 0, 0.0, 0.0, 3.0, 3.0, 0.0, 0.0, u"\xdbff", u"\xdc00"));
  ASSERT_TRUE(d.AddBlkDef(0, 0, 0, 1, 1, 0, 0, 4, u"door"));
  ASSERT_TRUE(d.AddBlkLine(0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1));
  ASSERT_TRUE(d.AddEntBlock(0, 0, 0, 1, 1, 0, 0, 0, 5, 6, 1, 1, 0));
  ASSERT_TRUE(d.AddEntSolid(0, 0, 0, 10, 1, 0, 0, 0, 0, 0, 1, 1));
  ASSERT_TRUE(d.AddEntPost());
  d.EntSolid[0].Color = 4000000000u;
  d.EntLine[0].start_x = std::numeric_limits<double>::quiet_NaN();
  d.EntLine[0].end_x = -std::numeric_limits<double>::infinity();
  const std::string f = dir.path("rich.jww");
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(f), 700));

  for (int indent : {-1, 0, 1, 4, 16}) {
    SCOPED_TRACE(indent);
    const std::string out = dir.path("d.json");
    ASSERT_EQ(Jww("dump --tree --indent " + std::to_string(indent) + " " + f + " >" + out, dir).status, 0);
    const std::string dump = Read(out);
    const auto tree = nlohmann::ordered_json::parse(dump);
    EXPECT_EQ(dump, tree.dump(indent) + "\n");
    EXPECT_EQ(tree.at("EntLine").at(0).at("start_x"), "NaN");
    EXPECT_EQ(tree.at("EntSolid").at(0).at("Color"), 4000000000u);
  }
}
#endif
