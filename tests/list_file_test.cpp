// The list file: slot blocks, values from names, file system and drawing header, the bytes on disk,
// and the dravik-list tool that writes the same bytes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

#include "list/ListFile.h"
#include "tests/jww_bytes.h"
#include "tests/tool_run.h"

using jwwtest::Bytes;

namespace {

// Sets a file's modification time to a local date and time.
void SetMTime(const std::string& path, int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  tm.tm_isdst = -1;
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = std::mktime(&tm);
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::vector<std::u16string> Lines(const std::vector<std::u16string>& files, int slots) {
  jww::TJwwData doc;
  return dravik::ListFileLines(files, slots, doc, jww::TRegional{});
}

// Key -> value of the lines (keys are unique in a list file).
std::map<std::u16string, std::u16string> Values(const std::vector<std::u16string>& lines) {
  std::map<std::u16string, std::u16string> m;
  for (const auto& l : lines) {
    size_t tab = l.find(u'\t');
    if (tab != std::u16string::npos) m[l.substr(0, tab)] = l.substr(tab + 1);
  }
  return m;
}

std::string Drawing(const jwwtest::TempDir& dir, const std::string& name, const std::u16string& memo,
                    int zumen, std::vector<double> scales = {}) {
  jww::TJwwData d;
  Bytes::SizeTables(d);
  d.Enthd.strMemo = memo;
  d.Enthd.nZumen = zumen;
  for (size_t g = 0; g < 16; ++g) d.EntLgrp[g].adScale = g < scales.size() ? scales[g] : 1.0;
  std::string path = dir.path(name);
  Bytes().Header(d, 600).WriteTo(path);
  return path;
}

}  // namespace

TEST(ListFile, SlotCountAndShape) {
  jwwtest::TempDir dir;
  const auto a = jww::Utf8ToStr(Drawing(dir, "a.jww", u"", 3));
  const auto b = jww::Utf8ToStr(dir.path("sub/b.jww"));
  struct Case {
    std::vector<std::u16string> files;
    int slots;
    size_t blocks;
  };
  for (const Case& c : {Case{{a, b}, 5, 5}, Case{{a, b, a, b, a}, 2, 5}, Case{{a}, 0, 1}, Case{{b, a}, -3, 2}}) {
    const auto lines = Lines(c.files, c.slots);
    ASSERT_EQ(lines.size(), 2 + c.blocks * 37);
    EXPECT_EQ(lines.front(), u"%%PA\t" + jww::ExtractFileFolder(c.files[0]));  // first file's folder
    EXPECT_EQ(lines.back(), u" ");
  }
  const auto lines = Lines({a, b}, 5);
  // Slots beyond the list: 37 lines, every value a single space, keys in order.
  const char16_t* codes[] = {u"F", u"e", u"f", u"fs1", u"fs2", u"fs3", u"fs4", u"fs5", u"fs6", u"fs7",
                             u"fs8", u"fs9", u"DT", u"D", u"T", u"J", u"SZ", u"mm", u"m1", u"m2", u"p",
                             u"SS0", u"SS1", u"SS2", u"SS3", u"SS4", u"SS5", u"SS6", u"SS7", u"SS8",
                             u"SS9", u"SSa", u"SSb", u"SSc", u"SSd", u"SSe", u"SSf"};
  for (int k = 0; k < 37; ++k) EXPECT_EQ(lines[1 + 4 * 37 + k], u"%%5" + std::u16string(codes[k]) + u"\t ");
  for (int k = 0; k < 37; ++k) EXPECT_EQ(lines[1 + k].substr(0, 3 + std::char_traits<char16_t>::length(codes[k])),
                                         u"%%1" + std::u16string(codes[k]));
}

TEST(ListFile, ValuesOfADrawing) {
  jwwtest::TempDir dir;
  const std::string p = Drawing(dir, "plan A 1.jww", u"Upper\r\nLower\r\nThird", 4,
                                {100, 2.5, 33.333, 0.5, 0.3, 1, 0, 50});
  SetMTime(p, 2023, 11, 17, 9, 5, 7);
  const auto v = Values(Lines({jww::Utf8ToStr(p)}, 1));
  const std::u16string folder = jww::Utf8ToStr(dir.dir()) + u"/";
  EXPECT_EQ(v.at(u"%%PA"), folder);
  EXPECT_EQ(v.at(u"%%1F"), folder + u"plan A 1.jww");
  EXPECT_EQ(v.at(u"%%1e"), u"plan A 1.jww");
  EXPECT_EQ(v.at(u"%%1f"), u"plan A 1");
  EXPECT_EQ(v.at(u"%%1fs1"), u"plan");
  EXPECT_EQ(v.at(u"%%1fs2"), u"A");
  EXPECT_EQ(v.at(u"%%1fs3"), u"1");
  EXPECT_EQ(v.at(u"%%1fs4"), u" ");
  EXPECT_EQ(v.at(u"%%1DT"), u"2023/11/17 09:05:07");
  EXPECT_EQ(v.at(u"%%1D"), u"2023/11/17");
  EXPECT_EQ(v.at(u"%%1T"), u"09:05:07");
  EXPECT_EQ(v.at(u"%%1J"), u"令和 5年11月17日");
  EXPECT_EQ(v.at(u"%%1mm"), u"Upper Lower Third");  // a list line holds no line break
  EXPECT_EQ(v.at(u"%%1m1"), u"Upper");
  EXPECT_EQ(v.at(u"%%1m2"), u"Lower Third");
  EXPECT_EQ(v.at(u"%%1p"), u"A4");
  const char16_t* scales[] = {u"1/100", u"1/2.5", u"1/33.3", u"2/1", u"3.3/1", u"1/1", u" ", u"1/50", u"1/1"};
  const char16_t* keys[] = {u"%%1SS0", u"%%1SS1", u"%%1SS2", u"%%1SS3", u"%%1SS4", u"%%1SS5", u"%%1SS6",
                            u"%%1SS7", u"%%1SSf"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(v.at(keys[i]), scales[i]);
}

TEST(ListFile, MemoForms) {
  jwwtest::TempDir dir;
  struct Case {
    std::u16string memo, mm, m1, m2;
  };
  for (const Case& c : {Case{u"abc", u"abc ", u"abc", u" "}, Case{u"", u" ", u" ", u" "},
                        Case{u"\r\nLower", u" Lower", u" ", u"Lower"},
                        // A list line holds no line break: breaks become spaces, other controls "?"
                        // (no forged "%%1F<TAB>forged" line from m2 or mm).
                        Case{u"a\rb\nc\r\nd\te\x1b\r\n%%1F\tforged\n\r", u"a b c d?e? %%1F?forged  ",
                             u"a b c", u"d?e? %%1F?forged  "}}) {
    const auto v = Values(Lines({jww::Utf8ToStr(Drawing(dir, "m.jww", c.memo, 0))}, 1));
    EXPECT_EQ(v.at(u"%%1mm"), c.mm);
    EXPECT_EQ(v.at(u"%%1m1"), c.m1);
    EXPECT_EQ(v.at(u"%%1m2"), c.m2);
  }
}

TEST(ListFile, PaperLabels) {
  const std::pair<int, std::u16string> cases[] = {{0, u"A0"}, {4, u"A4"}, {5, u" "}, {7, u" "},
                                                  {8, u"2A"}, {11, u"5A"}, {12, u"10m"}, {14, u"100m"},
                                                  {15, u" "}, {-1, u" "}};
  for (const auto& [code, label] : cases) EXPECT_EQ(dravik::PaperLabel(code), label) << code;
}

TEST(ListFile, NameWords) {
  jwwtest::TempDir dir;
  struct Case {
    std::string name;
    std::vector<std::u16string> words;  // fs1.. (the rest " ")
  };
  const Case cases[] = {
      {"a b c d e f g h i j k.txt", {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i"}},
      {"one.txt", {u"one"}},
      {"x  y.txt", {u"x"}},   // two spaces in a row end the words
      {" lead.txt", {}},      // a leading space gives no word at all
      {"平面 図.txt", {u"平面", u"図"}},
  };
  for (const Case& c : cases) {
    const std::string p = dir.path(c.name);
    Bytes().raw("not a drawing").WriteTo(p);
    const auto v = Values(Lines({jww::Utf8ToStr(p)}, 1));
    for (int k = 0; k < 9; ++k) {
      std::u16string key = u"%%1fs" + std::u16string(1, u'1' + k);
      EXPECT_EQ(v.at(key), k < static_cast<int>(c.words.size()) ? c.words[k] : u" ") << c.name << k;
    }
  }
}

TEST(ListFile, MissingAndForeignFiles) {
  jwwtest::TempDir dir;
  const std::string other = dir.path("notes.jww");
  Bytes().raw(std::string(1234567, 'x')).WriteTo(other);
  const std::string cut = dir.path("cut.jww");
  Bytes().raw(Bytes().Header(600).data().substr(0, 100)).WriteTo(cut);
  const auto v = Values(Lines({jww::Utf8ToStr(dir.path("gone.jww")), jww::Utf8ToStr(other),
                               jww::Utf8ToStr(cut)}, 0));
  EXPECT_EQ(v.at(u"%%1e"), u"gone.jww");
  EXPECT_EQ(v.at(u"%%1DT"), u"1899/12/30 00:00:00");
  EXPECT_EQ(v.at(u"%%1J"), u"明治32年12月30日");
  EXPECT_EQ(v.at(u"%%1SZ"), u"0");
  EXPECT_EQ(v.at(u"%%2SZ"), u"1,234,567");
  for (const char16_t* slot : {u"1", u"2", u"3"}) {
    for (const char16_t* code : {u"mm", u"m1", u"m2", u"p", u"SS0", u"SSf"})
      EXPECT_EQ(v.at(u"%%" + std::u16string(slot) + code), u" ");
  }
}

TEST(ListFile, BytesOnDisk) {
  jwwtest::TempDir dir;
  const std::string p = Drawing(dir, "図面.jww", u"メモ", 2);
  const auto lines = Lines({jww::Utf8ToStr(p)}, 2);
  const auto out = jww::Utf8ToStr(dir.path("List.txt"));
  ASSERT_TRUE(dravik::SaveListFile(out, lines));
  const std::string bytes = *jww::ReadWholeFile(out);
  EXPECT_EQ(bytes, dravik::ListFileBytes(lines));
  EXPECT_EQ(bytes.substr(0, 6), "%%PA\t/");  // no byte-order mark
  EXPECT_EQ(bytes.back(), ' ');              // no line break after the closing line
  EXPECT_EQ(bytes.substr(bytes.size() - 3), "\r\n ");
  EXPECT_NE(bytes.find("\x83\x81\x83\x82"), std::string::npos);  // メモ in code page 932
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1 + 2 * 37);
  // Replacing an existing file.
  ASSERT_TRUE(dravik::SaveListFile(out, {u"%%PA\t/", u" "}));
  EXPECT_EQ(*jww::ReadWholeFile(out), "%%PA\t/\r\n ");
}

TEST(ListFile, PathsAndNamesCannotAddLines) {
  jwwtest::TempDir dir;
  // A name with a line break and a TAB would otherwise start a keyed line of its own.
  const std::string inj = dir.path("inj\r\n%%1mm\tINJECTED.jww");
  Bytes().raw("x").WriteTo(inj);
  jww::TJwwData doc;
  const std::string bytes =
      dravik::ListFileBytes(dravik::ListFileLines({jww::PathFromNative(inj)}, 1, doc, jww::TRegional{}));
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 1 + 37);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\t'), 1 + 37);
  EXPECT_NE(bytes.find("%%1e\tinj??%%1mm?INJECTED.jww\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("%%1fs1\tinj??%%1mm?INJECTED\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("%%1SZ\t1\r\n"), std::string::npos);  // the file itself was found
}

TEST(ListFile, NameBytesThatAreNotUtf8) {
  jwwtest::TempDir dir;
  const std::string p = Drawing(dir, "latin1-\xe9\xff.jww", u"memo", 4);
  const std::u16string path = jww::PathFromNative(p);
  EXPECT_EQ(jww::NativePath(path), p);  // the name's bytes come back for file access
  const auto v = Values(Lines({path}, 1));
  EXPECT_EQ(v.at(u"%%1p"), u"A4");
  EXPECT_EQ(v.at(u"%%1m1"), u"memo");
  EXPECT_NE(v.at(u"%%1SZ"), u"0");
  // Where text is written, each stray byte is "?".
  jww::TJwwData doc;
  const std::string bytes = dravik::ListFileBytes(dravik::ListFileLines({path}, 1, doc, jww::TRegional{}));
  EXPECT_NE(bytes.find("%%1e\tlatin1-??.jww\r\n"), std::string::npos);
}

TEST(ListFile, BytesInPartsAndStreamed) {
  jwwtest::TempDir dir;
  const std::u16string a = jww::Utf8ToStr(Drawing(dir, "図面.jww", u"上\r\n下", 2));
  const int slots = 40000;  // about 25 MB: several parts
  jww::TJwwData doc;
  const std::string expected = dravik::ListFileBytes(dravik::ListFileLines({a}, slots, doc, jww::TRegional{}));
  dravik::ListBytes bytes;
  dravik::ListFileOut({a}, slots, doc, jww::TRegional{}, bytes);
  ASSERT_GT(bytes.Parts().size(), 2u);
  EXPECT_EQ(bytes.Size(), expected.size());
  EXPECT_EQ(bytes.Joined(), expected);
  for (size_t i = 1; i < bytes.Parts().size(); ++i)  // every part but the first starts a line
    EXPECT_EQ(bytes.Parts()[i].substr(0, 4), "\r\n%%") << i;

  const std::u16string out = jww::Utf8ToStr(dir.path("List.txt"));
  ASSERT_TRUE(dravik::SaveListFile(out, bytes));
  EXPECT_EQ(*jww::ReadWholeFile(out), expected);
  ASSERT_TRUE(jww::DeleteFileIfExists(out));
  ASSERT_TRUE(dravik::WriteListFile(out, {a}, slots, doc, jww::TRegional{}));
  EXPECT_EQ(*jww::ReadWholeFile(out), expected);
}

TEST(ListFile, MinimumSizeAcrossSlotNumberWidths) {
  // Blank slots are exactly the minimum: the difference between two lists of one missing file is
  // the difference of the minimums, across every change in the width of the slot number.
  jww::TJwwData doc;
  const std::vector<std::u16string> gone = {u"/nonexistent/g.jww"};
  const auto size = [&](int slots) {
    return dravik::ListFileBytes(dravik::ListFileLines(gone, slots, doc, jww::TRegional{})).size();
  };
  const uint64_t base = size(1), baseMin = dravik::ListFileMinimumSize(1, 1);
  EXPECT_LT(baseMin, base);
  for (int slots : {2, 9, 10, 11, 99, 100, 101, 1234}) {
    SCOPED_TRACE(slots);
    EXPECT_EQ(size(slots) - base, dravik::ListFileMinimumSize(1, slots) - baseMin);
  }
  EXPECT_EQ(dravik::ListFileMinimumSize(5, 2), dravik::ListFileMinimumSize(1, 5));
  EXPECT_GT(dravik::ListFileMinimumSize(1, INT32_MAX), uint64_t{1} << 40);  // over a terabyte
}

TEST(ListFile, SlotCountOfAnyInteger) {
  const std::pair<int64_t, int> cases[] = {{0, 0}, {3, 3}, {-3, 3}, {INT32_MAX, INT32_MAX},
                                           {-INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MAX}};
  for (const auto& [n, count] : cases) EXPECT_EQ(dravik::SlotCountOf(n), count) << n;
}

TEST(ListFile, FailedSaveLeavesNoFile) {
  jwwtest::TempDir dir;
  EXPECT_FALSE(dravik::SaveListFile(jww::Utf8ToStr(dir.path("no/such/folder/List.txt")), {u" "}));
  // A name that exists as a folder cannot be replaced by the list file.
  std::filesystem::create_directory(dir.path("taken"));
  EXPECT_FALSE(dravik::SaveListFile(jww::Utf8ToStr(dir.path("taken")), {u" "}));
  // Nothing half-written is left beside it.
  for (const auto& e : std::filesystem::directory_iterator(dir.dir()))
    EXPECT_EQ(e.path().filename(), "taken");
}

#ifdef DRAVIK_LIST_TOOL
namespace {
jwwtest::ToolRun RunTool(const std::string& args, const jwwtest::TempDir& dir) {
  return jwwtest::RunTool(DRAVIK_LIST_TOOL, args, dir);
}
}  // namespace

TEST(DravikList, WritesTheGeneratorsBytes) {
  jwwtest::TempDir dir;
  const std::string a = Drawing(dir, "a.jww", u"Upper\r\nLower", 1, {50});
  const std::string b = dir.path("b b.jww");
  Bytes().raw("x").WriteTo(b);
  const std::string list = dir.path("paths.txt");
  Bytes().raw(a + "\r\n" + b + "\n\n").WriteTo(list);
  jwwtest::ToolRun r = RunTool("--slots -4 --output " + dir.path("out.txt") + " --from " + list, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  jww::TJwwData doc;
  const auto expected = dravik::ListFileBytes(dravik::ListFileLines(
      {jww::Utf8ToStr(a), jww::Utf8ToStr(b)}, 4, doc, jww::RegionalFromLocale()));
  EXPECT_EQ(*jww::ReadWholeFile(jww::Utf8ToStr(dir.path("out.txt"))), expected);

  // Paths as arguments, default slot count 10.
  r = RunTool("-o " + dir.path("out2.txt") + " " + a + " '" + b + "'", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string out2 = *jww::ReadWholeFile(jww::Utf8ToStr(dir.path("out2.txt")));
  EXPECT_EQ(std::count(out2.begin(), out2.end(), '\n'), 1 + 10 * 37);
}

TEST(DravikList, RelativePathsBecomeAbsolute) {
  jwwtest::TempDir dir;
  Drawing(dir, "plan1.jww", u"", 1);
  std::filesystem::create_directory(dir.path("sub"));
  Drawing(dir, "sub/plan2.jww", u"", 2);
  const jwwtest::ToolRun r = jwwtest::RunTool("cd '" + dir.dir() + "' && " DRAVIK_LIST_TOOL,
                                              "-o out.txt plan1.jww ./sub/plan2.jww", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string out = *jww::ReadWholeFile(jww::Utf8ToStr(dir.path("out.txt")));
  EXPECT_EQ(out.substr(0, out.find('\r')), "%%PA\t" + dir.dir() + "/");
  EXPECT_NE(out.find("%%1F\t" + dir.path("plan1.jww") + "\r\n"), std::string::npos);
  EXPECT_NE(out.find("%%2F\t" + dir.path("sub/plan2.jww") + "\r\n"), std::string::npos);
  EXPECT_NE(out.find("%%2p\tA2\r\n"), std::string::npos);  // found where it was named
}

TEST(DravikList, WritesThroughASymbolicLink) {
  jwwtest::TempDir dir;
  std::filesystem::create_directory(dir.path("real"));
  Bytes().raw("old list").WriteTo(dir.path("real/List.txt"));
  std::filesystem::create_symlink("real/List.txt", dir.path("link.txt"));
  const jwwtest::ToolRun r = RunTool("-o " + dir.path("link.txt") + " " + dir.path("a.jww"), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.path("link.txt")));
  EXPECT_EQ(jww::ReadWholeFile(jww::Utf8ToStr(dir.path("real/List.txt")))->substr(0, 4), "%%PA");
}

TEST(DravikList, SlotCountsTooLargeFailCleanly) {
  jwwtest::TempDir dir;
  for (const char* slots : {"2147483647", "-2147483647", "-2147483648"}) {
    SCOPED_TRACE(slots);
    Bytes().raw("older list").WriteTo(dir.path("out.txt"));
    const jwwtest::ToolRun r =
        RunTool(std::string("--slots=") + slots + " -o " + dir.path("out.txt") + " a.jww", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("2147483647 slots need at least"), std::string::npos) << r.err;
    EXPECT_EQ(*jww::ReadWholeFile(jww::Utf8ToStr(dir.path("out.txt"))), "older list");
  }
  EXPECT_EQ(RunTool("--slots=2147483648 -o " + dir.path("out.txt") + " a.jww", dir).status, 2);
}

// The separators of the user's locale, as glibc gives them for each locale generated into a
// scratch folder. Japanese formats have 年 and 時 where a separator would be; the fallback
// separators take their place.
TEST(DravikList, LocaleSeparators) {
  const std::string locales = DRAVIK_TEST_LOCALES;
  struct Case {
    const char* name;
    const char* source;   // localedef -i
    const char* charmap;  // localedef -f
    const char* dateTime;
    const char* size;
    const char* scale;
  };
  const Case cases[] = {
      {"C", nullptr, nullptr, "2023/11/17 09:05:07", "1,234,567", "1/2.5"},
      {"en_US.UTF-8", "en_US", "UTF-8", "2023/11/17 09:05:07", "1,234,567", "1/2.5"},
      {"de_DE.UTF-8", "de_DE", "UTF-8", "2023.11.17 09:05:07", "1.234.567", "1/2,5"},
      {"fi_FI.UTF-8", "fi_FI", "UTF-8", "2023.11.17 09.05.07", "1,234,567", "1/2,5"},
      {"ja_JP.UTF-8", "ja_JP", "UTF-8", "2023/11/17 09:05:07", "1,234,567", "1/2.5"},
      {"ja_JP.SJIS", "ja_JP", "SHIFT_JIS", "2023/11/17 09:05:07", "1,234,567", "1/2.5"},
  };
  std::filesystem::create_directories(locales);
  jwwtest::TempDir dir;
  const std::string a = Drawing(dir, "a.jww", u"", 0, {2.5});
  SetMTime(a, 2023, 11, 17, 9, 5, 7);
  const std::string big = dir.path("big.jww");
  Bytes().raw("").WriteTo(big);
  ASSERT_EQ(::truncate(big.c_str(), 1234567), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string at = locales + "/" + c.name;
    if (c.source && !std::filesystem::exists(at + "/LC_TIME")) {
      const std::string gen = std::string("localedef -c -i ") + c.source + " -f " + c.charmap + " '" +
                              at + "' >/dev/null 2>&1";
      (void)std::system(gen.c_str());
      if (!std::filesystem::exists(at + "/LC_TIME")) {
        GTEST_SKIP() << "cannot generate the locale " << c.name << " with localedef";
      }
    }
    const jwwtest::ToolRun r = jwwtest::RunTool(
        "LOCPATH='" + locales + "' LC_ALL=" + c.name + " " DRAVIK_LIST_TOOL,
        "-n 2 -o " + dir.path("out.txt") + " " + a + " " + big, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = *jww::ReadWholeFile(jww::Utf8ToStr(dir.path("out.txt")));
    EXPECT_NE(out.find(std::string("%%1DT\t") + c.dateTime + "\r\n"), std::string::npos) << out.substr(0, 400);
    EXPECT_NE(out.find(std::string("%%2SZ\t") + c.size + "\r\n"), std::string::npos);
    EXPECT_NE(out.find(std::string("%%1SS0\t") + c.scale + "\r\n"), std::string::npos);
  }
}

TEST(DravikList, ErrorsAreReported) {
  jwwtest::TempDir dir;
  jwwtest::ToolRun r = RunTool("-o " + dir.path("out.txt"), dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("no drawing"), std::string::npos) << r.err;
  r = RunTool("-o " + dir.path("missing/out.txt") + " a.jww", dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
  r = RunTool("--slots many -o " + dir.path("out.txt") + " a.jww", dir);  // one line, as jww's
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "dravik-list: Could not convert: --slots = many (see 'dravik-list --help')\n");
  r = RunTool("a.jww", dir);  // no --output
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--output"), std::string::npos) << r.err;
  r = RunTool("--from " + dir.path("nolist.txt") + " -o " + dir.path("out.txt"), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
}

// A path list line longer than any path ends the reading at once (input without line breaks
// would otherwise be gathered until the memory runs out).
TEST(DravikList, PathListLinesLongerThanAnyPathAreRefused) {
  jwwtest::TempDir dir;
  const std::string list = dir.path("list.txt");
  std::ofstream(list) << "a.jww\r\n" << std::string(PATH_MAX + 1, 'x') << "\n";
  for (const std::string& from : {std::string("/dev/zero"), list}) {
    const jwwtest::ToolRun r = RunTool("--from " + from + " -o " + dir.path("out.txt"), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(from + ": line " + (from == list ? "2" : "1") + " is longer than any path"),
              std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path("out.txt")));
  }
}
#endif
