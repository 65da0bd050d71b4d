// The free routines: code page conversion, text, numbers, paths and era dates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "list/ListFile.h"
#include "common/Func_2.h"
#include "common/unicase.h"

using namespace jww;

TEST(CodePage, RoundTripsJapaneseAndMarksWhatItCannotMap) {
  const std::u16string text = u"平面図 A-1 ｱｲｳ ①";
  EXPECT_EQ(AnsiToStr(StrToAnsi(text)), text);
  EXPECT_EQ(StrToAnsi(u"図"), "\x90\x7d");
  EXPECT_EQ(StrToAnsi(u"a😀b"), "a?b");  // a surrogate pair is one character
  EXPECT_EQ(StrToAnsi(u"€"), "?");
  EXPECT_FALSE(IsAnsiRepresentable(u"x😀"));
  EXPECT_TRUE(IsAnsiRepresentable(u"図面"));
  // Undecodable bytes never stop the decoding.
  EXPECT_EQ(AnsiToStr("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(AnsiToStr("\x90"), u"\uFFFD");  // a lead byte with nothing after it
  EXPECT_EQ(BytesToStr(std::string_view("AB\0CD", 5)), u"AB");
}

TEST(CodePage, Utf8OfTextsAndPaths) {
  // Text that is ASCII to its end, and text whose ASCII start gives way to every other form.
  struct Case {
    std::u16string in;
    std::string text, path;
  };
  const Case cases[] = {
      {u"", "", ""},
      {u"/tmp/plan.jww", "/tmp/plan.jww", "/tmp/plan.jww"},
      {u"a\u00e9", "a\xC3\xA9", "a\xC3\xA9"},
      {u"dir/\u56f3.jww", "dir/\xE5\x9B\xB3.jww", "dir/\xE5\x9B\xB3.jww"},
      {u"x\U0001F600y", "x\xF0\x9F\x98\x80y", "x\xF0\x9F\x98\x80y"},
      {std::u16string(u"p") + char16_t(0xDCFF) + u"q", "p\xEF\xBF\xBDq", "p\xFFq"},  // a name's raw byte
      {std::u16string(u"p") + char16_t(0xD800), "p\xEF\xBF\xBD", "p\xEF\xBF\xBD"},  // a lone surrogate
      {u"\u00e9abc", "\xC3\xA9" "abc", "\xC3\xA9" "abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StrToUtf8(c.in), c.text) << c.text;
    EXPECT_EQ(NativePath(c.in), c.path) << c.path;
  }
}

// A drawing's text as it is read: decoded, cut at the first NUL, control characters dropped -
// into a string that held a longer text before, and into a fresh one.
TEST(CodePage, TextOfADrawingStringEndsAtNulWithoutControls) {
  const std::string cases[] = {
      "",
      "plain text 123",
      "\x95\xbd\x96\xca\x90\x7d",               // three two-byte characters
      "ab\x01\x1f" "cd",                          // controls in ASCII
      "\x90\x7d\x09x\x0d\x0a",                   // controls after a two-byte character
      std::string("A\x90\x7d\0\x90\x7d", 6),      // NUL after a two-byte character
      std::string("\0abc", 4),                     // empty up to its NUL
      "a\x90",                                     // a lead byte at the end
      "\x90\x01z",                                 // a lead byte before a control
      "\x81\x7f\xff\xa0\xb1",                    // no pair, bytes of no character, one-byte kana
      std::string(254, 'x') + "\x95\xbd",        // 256 bytes: always decoded in the string's own memory
      std::string(253, 'x') + "\x95\xbd",        // 255: the longest a fresh string takes from the stack
  };
  for (const std::string& bytes : cases) {
    std::u16string want = AnsiToStr(bytes);
    want.resize(std::min(want.size(), want.find(u'\0')));
    std::erase_if(want, [](char16_t c) { return c < 0x20; });
    std::u16string got = u"a longer text that was in this string before", fresh;
    AnsiTextTo(bytes, got);
    AnsiTextTo(bytes, fresh);
    EXPECT_EQ(got, want) << testing::PrintToString(bytes);
    EXPECT_EQ(fresh, want) << testing::PrintToString(bytes);
  }
}

// Upper case by Unicode's simple mapping, the same whatever locale the process runs in.
TEST(Text, UpperCaseIsUnicodesAndKeepsTheLength) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"a.jpg.gz", u"A.JPG.GZ"},
      {u"\u00E4pfel \uFF50ic \u03C9 \u0430", u"\u00C4PFEL \uFF30IC \u03A9 \u0410"},
      {u"\u00DF\u0131\u00FF", u"\u00DFI\u0178"},  // sharp s has no one-character capital
      {u"\U00010428x", u"\U00010400X"},           // a pair maps as the character it forms
      {std::u16string{0xD801, u'a', 0xDC28}, std::u16string{0xD801, u'A', 0xDC28}},  // lone surrogates kept
      {u"\u56F3\u9762", u"\u56F3\u9762"},
  };
  for (const auto& c : cases) EXPECT_EQ(UpperCase(c.in), c.out) << StrToUtf8(c.in);
}

