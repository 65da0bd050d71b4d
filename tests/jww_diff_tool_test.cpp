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

// Two revisions of a small drawing: B recolours one line, moves another and adds a third.
void WriteRevisions(const jwwtest::TempDir& dir, const std::string& a, const std::string& b) {
  jww::TJwwData d;
  d.DataDefaultSet();
  d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 0, 10, 0);
  d.AddEntLine(0, 0, 0, 1, 1, 0, 0, 0, 5, 10, 5);
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(dir.path(a)), 600));
  d.EntLine[0].att.nPenColor = 2;
  d.EntLine[1].start_x += 1, d.EntLine[1].end_x += 1, d.EntLine[1].start_y += 1, d.EntLine[1].end_y += 1;
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
            "> line start (0, 5) end (10, 5) layer 0-0\n"
            "    moved by (1, 1)\n"
            "+ line start (3, 3) end (4, 4) layer 0-0\n"
            "0 removed, 1 added, 1 changed, 1 moved, 0 unchanged\n");

  ASSERT_EQ(jww("diff --json " + a + " " + b + " >" + dir.path("d.json")).status, 1);
  const auto j = nlohmann::json::parse(Read(dir.path("d.json")));
  EXPECT_FALSE(j.at("same").get<bool>());
  EXPECT_EQ(j.at("entities").size(), 3u);
  EXPECT_EQ(j.at("entities")[0].at("status"), "changed");
  EXPECT_EQ(j.at("entities")[0].at("kind"), "line");
  EXPECT_EQ(j.at("entities")[1].at("status"), "moved");
  EXPECT_EQ(j.at("entities")[1].at("by"), nlohmann::json::parse("[1, 1]"));
  EXPECT_EQ(j.at("counts").at("added"), 1);
  EXPECT_EQ(j.at("counts").at("moved"), 1);

  // The change picture: added blue, changed orange, moved purple; nothing was removed (red).
  ASSERT_EQ(jww("diff -o " + dir.path("c.svg") + " " + a + " " + b).status, 1);
  const std::string svg = Read(dir.path("c.svg"));
  for (const char* colour : {"#0000e0", "#ff9000", "#9020c0"}) EXPECT_NE(svg.find(colour), std::string::npos) << colour;
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

// --open, as git difftool -x runs it: the change picture handed to the desktop's opener, found
// through PATH (here a stand-in that notes what it was given), and the diff's own exit status;
// an opener that fails or is missing is trouble.
TEST(JwwDiff, OpenHandsThePictureToTheViewer) {
  jwwtest::TempDir dir;
  WriteRevisions(dir, "a.jww", "b.jww");
  const std::string a = dir.path("a.jww"), b = dir.path("b.jww"), bin = dir.path("bin"), log = dir.path("opened");
  ASSERT_EQ(std::system(("mkdir -p " + bin + " " + dir.path("none")).c_str()), 0);
  auto opener = [&](int status) {
    std::FILE* f = std::fopen((bin + "/xdg-open").c_str(), "w");
    std::fprintf(f, "#!/bin/sh\nprintf '%%s\\n' \"$#\" \"$1\" >%s\nexit %d\n", log.c_str(), status);
    std::fclose(f);
    ASSERT_EQ(std::system(("chmod +x " + bin + "/xdg-open && rm -f " + log).c_str()), 0);
  };
  const auto jww = [&](const std::string& path, const std::string& args) {
    return jwwtest::RunTool("PATH=" + path + " " DRAVIK_JWW_TOOL, args + " >" + dir.path("out.txt"), dir);
  };

  opener(0);
  ASSERT_EQ(jww(bin, "diff --open " + a + " " + b).status, 1);
  EXPECT_NE(Read(dir.path("out.txt")).find("1 added, 1 changed"), std::string::npos);  // the report as without
  std::string opened = Read(log);
  ASSERT_EQ(opened.substr(0, 2), "1\n") << opened;  // one argument: the picture
  opened = opened.substr(2, opened.size() - 3);
  EXPECT_NE(opened.find("/b-changes.pdf"), std::string::npos) << opened;
  EXPECT_EQ(Read(opened).substr(0, 5), "%PDF-");  // kept for the viewer, which reads it later
  const auto removeOpened = [&] { std::system(("rm -rf \"$(dirname \"$(tail -1 " + log + ")\")\"").c_str()); };
  removeOpened();

  ASSERT_EQ(jww(bin, "diff --open " + a + " " + a).status, 0);
  EXPECT_NE(Read(log).find("/a-changes.pdf"), std::string::npos);
  removeOpened();
  ASSERT_EQ(jww(bin, "diff --open -o " + dir.path("c.svg") + " " + a + " " + b).status, 1);
  EXPECT_EQ(Read(log), "1\n" + dir.path("c.svg") + "\n");

  for (const auto& [path, why] : {std::pair{bin, "status 3"}, {dir.path("none"), "cannot be run"}}) {
    opener(3);
    const jwwtest::ToolRun r = jww(path, "diff --open -o " + dir.path("c.svg") + " " + a + " " + b);
    EXPECT_EQ(r.status, 2) << why;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
  }
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
