// File check and header reading: versions, row conditions, strings, derivations, damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include "jww/list_memory.h"
#include "jww/stream.h"
#include "tests/jww_bytes.h"

using jwwtest::Bytes;

namespace {

// Reads a header from exactly `bytes`, copied into a heap block of exactly that size so that any
// read past the end is caught by AddressSanitizer.
bool ReadHeader(const std::string& bytes, jww::TJwwData& d) {
  std::unique_ptr<char[]> exact(new char[bytes.size() ? bytes.size() : 1]);
  std::memcpy(exact.get(), bytes.data(), bytes.size());
  jww::InStream s(exact.get(), bytes.size());
  d.DataInit();
  return d.HeaderIn(s);
}

// Header size with every string empty, counted row by row from the file layout.
size_t ExpectedEmptyHeaderSize(int ver) {
  size_t n = 8 + 4 + 1 + 4 + 4 + 16 * 148 + 56 + 20 + 4 + 4 + 24 + 8 + 40 + 256 + 16 + 16 + 4 + 8;
  if (ver >= 300) n += 16;
  n += 4 + 48;
  n += ver > 230 ? 8 * 28 + 56 : 4 * 24;
  n += 80 + 8 + 80 + 160 + 128 + 100 + 64 + 40 + 4;
  if (ver >= 223) n += 60;
  if (ver >= 225) n += 32;
  if (ver >= 230) n += 8;
  if (ver >= 420) n += 257 * 8 + 257 * 17 + 33 * 16 + 33 * 85;
  n += 280 + 24 + 8 + 16 + 4 + 48;
  return n;
}

}  // namespace

TEST(FileCheck, AcceptsVersions220To700Only) {
  jwwtest::TempDir dir;
  struct Case {
    std::string bytes;
    bool ok;
  };
  const Case cases[] = {
      {Bytes().raw("JwwData.").i32(220).data(), true},
      {Bytes().raw("JwwData.").i32(700).data(), true},
      {Bytes().raw("JwwData.").i32(219).data(), false},
      {Bytes().raw("JwwData.").i32(701).data(), false},
      {Bytes().raw("JwwData.").data(), false},             // no version at all
      {Bytes().raw("JwwData.").u16(600).data(), false},    // version cut short
      {Bytes().raw("jwwData.").i32(600).data(), false},    // case matters
      {Bytes().raw("JwwData").u8(0).i32(600).data(), false},
      {"", false},
  };
  jww::TJwwData d;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    auto path = Bytes().raw(c.bytes).WriteTo(dir.path("f.jww"));
    EXPECT_EQ(d.FileCheck(path), c.ok);
  }
  EXPECT_FALSE(d.FileCheck(jww::Utf8ToStr(dir.path("missing.jww"))));
  EXPECT_FALSE(d.FileCheck(jww::Utf8ToStr(dir.dir())));
}

TEST(FileHeaderIn, VersionLimitsAndMessages) {
  jww::TJwwData d;
  for (int ver : {220, 700}) {
    EXPECT_TRUE(ReadHeader(Bytes().Header(ver).data(), d)) << ver;
    EXPECT_EQ(d.Enthd.jwVer, ver);
  }
  for (int ver : {219, 701}) {
    EXPECT_FALSE(ReadHeader(Bytes().Header(ver).data(), d)) << ver;
    EXPECT_EQ(d.Enthd.jwVer, ver);  // the version read stays, even when refused
    EXPECT_EQ(d.LastError().message, "JWW-Version Error");
  }
  EXPECT_FALSE(ReadHeader(Bytes().raw("JwwDate.").i32(600).data(), d));
  EXPECT_EQ(d.Enthd.jwID, u"JwwDate.");
  EXPECT_EQ(d.LastError().message, "JWW-Header Error");
}