TEST(Text, ControlCharactersAndIntegers) {
  EXPECT_EQ(DelCtrlChar(u"a\tb\r\nc\x1f d"), u"abc d");
  EXPECT_TRUE(SameTextAscii(u"Plan.JWW", u"plan.jww"));
  EXPECT_FALSE(SameTextAscii(u"Ａ", u"ａ"));  // only ASCII letters fold
  struct Case {
    std::u16string text;
    int32_t value;
  };
  for (const Case& c : {Case{u"12", 12}, Case{u"-3", -3}, Case{u" 7 ", 7}, Case{u"abc", 0}, Case{u"", 0},
                        Case{u"1x", 0}, Case{u"2147483647", 2147483647}, Case{u"-2147483648", INT32_MIN},
                        Case{u"2147483648", 0}, Case{u"99999999999999999999", 0}})
    EXPECT_EQ(StrToIntDef0(c.text), c.value) << StrToUtf8(c.text);
}

TEST(Numbers, RoundDecAndScales) {
  EXPECT_EQ(RoundDec(1, 2, 33.333), 33.3);
  EXPECT_EQ(RoundDec(1, 2, -2.25), -2.3);
  EXPECT_EQ(RoundDec(0, 0, 2.9), 2.0);
  EXPECT_EQ(RoundDec(1, 1, 2.01), 2.1);
  EXPECT_EQ(RoundDec(12, 2, 2.6), 3.0);  // digits out of range mean 0
  EXPECT_EQ(RoundDec(1, 2, 1e300), 1e300);  // no overflow for huge values
  EXPECT_EQ(RoundDec(1, 2, -1e20), -1e20);

  TRegional r;
  struct Case {
    double x;
    std::u16string text;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const Case& c : {Case{1, u"1/1"}, Case{1 + 1e-13, u"1/1"}, Case{100, u"1/100"}, Case{2.5, u"1/2.5"},
                        Case{33.333, u"1/33.3"}, Case{0.5, u"2/1"}, Case{0.3, u"3.3/1"}, Case{50, u"1/50"},
                        Case{1e20, u"1/1E20"}, Case{0, u" "}, Case{nan, u" "}, Case{inf, u" "},
                        Case{-inf, u" "}, Case{5e-324, u" "}})
    EXPECT_EQ(dravik::ScaleText(c.x, r), c.text) << c.x;
  const TRegional european{u".", u":", u".", u","};
  EXPECT_EQ(dravik::ScaleText(2.5, european), u"1/2,5");
}

TEST(Numbers, Thousands) {
  EXPECT_EQ(FormatThousands(1234567, u","), u"1,234,567");
  EXPECT_EQ(FormatThousands(0, u","), u"0");
  EXPECT_EQ(FormatThousands(999, u","), u"999");
  EXPECT_EQ(FormatThousands(3000000000LL, u"."), u"3.000.000.000");  // past 2 GiB stays true
  EXPECT_EQ(FormatThousands(-1000, u","), u"-1,000");
}

TEST(Paths, Parts) {
  struct Case {
    std::u16string path, folder, name, base;
  };
  for (const Case& c : {Case{u"/d/plan A 1.jww", u"/d/", u"plan A 1.jww", u"plan A 1"},
                        Case{u"/a.b.jww", u"/", u"a.b.jww", u"a.b"},
                        Case{u"plan.jww", u"/", u"plan.jww", u"plan"},
                        Case{u"/d/noext", u"/d/", u"noext", u"noext"}}) {
    EXPECT_EQ(ExtractFileFolder(c.path), c.folder);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFileBaseName(c.path), c.base);
  }
}

TEST(Dates, EraBoundaries) {
  struct Case {
    TLocalTime t;
    std::u16string text;
  };
  const Case cases[] = {
      {{2023, 11, 17}, u"令和 5年11月17日"}, {{2019, 5, 1}, u"令和 1年05月01日"},
      {{2019, 4, 30}, u"平成31年04月30日"},  {{1989, 1, 8}, u"平成 1年01月08日"},
      {{1989, 1, 7}, u"昭和64年01月07日"},   {{1926, 12, 25}, u"昭和 1年12月25日"},
      {{1912, 7, 30}, u"大正 1年07月30日"},  {{1899, 12, 30}, u"明治32年12月30日"},
      {{1868, 10, 22}, u"  年10月22日"},     {{2118, 1, 1}, u"令和100年01月01日"},
  };
  for (const Case& c : cases) EXPECT_EQ(dravik::EraDateText(c.t), c.text) << StrToUtf8(c.text);
}
