// Writing drawings: strings and counts, the header as written, and FileOut as a whole operation
// (refusals, failures part-way, the existing file under the name).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "jww/out_stream.h"
#include "jww/stream.h"
#include "jww/writer.h"
#include "tests/jww_bytes.h"

using jww::OutStream;
using jww::TJwwData;
using jwwtest::TempDir;

namespace {

std::string Written(void (*write)(OutStream&, const std::u16string&), const std::u16string& text) {
  OutStream s;
  write(s, text);
  s.Commit();
  return s.Data();
}

std::string StrBytes(const std::u16string& text) {
  return Written([](OutStream& s, const std::u16string& t) { jww::StrOut(s, t); }, text);
}

std::u16string ReadBack(const std::string& bytes, uint64_t* consumed = nullptr) {
  jww::InStream in(bytes.data(), bytes.size());
  std::u16string t = TJwwData::StrIn(in);
  if (consumed) *consumed = in.Position();
  return t;
}

std::string CountBytes(jww::Cardinal n) {
  OutStream s;
  jww::CountOut(s, n);
  s.Commit();
  return s.Data();
}

TJwwData NewDrawing() {
  TJwwData d;
  d.DataDefaultSet();
  return d;
}

// The files in a folder, so that a test sees any temporary file left behind.
std::vector<std::string> Listing(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.dir())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// ---- strings and counts -------------------------------------------------------------------------

TEST(StrOut, LengthPrefixAndReadBack) {
  struct Case {
    std::u16string text;
    std::string prefix;  // the first bytes written
    size_t total;
  };
  const Case cases[] = {
      {u"", std::string("\x00", 1), 1},
      {std::u16string(254, u'a'), "\xFE", 255},
      {std::u16string(255, u'a'), "\xFF\xFF\x00", 258},
      {u"\u3042", "\x02\x82\xA0", 3},  // code page 932 form of a Japanese character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.total);
    const std::string b = StrBytes(c.text);
    EXPECT_EQ(b.size(), c.total);
    EXPECT_EQ(b.substr(0, c.prefix.size()), c.prefix);
    EXPECT_EQ(ReadBack(b), c.text);
  }
}

TEST(StrOut, TextEndsAtItsFirstNulSoTheLengthMatchesTheBytes) {
  const std::u16string text(u"AB\0CD", 5);
  EXPECT_EQ(StrBytes(text), std::string("\x02" "AB"));
}

TEST(StrOut, LongTextIsCutAtACharacterBoundaryBelowTheUnicodeMarker) {
  // 70000 ASCII bytes: cut to 65533, the largest length that is neither 0xFFFE nor 0xFFFF.
  std::string b = StrBytes(std::u16string(70000, u'x'));
  ASSERT_EQ(b.size(), 3u + 65533u);
  EXPECT_EQ(b.substr(0, 3), "\xFF\xFD\xFF");
  uint64_t used = 0;
  EXPECT_EQ(ReadBack(b, &used).size(), 65533u);
  EXPECT_EQ(used, b.size());

  // 32767 two-byte characters are 65534 bytes; the last whole character that fits ends at 65532.
  b = StrBytes(std::u16string(32767, u'\u3042'));
  ASSERT_EQ(b.size(), 3u + 65532u);
  EXPECT_EQ(b.substr(0, 3), "\xFF\xFC\xFF");
  EXPECT_EQ(ReadBack(b), std::u16string(32766, u'\u3042'));
}

TEST(StrOut, TextCodePage932CannotHoldIsWrittenInTheUnicodeForm) {
  // Hangul and a character outside the basic plane: "?" would lose both.
  const std::u16string text = u"a\uD55C\U0001F600";
  const std::string b = StrBytes(text);
  jwwtest::Bytes expected;
  expected.ustr(text);
  EXPECT_EQ(b, expected.data());
  EXPECT_EQ(ReadBack(b), text);

  const std::u16string longText = std::u16string(300, u'\uD55C');
  EXPECT_EQ(ReadBack(StrBytes(longText)), longText);
}

// A text takes the code page form only when that form reads back as the same text; characters
// the converter maps onto others (yen sign to backslash, em dash to horizontal bar, overline to
// tilde) take the Unicode form, while their own code page characters stay in the code page form.
TEST(StrOut, TextTheCodePageWouldTurnIntoOtherCharactersTakesTheUnicodeForm) {
  struct Case {
    std::u16string text;
    bool codePageForm;
  } cases[] = {
      {u"C:\\img\\a~b", true},  {u"\uFFE5100\u2015\uFF5E", true}, {u"\u56F3\u9762", true},
      {u"\u00A5100", false},      {u"a\u2014b", false},           {u"\u203E", false},
      {u"\u56F3\u00A5", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(jww::StrToUtf8(c.text));
    const std::string b = StrBytes(c.text);
    EXPECT_EQ(ReadBack(b), c.text);
    jwwtest::Bytes unicode;
    unicode.ustr(c.text);
    EXPECT_EQ(b == unicode.data(), !c.codePageForm);
  }
}

TEST(CountOut, WordBelowEscapeThenCardinal) {
  EXPECT_EQ(CountBytes(0), std::string("\x00\x00", 2));
  EXPECT_EQ(CountBytes(65534), "\xFE\xFF");
  EXPECT_EQ(CountBytes(65535), std::string("\xFF\xFF\xFF\xFF\x00\x00", 6));
  EXPECT_EQ(CountBytes(70000), std::string("\xFF\xFF\x70\x11\x01\x00", 6));
}

TEST(DelMarkChar, MarksAndControlsDropped) {
  EXPECT_EQ(jww::DelMarkChar(u""), u"");
  EXPECT_EQ(jww::DelMarkChar(u"A^mB"), u"AB");
  EXPECT_EQ(jww::DelMarkChar(u"A\\nB\tC"), u"ABC");
  EXPECT_EQ(jww::DelMarkChar(u"\r\n\t"), u" ");
  EXPECT_EQ(jww::DelMarkChar(u"^m"), u" ");
  EXPECT_EQ(jww::DelMarkChar(u"^"), u"^");
  EXPECT_EQ(jww::DelSpaceChar(u" a\u3000b\t"), u"ab");
}

TEST(SetFileOutOption, KeepsZeroToFifteenOnly) {
  TJwwData d;
  for (auto [n, want] : {std::pair{9, 9}, {15, 15}, {0, 0}, {16, 0}, {-1, 0}}) {
    d.FileOutOpt = 3;
    d.SetFileOutOption(n);
    EXPECT_EQ(d.FileOutOpt, want) << n;
  }
}

// ---- the header as written ----------------------------------------------------------------------

TEST(FileOutHeader, EveryVersionThresholdReadsBack) {
  TempDir dir;
  TJwwData d = NewDrawing();
  d.Enthd.strMemo = u"line 1\r\nline 2";
  d.Enthd.nZumen = 3;
  d.Enthd.dTenkuuZuLevel = 7.5;
  d.Enthd.dZoomJumpBairitsu[6] = 4.0;
  d.Enthd.nZoomJumpGLay[2] = 5;
  d.Enthd.dDm12 = 2.5;
  d.Enthd.lnDrawTime = 99;
  d.Enthd.dBoxSunpouY = 12.5;
  d.Enthd.SolidColor = 0x123456;
  d.EntColS[100].aPenColor = 0x010203;
  d.EntLay[53].aStrLayName = u"\u58c1";
  d.EntLgrp[15].adScale = 200;
  for (int ver : {220, 222, 223, 224, 225, 229, 230, 231, 299, 300, 350, 351, 419, 420, 599, 600, 700}) {
    SCOPED_TRACE(ver);
    const auto path = jww::Utf8ToStr(dir.path("h.jww"));
    ASSERT_TRUE(d.FileOut(path, ver));
    TJwwData r;
    ASSERT_TRUE(r.FileHeaderIn(path));
    const auto& h = r.Enthd;
    EXPECT_EQ(h.jwVer, ver);
    EXPECT_EQ(h.strMemo, d.Enthd.strMemo);
    EXPECT_EQ(h.nZumen, 3);
    EXPECT_EQ(r.EntLay[53].aStrLayName, u"\u58c1");
    EXPECT_EQ(r.EntLgrp[15].adScale, 200.0);
    EXPECT_EQ(h.dTenkuuZuLevel, ver >= 300 ? 7.5 : 0.0);
    EXPECT_EQ(h.dZoomJumpBairitsu[6], ver > 230 ? 4.0 : 1.0);
    EXPECT_EQ(h.nZoomJumpGLay[2], ver > 230 ? 5 : -1);
    EXPECT_EQ(h.dDm12, ver > 230 ? 2.5 : 0.0);
    EXPECT_EQ(h.lnDrawTime, ver >= 223 ? 99 : 0);
    EXPECT_EQ(h.dBoxSunpouY, ver >= 225 ? 12.5 : 0.0);
    EXPECT_EQ(h.SolidColor, ver >= 230 ? 0x123456 : 0);
    EXPECT_EQ(r.EntColS[100].aPenColor, ver >= 420 ? 0x010203 : 0);
    EXPECT_EQ(r.EntLtpS[7].astrUDLTypeName, ver >= 420 ? u"dotted" : u"");
    EXPECT_EQ(h.nMojiShu, 3);
    EXPECT_EQ(h.adMojiKijunZureY2, 1.0);
  }
}

TEST(FileOutHeader, ReservedBytesAreSpacesThenZeros) {
  TempDir dir;
  TJwwData d = NewDrawing();
  const auto path = jww::Utf8ToStr(dir.path("r.jww"));
  ASSERT_TRUE(d.FileOut(path, 600));
  const std::string b = *jww::ReadWholeFile(path);
  // id 8, version 4, empty memo 1, nZumen 4, nWriteGLay 4, 16 layer groups of 148 bytes
  const size_t row7 = 8 + 4 + 1 + 4 + 4 + 16 * 148;
  EXPECT_EQ(b.substr(row7, 56), std::string(56, ' '));
  EXPECT_EQ(b.substr(row7 + 56 + 20, 4), std::string(4, '\0'));
}

TEST(FileOutHeader, ClampsAndForcedValues) {
  TempDir dir;
  TJwwData d = NewDrawing();
  d.EntCol[1].anPenWidth = 0;
  d.EntCol[2].anPenWidth = 17;
  d.EntCol[1].anPrtPenWidth = 0;
  d.EntCol[2].anPrtPenWidth = 600;
  d.EntCol[1].adPrtTenHankei = 0.05;
  d.EntCol[2].adPrtTenHankei = 12;
  d.EntCol[3].adPrtTenHankei = std::nan("");
  d.EntCol[1].aPenColor = -1;
  d.EntCol[2].aPrtPenColor = 0x1000000;
  d.EntCol[0].aPrtPenColor = 0x123456;
  d.EntMoj[0].adMojiX = -5.0;
  d.EntMoj[0].adMojiY = 0.0;
  d.EntMoj[1].adMojiX = 1e12;
  d.Enthd.dMojiSizeY = -2.0;
  d.EntLay[0].aStrLayName = u"A^mB";
  d.EntLay[1].aStrLayName = u"\t\r";
  d.EntLgrp[2].aStrGLayName = u"G\\n";
  d.EntColS[5].astrUDColorName = u"  ";
  d.EntColS[20].astrUDColorName = u"mine";
  d.EntColS[20].aPenColor = 0x112233;
  d.EntColS[20].aPrtPenColor = 0x445566;
  d.EntColS[3].aPrtPenColor = 0x778899;
  d.EntLtpS[20].anUDLTypeSegment = 3;
  d.EntLtpS[20].astrUDLTypeName = u"odd";
  d.EntLtpS[20].aadUDLTypePitch[5] = 9.0;
  d.EntLtpS[5].anUDLTypeSegment = 3;
  d.EntLtpS[6].alLType = 0;
  d.EntLtpS[7].astrUDLTypeName = u"\u3000";

  const auto path = jww::Utf8ToStr(dir.path("c.jww"));
  ASSERT_TRUE(d.FileOut(path, 600));
  TJwwData r;
  ASSERT_TRUE(r.FileHeaderIn(path));
  EXPECT_EQ(r.EntCol[1].anPenWidth, 1);
  EXPECT_EQ(r.EntCol[2].anPenWidth, 16);
  EXPECT_EQ(r.EntCol[1].anPrtPenWidth, 1);
  EXPECT_EQ(r.EntCol[2].anPrtPenWidth, 500);
  EXPECT_EQ(r.EntCol[1].adPrtTenHankei, 0.1);
  EXPECT_EQ(r.EntCol[2].adPrtTenHankei, 10.0);
  EXPECT_EQ(r.EntCol[3].adPrtTenHankei, 0.1);
  EXPECT_EQ(r.EntCol[1].aPenColor, 0);
  EXPECT_EQ(r.EntCol[2].aPrtPenColor, 0);
  EXPECT_EQ(r.EntCol[0].aPrtPenColor, 0xFFFFFF);
  EXPECT_EQ(r.EntMoj[0].adMojiX, 5.0);
  EXPECT_EQ(r.EntMoj[0].adMojiY, 1e-10);
  EXPECT_EQ(r.EntMoj[1].adMojiX, 1e10);
  EXPECT_EQ(r.Enthd.dMojiSizeY, 2.0);
  EXPECT_EQ(r.EntLay[0].aStrLayName, u"AB");
  EXPECT_EQ(r.EntLay[1].aStrLayName, u" ");
  EXPECT_EQ(r.EntLay[2].aStrLayName, u"");
  EXPECT_EQ(r.EntLgrp[2].aStrGLayName, u"G");
  EXPECT_EQ(r.EntColS[5].astrUDColorName, u"Color_5");
  EXPECT_EQ(r.EntColS[20].astrUDColorName, u"mine");
  EXPECT_EQ(r.EntColS[20].aPrtPenColor, 0x112233);  // beyond the named colours: prints as shown
  EXPECT_EQ(r.EntColS[3].aPrtPenColor, 0x778899);
  const auto& lt20 = r.EntLtpS[20];
  EXPECT_EQ(static_cast<uint32_t>(lt20.alLType), 0xC3C3C3C3u);
  EXPECT_EQ(lt20.anTokushuSenUintDot, 8);
  EXPECT_EQ(lt20.anTokushuSenPich, 1);
  EXPECT_EQ(lt20.anPrtTokushuSenPich, 8);
  EXPECT_EQ(lt20.astrUDLTypeName, u"LType_20");
  EXPECT_EQ(lt20.anUDLTypeSegment, 2);
  EXPECT_EQ(lt20.aadUDLTypePitch[0], 1.0);
  EXPECT_EQ(lt20.aadUDLTypePitch[1], 1.0);
  EXPECT_EQ(lt20.aadUDLTypePitch[5], 0.0);
  EXPECT_EQ(r.EntLtpS[5].anUDLTypeSegment, 3);  // the named line types are written as held
  EXPECT_EQ(r.EntLtpS[5].astrUDLTypeName, u"long dashed double-dotted");
  EXPECT_EQ(r.EntLtpS[6].alLType, -1);
  EXPECT_EQ(r.EntLtpS[7].astrUDLTypeName, u"LType_7");
  // The document itself is not changed by the clamps.
  EXPECT_EQ(d.EntCol[2].anPenWidth, 17);
  EXPECT_EQ(d.EntLtpS[20].astrUDLTypeName, u"odd");
}

TEST(FileOutHeader, LineWidthSettingAndPrintValueByVersion) {
  TempDir dir;
  const auto path = jww::Utf8ToStr(dir.path("p.jww"));
  struct Case {
    int ver, maxDrawWid, prtDpi, prtDisp;
    int wantMaxDrawWid, wantDpi, wantDisp;
  };
  const Case cases[] = {
      // nothing below -101 up to version 420
      {420, -250, 0, 0, -101, 0, 0},
      {421, -250, 0, 0, -250, 0, 0},
      {420, -100, 0, 0, -100, 0, 0},
      // from 600 the print value carries the resolution: 302, or 12 when none is set
      {600, -300, 30, 2, -300, 30, 2},
      {600, -300, 0, 2, -300, 1, 2},
      {700, -300, -5, 3, -300, 1, 3},
      {500, -300, 30, 2, -300, 0, 2},  // before 600 only the ones digit is stored
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.ver << " " << c.maxDrawWid << " " << c.prtDpi);
    TJwwData d = NewDrawing();
    d.Enthd.nMaxDrawWid = c.maxDrawWid;
    d.Enthd.nPrtDpi = c.prtDpi;
    d.Enthd.nPrtDispOnlyNonDraw = c.prtDisp;
    ASSERT_TRUE(d.FileOut(path, c.ver));
    TJwwData r;
    ASSERT_TRUE(r.FileHeaderIn(path));
    EXPECT_EQ(r.Enthd.nMaxDrawWid, c.wantMaxDrawWid);
    EXPECT_EQ(r.Enthd.nPrtDpi, c.wantDpi);
    EXPECT_EQ(r.Enthd.nPrtDispOnlyNonDraw, c.wantDisp);
  }
}

// ---- FileOut as a whole -------------------------------------------------------------------------

TEST(FileOut, RefusesVersionsNoReaderAcceptsAndEmptyDocumentsWithoutCreatingAFile) {
  TempDir dir;
  TJwwData d = NewDrawing();
  for (int ver : {219, 701, 0, -600}) {
    EXPECT_FALSE(d.FileOut(jww::Utf8ToStr(dir.path("v.jww")), ver)) << ver;
  }
  EXPECT_EQ(d.LastError().message, "version outside 220..700");
  TJwwData empty;
  EXPECT_FALSE(empty.FileOut(jww::Utf8ToStr(dir.path("e.jww")), 600));
  EXPECT_EQ(empty.Enthd.jwID, u"");  // a refused write leaves the document as it was
  EXPECT_EQ(empty.LastError().message, "the document has no header tables");
  EXPECT_TRUE(Listing(dir).empty());

  EXPECT_TRUE(d.FileOut(jww::Utf8ToStr(dir.path("v.jww")), 220));
  EXPECT_TRUE(d.FileOut(jww::Utf8ToStr(dir.path("v.jww")), 700));
}

TEST(FileOut, DestinationThatCannotBeCreatedFails) {
  TempDir dir;
  TJwwData d = NewDrawing();
  EXPECT_FALSE(d.FileOut(jww::Utf8ToStr(dir.path("missing/a.jww")), 600));
  EXPECT_EQ(d.LastError().message, std::strerror(ENOENT));
  EXPECT_FALSE(d.FileOut(jww::Utf8ToStr(dir.dir() + "/"), 600));
  EXPECT_FALSE(d.FileOut(u"", 600));
  EXPECT_TRUE(Listing(dir).empty());
  if (::geteuid() != 0) {  // root writes anywhere
    const std::string ro = dir.path("ro");
    std::filesystem::create_directory(ro);
    ::chmod(ro.c_str(), 0500);
    EXPECT_FALSE(d.FileOut(jww::Utf8ToStr(ro + "/a.jww"), 600));
    ::chmod(ro.c_str(), 0700);
    EXPECT_TRUE(std::filesystem::is_empty(ro));
  }
}

TEST(FileOut, WriteFailingPartWayLeavesTheExistingDrawingUntouched) {
  TempDir dir;
  const auto path = jww::Utf8ToStr(dir.path("plan.jww"));
  TJwwData old = NewDrawing();
  old.Enthd.strMemo = u"the drawing the user keeps";
  ASSERT_TRUE(old.FileOut(path, 600));
  const std::string before = *jww::ReadWholeFile(path);

  TJwwData d = NewDrawing();
  d.Enthd.strMemo = u"a new one";
  OutStream probe;
  jww::HeaderOut(probe, d, 700);
  jww::EntityStreamOut(probe, d, 700);
  probe.Commit();
  const uint64_t size = probe.Data().size();
  for (uint64_t n : {uint64_t{0}, uint64_t{7}, uint64_t{12}, uint64_t{2400}, size / 2, size - 4, size - 1}) {
    SCOPED_TRACE(n);
    std::string why;
    EXPECT_FALSE(jww::WriteJwwFile(d, path, 700, n, &why));
    EXPECT_EQ(why, std::strerror(ENOSPC));
    EXPECT_EQ(*jww::ReadWholeFile(path), before);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"plan.jww"});
  }
  EXPECT_TRUE(jww::WriteJwwFile(d, path, 700, size));
  EXPECT_EQ(jww::ReadWholeFile(path)->size(), size);
}

TEST(FileOut, NewFileTakesTheModeOfTheDrawingItReplaces) {
  TempDir dir;
  const std::string p = dir.path("m.jww");
  TJwwData d = NewDrawing();
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(p), 600));
  ::chmod(p.c_str(), 0640);
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(p), 600));
  struct stat st;
  ASSERT_EQ(::stat(p.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(FileOut, DrawingReachedThroughALinkIsReplacedWhereItLies) {
  TempDir dir;
  std::filesystem::create_directory(dir.path("real"));
  const std::string real = dir.path("real/plan.jww"), link = dir.path("plan.jww");
  TJwwData d = NewDrawing();
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(real), 600));
  std::filesystem::create_symlink(real, link);
  d.Enthd.strMemo = u"second";
  ASSERT_TRUE(d.FileOut(jww::Utf8ToStr(link), 600));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  TJwwData r;
  ASSERT_TRUE(r.FileHeaderIn(jww::Utf8ToStr(real)));
  EXPECT_EQ(r.Enthd.strMemo, u"second");
}