TEST(FileHeaderIn, RowsPresentByVersion) {
  // Each threshold adds or drops rows; the reader must stop exactly at the header's end.
  for (int ver : {220, 222, 223, 224, 225, 229, 230, 231, 299, 300, 419, 420, 600, 700}) {
    SCOPED_TRACE(ver);
    const std::string bytes = Bytes().Header(ver).data();
    EXPECT_EQ(bytes.size(), ExpectedEmptyHeaderSize(ver));
    jww::TJwwData d;
    jww::InStream s(bytes.data(), bytes.size());
    ASSERT_TRUE(d.HeaderIn(s));
    EXPECT_EQ(s.Position(), bytes.size());
  }
}

TEST(FileHeaderIn, ZoomJumpsBeforeAndAfter231) {
  jww::TJwwData src;
  Bytes::SizeTables(src);
  for (int n = 0; n < 8; ++n) {
    src.Enthd.dZoomJumpBairitsu[n] = 10 + n;
    src.Enthd.nZoomJumpGLay[n] = n;
  }
  src.Enthd.dDm11 = 7.5;
  src.Enthd.nSolidNinniColor = 1;
  jww::TJwwData d;
  ASSERT_TRUE(ReadHeader(Bytes().Header(src, 230).data(), d));
  EXPECT_EQ(d.Enthd.dZoomJumpBairitsu[3], 13);
  EXPECT_EQ(d.Enthd.dZoomJumpBairitsu[4], 1.0);  // entries 5..8 keep their initial values
  EXPECT_EQ(d.Enthd.nZoomJumpGLay[0], -1);
  EXPECT_EQ(d.Enthd.dDm11, 0);
  EXPECT_EQ(d.Enthd.nSolidNinniColor, 1);  // row 34 exists from 230 on

  ASSERT_TRUE(ReadHeader(Bytes().Header(src, 231).data(), d));
  EXPECT_EQ(d.Enthd.dZoomJumpBairitsu[7], 17);
  EXPECT_EQ(d.Enthd.nZoomJumpGLay[7], 7);
  EXPECT_EQ(d.Enthd.dDm11, 7.5);
}

