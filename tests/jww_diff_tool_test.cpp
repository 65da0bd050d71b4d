// jww diff and jww dump --text as a user and as git run them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

#ifdef DRAVIK_JWW_TOOL
namespace {

std::string Read(const std::string& path) { return jww::ReadWholeFile(jww::Utf8ToStr(path)).value_or(""); }

// Two revisions of a small drawing: B moves nothing, recolours one line and adds another.
void WriteRevisions(const jwwtest::TempDir& dir, const std::string& a, const std::string& b) {
  jww::TJwwData d;
  d.DataDefaultSet();
  d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 10, 0);
  d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 5, 10, 5);
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(dir.path(a)), 600));
  d.EntLine[0].att.nPenColor = 2;
  d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 3, 3, 4, 4);
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(dir.path(b)), 700));
}

TEST(JwwDiff, ExitStatusTextAndJson) {
  jwwtest::TempDir dir;
  WriteRevisions(dir, "a.jww", "b.jww");
  const auto jww = [&](const std::string& args) { return jwwtest::RunTool(DRAVIK_JWW_TOOL, args, dir); };
  const std::string a = dir.path("a.jww"), b = dir.path("b.jww");

  EXPECT_EQ(jww("diff " + a + " " + a + " >" + dir.path("same.txt")).status, 0);
  EXPECT_EQ(Read(dir.path("same.txt")), "");

  ASSERT_EQ(jww("diff " + a + " " + b + " >" + dir.path("d.txt")).status, 1);
  EXPECT_EQ(Read(dir.path("d.txt")),
            "version 600 \xe2\x86\x92 700\n"
            "~ line start (0, 0) end (10, 0) layer 0-0\n"
            "    colour 1 \xe2\x86\x92 2\n"
            "+ line start (3, 3) end (4, 4) layer 0-0\n"
            "0 removed, 1 added, 1 changed, 1 unchanged\n");

  ASSERT_EQ(jww("diff --json " + a + " " + b + " >" + dir.path("d.json")).status, 1);
  const auto j = nlohmann::json::parse(Read(dir.path("d.json")));
  EXPECT_FALSE(j.at("same").get<bool>());
  EXPECT_EQ(j.at("entities").size(), 2u);
  EXPECT_EQ(j.at("entities")[0].at("status"), "changed");
  EXPECT_EQ(j.at("entities")[0].at("kind"), "line");
  EXPECT_EQ(j.at("counts").at("added"), 1);

  // The change picture: unchanged grey, added blue, changed orange; nothing was removed (red).
  ASSERT_EQ(jww("diff -o " + dir.path("c.svg") + " " + a + " " + b).status, 1);
  const std::string svg = Read(dir.path("c.svg"));
  for (const char* colour : {"#a0a0a0", "#0000e0", "#ff9000"}) EXPECT_NE(svg.find(colour), std::string::npos) << colour;
  EXPECT_EQ(svg.find("#e00000"), std::string::npos);
  ASSERT_EQ(jww("diff -o " + dir.path("c.svg") + " " + b + " " + a).status, 1);
  EXPECT_NE(Read(dir.path("c.svg")).find("#e00000"), std::string::npos);

  // A file that is no drawing: one line naming it, and trouble, not "different".
  std::FILE* f = std::fopen(dir.path("notes.txt").c_str(), "w");
  std::fputs("not a drawing\n", f);
  std::fclose(f);
  for (const std::string& args : {"diff " + dir.path("notes.txt") + " " + b, "diff " + a + " " + dir.path("gone.jww"),
                                  "diff --tolerance -1 " + a + " " + b, "diff " + a,
                                  "diff -o " + dir.path("c.dxf") + " " + a + " " + b}) {
    const jwwtest::ToolRun r = jww(args + " >/dev/null");
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_NE(jww("diff " + dir.path("notes.txt") + " " + b).err.find("notes.txt"), std::string::npos);
}

// git shows the changed entity lines through the documented textconv.
TEST(JwwDiff, GitTextconvShowsChangedLines) {
  if (std::system("git --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "git is not installed";
  jwwtest::TempDir dir;
  const std::string repo = dir.path("repo");
  const std::string git = "git -C " + repo + " -c user.name=t -c user.email=t@t -c commit.gpgsign=false ";
  ASSERT_EQ(std::system(("git init -q " + repo).c_str()), 0);
  WriteRevisions(dir, "repo/plan.jww", "b.jww");
  std::FILE* f = std::fopen((repo + "/.gitattributes").c_str(), "w");
  std::fputs("*.jww diff=jww\n", f);
  std::fclose(f);
  ASSERT_EQ(std::system((git + "config diff.jww.textconv \"" DRAVIK_JWW_TOOL " dump --text\"").c_str()), 0);
  ASSERT_EQ(std::system((git + "add -A && " + git + "commit -qm A").c_str()), 0);
  ASSERT_EQ(std::system(("cp " + dir.path("b.jww") + " " + repo + "/plan.jww").c_str()), 0);
  ASSERT_EQ(std::system((git + "commit -qam B").c_str()), 0);
  ASSERT_EQ(std::system((git + "diff HEAD~1 HEAD -U0 >" + dir.path("out.diff")).c_str()), 0);
  const std::string out = Read(dir.path("out.diff"));
  EXPECT_NE(out.find("\n-version 600\n+version 700\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n-line start (0, 0) end (10, 0) layer 0-0 colour 1 "), std::string::npos) << out;
  EXPECT_NE(out.find("\n+line start (0, 0) end (10, 0) layer 0-0 colour 2 "), std::string::npos) << out;
  EXPECT_NE(out.find("\n+line start (3, 3) end (4, 4) "), std::string::npos) << out;
  EXPECT_EQ(out.find("Binary files"), std::string::npos);
}

}  // namespace
#endif
