// Real drawings: every one passes the file check and reads its header; the list file of all of
// them is written; a real header cut anywhere before its last field never reads as whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "list/ListFile.h"
#include "jww/stream.h"
#include "tests/jww_bytes.h"

namespace {

std::vector<std::string> CorpusDrawings() {
  std::vector<std::string> files;
  const std::string dir = jwwtest::CorpusDir();
  if (dir.empty()) return files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".jww") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

TEST(CorpusHeaders, EveryDrawingReads) {
  const auto files = CorpusDrawings();
  if (files.empty()) GTEST_SKIP() << "no real drawings (../shared/corpus is absent)";
  jww::TJwwData d;
  int unicode = 0;
  for (const auto& f : files) {
    SCOPED_TRACE(f);
    const auto path = jww::Utf8ToStr(f);
    ASSERT_TRUE(d.FileCheck(path));
    ASSERT_TRUE(d.FileHeaderIn(path)) << d.LastError().message << " at " << d.LastError().offset;
    EXPECT_TRUE(d.Enthd.jwVer >= 220 && d.Enthd.jwVer <= 700);
    EXPECT_TRUE(d.Enthd.nZumen >= 0 && d.Enthd.nZumen <= 14) << d.Enthd.nZumen;
    for (const auto& g : d.EntLgrp) EXPECT_TRUE(g.adScale > 0 && g.adScale < 1e6) << g.adScale;
    // Drawings saved by current versions store names in the Unicode form; they decode to text,
    // not to replacement characters.
    for (const auto& lay : d.EntLay) EXPECT_EQ(lay.aStrLayName.find(u'\uFFFD'), std::u16string::npos);
    if (f.find("block_regressions") != std::string::npos) {
      ++unicode;
      EXPECT_EQ(d.Enthd.nZumen, 3);  // A3
      EXPECT_EQ(d.EntLgrp[0].adScale, 50);
      EXPECT_EQ(d.EntLgrp[1].adScale, 200);
    }
  }
  EXPECT_GT(unicode, 0);
}

TEST(CorpusHeaders, ListFileOfAllDrawings) {
  const auto files = CorpusDrawings();
  if (files.empty()) GTEST_SKIP() << "no real drawings (../shared/corpus is absent)";
  std::vector<std::u16string> paths;
  for (const auto& f : files) paths.push_back(jww::Utf8ToStr(f));
  jww::TJwwData d;
  const auto lines = dravik::ListFileLines(paths, 10, d, jww::TRegional{});
  ASSERT_EQ(lines.size(), 2 + files.size() * 37);
  jwwtest::TempDir dir;
  ASSERT_TRUE(dravik::SaveListFile(jww::Utf8ToStr(dir.path("List.txt")), lines));
  // Every drawing yields its paper label and its scales.
  for (size_t i = 0; i < files.size(); ++i) {
    const auto& paper = lines[1 + i * 37 + 20];
    EXPECT_NE(paper.substr(paper.find(u'\t')), u"\t ") << files[i];
    const auto& scale0 = lines[1 + i * 37 + 21];
    EXPECT_EQ(scale0.substr(scale0.find(u'\t') + 1, 2), u"1/") << files[i];
  }
}

TEST(CorpusHeaders, TruncationSweepOfARealHeader) {
  const auto files = CorpusDrawings();
  if (files.empty()) GTEST_SKIP() << "no real drawings (../shared/corpus is absent)";
  for (const std::string& f : {files.front(), files.back()}) {
    SCOPED_TRACE(f);
    const std::string bytes = *jww::ReadWholeFile(jww::Utf8ToStr(f));
    jww::TJwwData d;
    jww::InStream whole(bytes.data(), bytes.size());
    ASSERT_TRUE(d.HeaderIn(whole));
    const size_t headerEnd = whole.Position();
    for (size_t n = 0; n <= headerEnd; ++n) {
      std::unique_ptr<char[]> exact(new char[n ? n : 1]);
      std::memcpy(exact.get(), bytes.data(), n);
      jww::InStream s(exact.get(), n);
      d.DataInit();
      // Cut before the last field's first byte: never whole.
      ASSERT_EQ(d.HeaderIn(s), n > headerEnd - 8) << n;
    }
  }
}