TEST(FileHeaderIn, DerivedValues) {
  struct Case {
    int32_t stored;
    bool senHaba100;
    int32_t bak;
  };
  const Case cases[] = {{-250, true, 50}, {-450, true, -50}, {-150, true, -100}, {-100, false, -100},
                        {0, false, 0},    {-101, true, -100}, {-201, true, 1},   {-300, true, 100},
                        {-350, true, -100}, {-401, true, -1}, {-501, true, -100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    jww::TJwwData src, d;
    Bytes::SizeTables(src);
    src.Enthd.nMaxDrawWid = c.stored;
    ASSERT_TRUE(ReadHeader(Bytes().Header(src, 600).data(), d));
    EXPECT_EQ(d.Enthd.nMaxDrawWid, c.stored);
    EXPECT_EQ(d.Enthd.bSenHaba100, c.senHaba100);
    EXPECT_EQ(d.Enthd.nMaxDrawWidBak, c.bak);
  }

  jww::TJwwData src, d;
  Bytes::SizeTables(src);
  src.Enthd.nPrtDpi = 300;
  src.Enthd.nPrtDispOnlyNonDraw = 2;  // stored as 3002
  src.EntMoj[4].adMojiX = std::numeric_limits<double>::quiet_NaN();
  src.EntMoj[4].adMojiD = std::numeric_limits<double>::infinity();
  src.EntMoj[5].adMojiX = 2.5;
  src.Enthd.dMojiSizeY = -std::numeric_limits<double>::infinity();
  src.Enthd.dMojiKankaku = std::numeric_limits<double>::quiet_NaN();
  ASSERT_TRUE(ReadHeader(Bytes().Header(src, 600).data(), d));
  EXPECT_EQ(d.Enthd.nPrtDpi, 300);
  EXPECT_EQ(d.Enthd.nPrtDispOnlyNonDraw, 2);
  EXPECT_EQ(d.EntMoj[4].adMojiX, 3.0);
  EXPECT_EQ(d.EntMoj[4].adMojiD, 0.0);
  EXPECT_EQ(d.EntMoj[5].adMojiX, 2.5);
  EXPECT_EQ(d.Enthd.dMojiSizeY, 3.0);
  EXPECT_EQ(d.Enthd.dMojiKankaku, 0.0);

  // A negative print value splits with truncation toward zero.
  jww::TJwwData probe;
  Bytes::SizeTables(probe);
  probe.Enthd.nPrtDpi = -1;
  probe.Enthd.nPrtDispOnlyNonDraw = -7;  // -17
  ASSERT_TRUE(ReadHeader(Bytes().Header(probe, 600).data(), d));
  EXPECT_EQ(d.Enthd.nPrtDpi, -1);
  EXPECT_EQ(d.Enthd.nPrtDispOnlyNonDraw, -7);
}

TEST(FileHeaderIn, StringsOnFile) {
  jww::TJwwData src, d;
  Bytes::SizeTables(src);
  src.Enthd.strMemo = u"Upper\r\nLower";
  src.EntLay[53].aStrLayName = u"a\tb";   // layer 5 of group 3
  src.EntLgrp[15].aStrGLayName = u"壁";
  ASSERT_TRUE(ReadHeader(Bytes().Header(src, 600).data(), d));
  EXPECT_EQ(d.Enthd.strMemo, u"Upper\r\nLower");
  EXPECT_EQ(d.EntLay[53].aStrLayName, u"ab");
  EXPECT_EQ(d.EntLgrp[15].aStrGLayName, u"壁");

  // Length prefixes at the short/long boundary, an embedded NUL, the Unicode form.
  struct Case {
    std::string prefix_and_text;
    std::u16string memo;
  };
  const std::string s254(254, 'x'), s255(255, 'y'), s300(300, 'z');
  const Case cases[] = {
      {Bytes().u8(0).data(), u""},
      {Bytes().u8(254).raw(s254).data(), std::u16string(254, u'x')},
      {Bytes().u8(255).u16(255).raw(s255).data(), std::u16string(255, u'y')},
      {Bytes().u8(255).u16(300).raw(s300).data(), std::u16string(300, u'z')},
      {Bytes().u8(5).raw("AB\0CD", 5).data(), u"AB"},
      {Bytes().ustr(u"図面①\r\n二行目").data(), u"図面①\r\n二行目"},
      {Bytes().ustr(u"ab\0cd").data(), u"ab"},
      {Bytes().ustr(std::u16string(300, u'字')).data(), std::u16string(300, u'字')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix_and_text.size());
    // Replace the empty memo (one byte 0 after the version) by the case's bytes.
    std::string bytes = Bytes().Header(600).data();
    bytes.replace(12, 1, c.prefix_and_text);
    ASSERT_TRUE(ReadHeader(bytes, d));
    EXPECT_EQ(d.Enthd.strMemo, c.memo);
  }
}

TEST(FileHeaderIn, UnicodeNamesLoseControlCharacters) {
  std::string bytes = Bytes().Header(600).data();
  // The first layer name follows the fixed rows 4..13 after the memo.
  const size_t firstLayerName = 13 + 4 + 4 + 16 * 148 + 56 + 20 + 4 + 4 + 24 + 8 + 40;
  ASSERT_EQ(bytes[firstLayerName], 0);
  bytes.replace(firstLayerName, 1, Bytes().ustr(u"通り\t芯").data());
  jww::TJwwData d;
  ASSERT_TRUE(ReadHeader(bytes, d));
  EXPECT_EQ(d.EntLay[0].aStrLayName, u"通り芯");
}

TEST(FileHeaderIn, TruncationSweep) {
  // Every prefix that ends before the last field fails cleanly; the tables stay sized.
  jww::TJwwData src;
  Bytes::SizeTables(src);
  src.Enthd.strMemo = u"メモ";
  for (int i = 0; i < 256; ++i) src.EntLay[i].aStrLayName = u"L" + std::u16string(1, u'A' + i % 26);
  const std::string full = Bytes().Header(src, 700).data();
  jww::TJwwData d;
  for (size_t n = 0; n + 8 <= full.size(); ++n) {
    ASSERT_FALSE(ReadHeader(full.substr(0, n), d)) << n;
    if (n > 0) {
      ASSERT_EQ(d.EntLgrp.size(), 16u);
      ASSERT_EQ(d.EntLay.size(), 256u);
    }
  }
  EXPECT_TRUE(ReadHeader(full, d));
}

TEST(FileHeaderIn, CutInLayerNamesThroughFile) {
  jwwtest::TempDir dir;
  std::string full = Bytes().Header(600).data();
  auto path = Bytes().raw(full.substr(0, 2700)).WriteTo(dir.path("cut.jww"));
  jww::TJwwData d;
  EXPECT_TRUE(d.FileCheck(path));
  EXPECT_FALSE(d.FileHeaderIn(path));
  EXPECT_EQ(d.LastError().message, "File I/O Error");
  EXPECT_EQ(d.EntLgrp.size(), 16u);
  EXPECT_EQ(d.EntLay.size(), 256u);
  EXPECT_FALSE(d.FileHeaderIn(jww::Utf8ToStr(dir.path("missing.jww"))));
  EXPECT_TRUE(d.EntLay.empty());  // emptied before the file was even opened
}

namespace {

// Gives every header field a value of its own and every name one of the forms a name takes on
// file, in turn: `seed` makes another set of values.
class FillIO : public jww::HeaderTableReadHooks<FillIO> {
 public:
  static constexpr bool kReading = false;
  FillIO(int seed, std::vector<std::u16string> names) : k_(seed), names_(std::move(names)) {}
  template <class T>
  void Num(T& v) {
    v = static_cast<T>(++k_ % 1000 - 300) / (std::is_same_v<T, double> ? 8 : 1);
  }
  template <class T, class Fix>
  void Num(T& v, Fix&&) {
    Num(v);
  }
  void LastNum(double& v) { Num(v); }
  void Str(std::u16string& v, jww::StrKind) { v = names_[++k_ % names_.size()]; }
  void Reserved(size_t, uint8_t) {}
  void PrintValue(jww::TEntJwwHeader& h, int32_t) {
    Num(h.nPrtDpi);
    Num(h.nPrtDispOnlyNonDraw);
  }

 private:
  int k_;
  std::vector<std::u16string> names_;
};

// Header rows with every third name in the Unicode string form.
class MixedNamesIO : public jwwtest::HeaderBytesIO {
 public:
  explicit MixedNamesIO(Bytes& b) : HeaderBytesIO(b), b_(b) {}
  void Str(const std::u16string& v, jww::StrKind) { Name(v); }
  void ColorExPass2(const jww::TEntJwwColorExNo& c, int) {
    Name(c.astrUDColorName);
    b_.i32(c.aPrtPenColor).i32(c.anPrtPenWidth).f64(c.adPrtTenHankei);
  }
  void LineTypeExPass2(const jww::TEntJwwLineTypeExNo& t, int) {
    Name(t.astrUDLTypeName);
    b_.i32(t.anUDLTypeSegment);
    for (double p : t.aadUDLTypePitch) b_.f64(p);
  }

 private:
  void Name(const std::u16string& v) {
    if (++n_ % 3 == 0) b_.ustr(v);
    else b_.str(v);
  }
  Bytes& b_;
  int n_ = 0;
};

// Everything a header read leaves in a document: every table field and name (written out as
// version 700, which has every row), what those rows do not show, and how the read ended.
std::string HeaderState(const jww::TJwwData& d, bool ok) {
  const auto& h = d.Enthd;
  return Bytes().Header(d, 700).data() + jww::StrToUtf8(h.jwID) + std::to_string(h.jwVer) +
         std::to_string(h.bSenHaba100) + std::to_string(h.nMaxDrawWidBak) + std::to_string(ok) +
         d.LastError().message + std::to_string(d.LastError().offset);
}

// Where two states first differ (npos when they are equal), for a short failure message.
size_t FirstDifference(const std::string& a, const std::string& b) {
  const auto m = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return m.first == a.end() && m.second == b.end() ? std::string::npos : static_cast<size_t>(m.first - a.begin());
}

}  // namespace

TEST(FileHeaderIn, ReadIntoAUsedDocumentAsIntoANewOneWholeOrCut) {
  // A new document, a document that held another drawing (other values, long names) and a new
  // document that takes the tables a freed one left read the same bytes alike, whole or cut
  // anywhere, and alike whether the header is taken from memory at once or field by field
  // through a small file buffer.
  const std::vector<std::u16string> forms = {
      u"", u"", u"", u"", u"Layer 1", u"通り芯", u"a\tb", u"memo\r\nline", std::u16string(u"x\0y", 3),
      std::u16string(256, u'L'), u"通り\t芯", std::u16string(u"芯\0x", 3), u"0123456789abcdef",
      u"", u"", u"", u"", u"", u"", u"", u"",
      u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u"", u""};
  jww::TJwwData other;
  Bytes::SizeTables(other);
  FillIO otherFill(7, {std::u16string(16, u'o'), std::u16string(9, u'p')});
  jww::HeaderRows(otherFill, other, 700);
  const std::string otherBytes = Bytes().Header(other, 700).data();
  auto readOther = [&](jww::TJwwData& d) {
    jww::InStream o(otherBytes.data(), otherBytes.size());
    d.DrawingIn(o, false, 0);
  };

  jwwtest::TempDir dir;
  for (int ver : {220, 300, 420, 600, 700}) {
    SCOPED_TRACE(ver);
    jww::TJwwData src;
    Bytes::SizeTables(src);
    FillIO fill(ver, forms);
    jww::HeaderRows(fill, src, ver);
    Bytes b;
    b.raw("JwwData.").i32(ver);
    MixedNamesIO io(b);
    jww::HeaderRows(io, src, ver);
    const std::string bytes = b.data();
    // Every 79th length for one version, every 293rd for the others, and the last 16 (the last
    // field cut anywhere); the sweeps above go through every length of a new document's read.
    const size_t step = ver == 700 ? 79 : 293;
    for (size_t n = 0; n <= bytes.size();
         n = n + 16 >= bytes.size() ? n + 1 : std::min(n + step, bytes.size() - 16)) {
      std::unique_ptr<char[]> exact(new char[n ? n : 1]);
      std::memcpy(exact.get(), bytes.data(), n);
      auto read = [&](jww::TJwwData& d) {
        jww::InStream s(exact.get(), n);
        const bool ok = d.DrawingIn(s, false, 0);
        return HeaderState(d, ok);
      };
      jww::ReleaseListMemory();  // no tables kept: the new document makes its own
      jww::TJwwData fresh;
      const std::string expected = read(fresh);

      jww::TJwwData used;
      readOther(used);
      ASSERT_EQ(FirstDifference(read(used), expected), std::string::npos) << "length " << n;

      const void* left = nullptr;
      {
        jww::TJwwData gone;
        readOther(gone);
        left = gone.EntLay.data();
      }
      jww::TJwwData taking;
      ASSERT_EQ(FirstDifference(read(taking), expected), std::string::npos) << "length " << n;
      ASSERT_EQ(taking.EntLay.data(), left);

      // The field-by-field reading (no more than 64 bytes in view) of the whole header and of a
      // few cuts.
      if (n != bytes.size() && n % 5 != 0) continue;
      auto file = jww::InStream::OpenFile(Bytes().raw(exact.get(), n).WriteTo(dir.path("h.jww")), 64);
      jww::TJwwData throughFile;
      const bool fileOk = throughFile.DrawingIn(*file, false, 0);
      ASSERT_EQ(FirstDifference(HeaderState(throughFile, fileOk), expected), std::string::npos)
          << "length " << n;
    }
  }
}

TEST(FileHeaderIn, KeptTablesHoldNoLongName) {
  // The tables a freed document leaves for the next read keep no name's memory beyond a bound:
  // a drawing with long names cannot make the library hold on to them.
  jww::ReleaseListMemory();
  jww::TJwwData src;
  Bytes::SizeTables(src);
  src.EntLay[3].aStrLayName = std::u16string(5000, u'n');
  src.EntColS[200].astrUDColorName = std::u16string(300, u'c');
  src.EntLgrp[1].aStrGLayName = std::u16string(100, u'g');
  const std::string bytes = Bytes().Header(src, 700).data();
  const void* left = nullptr;
  {
    jww::TJwwData d;
    ASSERT_TRUE(ReadHeader(bytes, d));
    EXPECT_EQ(d.EntLay[3].aStrLayName.size(), 5000u);
    left = d.EntLay.data();
  }
  jww::TJwwData next;
  ASSERT_TRUE(ReadHeader(Bytes().Header(700).data(), next));
  ASSERT_EQ(next.EntLay.data(), left);
  EXPECT_LE(next.EntLay[3].aStrLayName.capacity(), 256u);
  EXPECT_LE(next.EntColS[200].astrUDColorName.capacity(), 256u);
  EXPECT_GE(next.EntLgrp[1].aStrGLayName.capacity(), 100u);  // short enough to keep its memory
  EXPECT_TRUE(next.EntLay[3].aStrLayName.empty());
  jww::ReleaseListMemory();
}

TEST(FileHeaderIn, KeptTablesGiveBackWhatACallerLengthened) {
  // A document whose read found every name short hands its tables on without looking at their
  // names again. A name its caller lengthened since (or a copy's name, whose memory is its own)
  // gives that memory back at the next header read into the tables, whether the read writes a
  // name there or an empty one; so does a long memo.
  jww::TJwwData src;
  Bytes::SizeTables(src);
  src.EntLay[7].aStrLayName = u"seven";
  src.EntColS[9].astrUDColorName = u"nine";
  src.Enthd.strMemo = std::u16string(1000, u'm');
  const std::string bytes = Bytes().Header(src, 700).data();
  src.Enthd.strMemo = u"m";
  const std::string shortMemo = Bytes().Header(src, 700).data();
  const std::u16string longName(5000, u'n');
  auto lengthen = [&](jww::TJwwData& d) {
    for (auto* name : {&d.EntLay[3].aStrLayName, &d.EntLay[7].aStrLayName, &d.EntColS[9].astrUDColorName,
                       &d.EntLtpS[32].astrUDLTypeName})
      *name = longName;
  };
  auto expectGivenBack = [&](const jww::TJwwData& d) {
    for (const auto* name : {&d.EntLay[3].aStrLayName, &d.EntLay[7].aStrLayName,
                             &d.EntColS[9].astrUDColorName, &d.EntLtpS[32].astrUDLTypeName})
      EXPECT_LE(name->capacity(), jww::header_tables::kMaxKeptName);
    EXPECT_EQ(d.EntLay[7].aStrLayName, u"seven");
    EXPECT_TRUE(d.EntLay[3].aStrLayName.empty());
  };
  for (const bool byCopy : {false, true}) {
    SCOPED_TRACE(byCopy);
    jww::ReleaseListMemory();
    const void* left = nullptr;
    {
      jww::TJwwData d;
      ASSERT_TRUE(ReadHeader(bytes, d));
      jww::TJwwData x;  // freed first: its tables are the ones kept
      ASSERT_TRUE(ReadHeader(bytes, x));
      lengthen(x);
      if (byCopy) x = d;  // x's names keep the memory of its longer ones, d's fitting in it
      left = x.EntLay.data();
    }
    jww::TJwwData next;
    ASSERT_TRUE(ReadHeader(bytes, next));
    ASSERT_EQ(next.EntLay.data(), left);
    expectGivenBack(next);
    EXPECT_EQ(next.Enthd.strMemo.size(), 1000u);
  }
  jww::TJwwData last;
  ASSERT_TRUE(ReadHeader(shortMemo, last));
  EXPECT_EQ(last.Enthd.strMemo, u"m");
  EXPECT_LE(last.Enthd.strMemo.capacity(), jww::header_tables::kMaxKeptName);
  jww::ReleaseListMemory();
}
