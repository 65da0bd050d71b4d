// A FIFO, a folder or a device named as a drawing: nothing waits on it, the library refuses it,
// `jww` says so in one line and the list file gives its slot the file system's facts only.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>

#include "list/ListFile.h"
#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

namespace {

using jww::TJwwData;

// Paths that are no regular file. Opening the FIFO for reading would wait for a writer forever.
std::vector<std::string> NonRegular(const jwwtest::TempDir& dir) {
  const std::string fifo = dir.path("pipe.jww");
  EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir.path("folder.jww");
  EXPECT_EQ(::mkdir(folder.c_str(), 0700), 0);
  return {fifo, folder, "/dev/null"};
}

}  // namespace

TEST(NonRegularFile, LibraryRefusesWithoutWaiting) {
  jwwtest::TempDir dir;
  for (const std::string& path : NonRegular(dir)) {
    SCOPED_TRACE(path);
    const std::u16string p = jww::Utf8ToStr(path);
    TJwwData d;
    EXPECT_FALSE(d.FileCheck(p));
    EXPECT_FALSE(d.FileHeaderIn(p));
    EXPECT_EQ(d.LastError().message, "not a regular file");
    EXPECT_FALSE(d.FileIn(p));
    EXPECT_EQ(d.LastError().message, "not a regular file");
    EXPECT_FALSE(d.FilePrevIn(p, 10));
    EXPECT_EQ(d.LastError().message, "not a regular file");
  }
  TJwwData d;
  EXPECT_FALSE(d.FileIn(jww::Utf8ToStr(dir.path("missing.jww"))));
  EXPECT_EQ(d.LastError().message, "cannot open file");
}

TEST(NonRegularFile, ListSlotHasFileSystemFactsOnly) {
  jwwtest::TempDir dir;
  const std::string fifo = NonRegular(dir)[0];
  TJwwData doc;
  std::map<std::u16string, std::u16string> v;
  for (const auto& l : dravik::ListFileLines({jww::Utf8ToStr(fifo)}, 1, doc, jww::TRegional{})) {
    const size_t tab = l.find(u'\t');
    if (tab != std::u16string::npos) v[l.substr(0, tab)] = l.substr(tab + 1);
  }
  EXPECT_EQ(v.at(u"%%1e"), u"pipe.jww");
  EXPECT_EQ(v.at(u"%%1SZ"), u"0");
  EXPECT_NE(v.at(u"%%1DT"), u"1899/12/30 00:00:00");  // its own date, not the blank one
  for (const char16_t* code : {u"mm", u"m1", u"m2", u"p", u"SS0", u"SSf"})
    EXPECT_EQ(v.at(u"%%1" + std::u16string(code)), u" ") << jww::StrToUtf8(code);
}

#ifdef DRAVIK_JWW_TOOL
TEST(NonRegularFile, JwwToolSaysSoInOneLine) {
  jwwtest::TempDir dir;
  for (const std::string& path : NonRegular(dir)) {
    for (const char* cmd : {"info ", "dump ", "dump --budget 5 ", "convert "}) {
      SCOPED_TRACE(cmd + path);
      const std::string out = std::string(cmd) == "convert " ? " " + dir.path("out.jww") : "";
      const jwwtest::ToolRun r = jwwtest::RunTool(DRAVIK_JWW_TOOL, cmd + path + out + " >/dev/null", dir);
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.err, "jww: " + path + ": not a regular file\n");
    }
  }
}
#endif
