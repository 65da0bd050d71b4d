#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <tuple>

#include "jww/list_memory.h"
#include "jww/stream.h"
#include "tests/entity_bytes.h"
#include "tests/jww_bytes.h"

using namespace jww;
using jwwtest::Bytes;
using jwwtest::StreamBytes;

namespace {

bool ReadBytes(TJwwData& d, const std::string& bytes, bool bounded = false, Integer budget = 0,
               TJwwKindCounts* summary = nullptr) {
  // Exactly the input's size on the heap, so that ASan sees any read past the end.
  std::unique_ptr<uint8_t[]> buf(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::memcpy(buf.get(), bytes.data(), bytes.size());
  InStream s(buf.get(), bytes.size());
  return d.DrawingIn(s, bounded, budget, summary);
}

// A summary read of `bytes` tells what a whole read followed by GetFontNames tells: result,
// failure and its offset, counts, font names, insertions, definitions, block tree, images.
void ExpectSummaryAgrees(const std::string& bytes) {
  TJwwData whole, sum;
  whole.BindImageExr = sum.BindImageExr = true;
  TJwwKindCounts c;
  const bool ok = ReadBytes(whole, bytes);
  whole.GetFontNames();
  ASSERT_EQ(ReadBytes(sum, bytes, false, 0, &c), ok);
  EXPECT_EQ(sum.LastError().message, whole.LastError().message);
  EXPECT_EQ(sum.LastError().offset, whole.LastError().offset);
  if (!whole.EntLgrp.empty() || !whole.EntNo.empty()) {  // a header was read
    EXPECT_EQ(c.stored, whole.Enthd.n1);
  }
  const TJwwKindCounts expect{c.stored,          whole.EntLineN,  whole.EntEnkoN, whole.EntTenN,
                              whole.EntMojiN,    whole.EntSunpoN, whole.EntSolidN, whole.EntBlockN};
  EXPECT_EQ(std::tie(c.line, c.enko, c.ten, c.moji, c.sunpo, c.solid, c.block),
            std::tie(expect.line, expect.enko, expect.ten, expect.moji, expect.sunpo, expect.solid, expect.block));
  EXPECT_EQ(sum.FontNames, whole.FontNames);
  EXPECT_EQ(sum.FontNameN, whole.FontNameN);
  EXPECT_EQ(sum.EntLineN + sum.EntEnkoN + sum.EntTenN + sum.EntMojiN + sum.EntSunpoN + sum.EntSolidN, 0);
  ASSERT_EQ(sum.EntBlockN, whole.EntBlockN);
  for (Integer i = 0; i < sum.EntBlockN; ++i) EXPECT_EQ(sum.EntBlock[i].nNumber, whole.EntBlock[i].nNumber);
  EXPECT_EQ(sum.Enthd.n1, static_cast<Integer>(sum.EntNo.size()));
  ASSERT_EQ(sum.EntBlockDefN, whole.EntBlockDefN);
  for (Integer i = 0; i < sum.EntBlockDefN; ++i) {
    EXPECT_EQ(sum.EntBlockDef[i].strName, whole.EntBlockDef[i].strName);
    EXPECT_EQ(sum.EntBlockDef[i].N, whole.EntBlockDef[i].N);
    EXPECT_EQ(sum.EntBlockDef[i].ref_flag, whole.EntBlockDef[i].ref_flag);
  }
  ASSERT_EQ(sum.EntBlockTreeN, whole.EntBlockTreeN);
  for (Integer i = 0; i < sum.EntBlockTreeN; ++i) {
    EXPECT_EQ(sum.EntBlockTree[i].no, whole.EntBlockTree[i].no);
    EXPECT_EQ(sum.EntBlockTree[i].x, whole.EntBlockTree[i].x);
  }
  EXPECT_EQ(sum.BindImageN, whole.BindImageN);
}

TEntJwwAttr Attr(uint8_t style, uint16_t color, uint16_t width = 7) {
  TEntJwwAttr a;
  a.lGroup = 0x01020304;
  a.nPenStyle = style;
  a.nPenColor = color;
  a.nPenWidth = width;
  a.nLayer = 5;
  a.nGLayer = 3;
  a.sFlg = 0x10;
  return a;
}

// Gives every field of a record after its attribute part a value of its own (`first`, `first + 1`,
// ... in the order of its field list), so that a field taken from another's place shows.
struct FillIO {
  int next;
  template <class T>
  void Num(T& v) {
    v = static_cast<T>(next++);
  }
  template <class T, class F>
  void Num(T& v, F&&) {
    Num(v);
  }
  void Attr(TEntJwwAttr&, int) {}
  void BlockNumber(Cardinal& n) { Num(n); }
};
template <class T, class Fields>
void FillFields(T& e, int first, Fields fields) {
  FillIO io{first};
  fields(io, e);
}

TEntJwwLine Line(double x) {
  TEntJwwLine l;
  l.att = Attr(2, 3);
  l.start_x = x;
  l.start_y = 2;
  l.end_x = 3;
  l.end_y = 4;
  return l;
}

void ExpectAttr(const TEntJwwAttr& a, const TEntJwwAttr& b, int ver) {
  EXPECT_EQ(a.lGroup, b.lGroup);
  EXPECT_EQ(a.nPenStyle, b.nPenStyle);
  EXPECT_EQ(a.nPenColor, b.nPenColor);
  EXPECT_EQ(a.nPenWidth, ver >= 351 ? b.nPenWidth : 0);
  EXPECT_EQ(a.nLayer, b.nLayer);
  EXPECT_EQ(a.nGLayer, b.nGLayer);
  EXPECT_EQ(a.sFlg, b.sFlg);
}

// The line record as the format lays it out, by hand (not through the schema).
Bytes& LineBytes(Bytes& b, bool withWidth, double x) {
  b.u32(0x01020304).u8(2).u16(3);
  if (withWidth) b.u16(7);
  b.u16(5).u16(3).u16(0x10).f64(x).f64(2).f64(3).f64(4);
  return b;
}

}  // namespace

TEST(EntityIn, TagsClassIndicesAndRecordBytes) {
  // Count 5: a line introduces CDataSen (class 1, the line itself 2); a 0x0001 tag is skipped by
  // itself; 0x8001 refers to class 1 (object 3); the arc introduces CDataEnko (class 4, object 5);
  // 0x7FFF with bit 31 and index 4 refers to the arc class; 0x8004 again.
  Bytes b;
  b.Header(600).u16(5);
  b.u16(0xFFFF).u16(600).u16(8).raw("CDataSen");
  size_t before = b.size();
  LineBytes(b, true, 1);
  EXPECT_EQ(b.size() - before, 47u);
  b.u16(0x0001);
  b.u16(0x8001);
  LineBytes(b, true, 10);
  b.u16(0xFFFF).u16(600).u16(9).raw("CDataEnko").u32(0).u8(1).u16(2).u16(0).u16(0).u16(0).u16(0);
  for (double v : {100.0, 200.0, 5.0, 0.0, 6.28, 0.0, 1.0}) b.f64(v);
  b.u32(1);
  b.u16(0x7FFF).u32(0x80000004u);
  b.raw(std::string(75, '\0'));
  b.u16(0x8004).raw(std::string(75, '\0'));
  b.u16(0);  // no definitions

  TJwwData d;
  ASSERT_TRUE(ReadBytes(d, b.data()));
  ASSERT_EQ(d.Enthd.n1, 5);
  ASSERT_EQ(d.EntLineN, 2);
  ASSERT_EQ(d.EntEnkoN, 3);
  ExpectAttr(d.EntLine[0].att, Line(1).att, 600);
  EXPECT_EQ(d.EntLine[1].start_x, 10);
  EXPECT_EQ(d.EntEnko[0].dHankei, 5.0);
  EXPECT_EQ(d.EntEnko[0].bZenEnFlg, 1u);
  const std::vector<std::pair<int, int>> order = {{1, 0}, {1, 1}, {2, 0}, {2, 1}, {2, 2}};
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(d.EntNo[i].EntType, order[i].first) << i;
    EXPECT_EQ(d.EntNo[i].EntNo, order[i].second) << i;
  }
  EXPECT_TRUE(d.LastError().message.empty());
}

TEST(EntityIn, Version350RecordsLackPenWidth) {
  Bytes b;
  b.Header(350).u16(1).u16(0xFFFF).u16(350).u16(8).raw("CDataSen");
  size_t before = b.size();
  LineBytes(b, false, 1);
  EXPECT_EQ(b.size() - before, 45u);
  b.u16(0);
  TJwwData d;
  ASSERT_TRUE(ReadBytes(d, b.data()));
  ASSERT_EQ(d.EntLineN, 1);
  ExpectAttr(d.EntLine[0].att, Line(1).att, 350);
  EXPECT_EQ(d.EntLine[0].end_y, 4);
}

// Every kind of entity and a definition through every version threshold.
TEST(EntityIn, VersionMatrix) {
  for (int ver : {220, 223, 225, 230, 231, 300, 350, 351, 419, 420, 600, 700}) {
    SCOPED_TRACE(ver);
    TEntJwwEnko arc;
    arc.att = Attr(1, 101);
    arc.dHankei = 7;
    arc.dHenpeiRitsu = 0.5;
    arc.bZenEnFlg = 1;
    TEntJwwTen pt;
    pt.att = Attr(100, 2);
    pt.start_x = 9;
    pt.nCode = 4;
    pt.radKaitenKaku = 0.25;
    pt.dBairitsu = 2;
    TEntJwwMoji txt;
    txt.att = Attr(7, 4);
    txt.nMojiShu = 10003;
    txt.dSizeX = 2.5;
    txt.dSizeY = 3.5;
    txt.degKakudo = 90;
    txt.strFontName = u"ＭＳ ゴシック";
    txt.str = u"平面図 A";
    TEntJwwSunpo dim;
    dim.att = Attr(1, 5);
    dim.Sen = Line(42);
    dim.Moji = txt;
    dim.Moji.str = u"1,820";
    dim.bSxfMode = 1;
    dim.Ho1 = Line(43);
    dim.Ho2 = Line(44);
    dim.Te1.att = Attr(100, 1);
    dim.Te1.nCode = 8;
    dim.Te1.dBairitsu = 3;
    dim.Kt2.att = Attr(1, 1);
    dim.Kt2.start_y = 11;
    TEntJwwSolid sol;
    sol.att = Attr(1, 10);
    sol.DPoint3_y = 8;
    sol.Color = 0x123456;
    TEntJwwBlock ins;
    ins.att = Attr(0, 0);
    ins.dBairitsuX = ins.dBairitsuY = 1;
    ins.nNumber = 12;
    TEntJwwBlockDef def;
    def.att = Attr(0, 0);
    def.nNumber = 12;
    def.bRefferd = 1;
    def.dtime = 1234;
    def.strName = u"door";

    Bytes b;
    b.Header(ver);
    StreamBytes sb(b, ver);
    sb.Count(7).Entity(Line(1)).Entity(arc).Entity(pt).Entity(txt).Entity(dim).Entity(sol).Entity(ins);
    sb.Count(1).Def(def, 1, 2).Entity(Line(5)).Entity(txt);
    if (ver >= 700) b.i32(0);

    TJwwData d;
    d.BindImageExr = true;
    ASSERT_TRUE(ReadBytes(d, b.data())) << d.LastError().message << " at " << d.LastError().offset;
    ASSERT_EQ(d.Enthd.n1, 7);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(d.EntNo[k].EntType, k + 1);
    ExpectAttr(d.EntLine[0].att, Line(1).att, ver);
    ExpectAttr(d.EntEnko[0].att, arc.att, ver);
    EXPECT_EQ(d.EntEnko[0].dHenpeiRitsu, 0.5);
    EXPECT_EQ(d.EntTen[0].nCode, 4u);
    EXPECT_EQ(d.EntTen[0].dBairitsu, 2);
    EXPECT_EQ(d.EntMoji[0].nMojiShu, 10003u);
    EXPECT_EQ(d.EntMoji[0].degKakudo, 90);
    EXPECT_EQ(d.EntMoji[0].strFontName, txt.strFontName);
    EXPECT_EQ(d.EntMoji[0].str, txt.str);
    const TEntJwwSunpo& s = d.EntSunpo[0];
    EXPECT_EQ(s.Sen.start_x, 42);
    EXPECT_EQ(s.Moji.str, u"1,820");
    if (ver >= 420) {
      EXPECT_EQ(s.bSxfMode, 1);
      EXPECT_EQ(s.Ho2.start_x, 44);
      EXPECT_EQ(s.Te1.nCode, 8u);
      EXPECT_EQ(s.Te1.dBairitsu, 3);
      EXPECT_EQ(s.Kt2.start_y, 11);
      EXPECT_EQ(s.Kt2.dBairitsu, 0.0);  // no tail: scale 0 inside a dimension
    } else {
      EXPECT_EQ(s.bSxfMode, 0);
      ExpectAttr(s.Ho1.att, s.att, 351);
      EXPECT_EQ(s.Ho1.start_x, 0);
      EXPECT_EQ(s.Kt1.att.nPenStyle, 0);
      EXPECT_EQ(s.Kt1.att.nPenColor, s.att.nPenColor);
    }
    EXPECT_EQ(d.EntSolid[0].Color, 0x123456u);
    EXPECT_EQ(d.EntSolid[0].DPoint3_y, 8);
    EXPECT_EQ(d.EntBlock[0].nNumber, 12u);
    ASSERT_EQ(d.EntBlockDefN, 1);
    EXPECT_EQ(d.Enthd.n2, 1);
    const TEntJwwBlockDef& dd = d.EntBlockDef[0];
    EXPECT_EQ(dd.strName, u"door");
    EXPECT_EQ(dd.dtime, 1234u);
    EXPECT_EQ(dd.N, 2);
    EXPECT_EQ(dd.mLineN, 1);
    EXPECT_EQ(dd.mMoji[0].str, txt.str);
    EXPECT_EQ(dd.mNo[1].EntType, kEntMoji);
    EXPECT_EQ(d.EntBlockTreeN, 1);
    EXPECT_TRUE(dd.ref_flag);
  }
}

TEST(EntityIn, OptionalTailsAndValueCorrections) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  TEntJwwTen plain;
  plain.att = Attr(1, 1);
  TEntJwwMoji txt;
  txt.att = Attr(1, 1);
  txt.dSizeX = 2;
  txt.dSizeY = nan;
  txt.dKankaku = inf;
  txt.degKakudo = nan;
  TEntJwwSolid s9;
  s9.att = Attr(1, 9);
  s9.Color = 77;  // not written: colour 9 carries no own colour
  TEntJwwBlockDef def;
  def.strName = u"b";
  def.dtime = 0xFFFFFFFF;

  Bytes b;
  b.Header(600);
  StreamBytes sb(b, 600);
  size_t before = b.size();
  sb.Count(3).Entity(plain);
  EXPECT_EQ(b.size() - before, 2u + 6 + 8 + 35);  // count, new-class tag, "CDataTen", fixed part
  sb.Entity(txt).Entity(s9);
  // Definitions at positions 1..3; the third stores a long time field.
  TEntJwwBlockDef plainDef;
  plainDef.dtime = 5;
  sb.Count(3).Def(plainDef, 1, 0).Def(plainDef, 2, 0).Def(def, 3, 1).Entity(plain);

  TJwwData d;
  ASSERT_TRUE(ReadBytes(d, b.data()));
  EXPECT_EQ(d.EntTen[0].nCode, 0u);
  EXPECT_EQ(d.EntTen[0].dBairitsu, 1.0);  // drawing: scale 1
  EXPECT_EQ(d.EntMoji[0].dSizeX, 2.0);
  EXPECT_EQ(d.EntMoji[0].dSizeY, 3.0);
  EXPECT_EQ(d.EntMoji[0].dKankaku, 0.0);
  EXPECT_TRUE(std::isnan(d.EntMoji[0].degKakudo));
  EXPECT_EQ(d.EntSolid[0].Color, 0u);
  ASSERT_EQ(d.EntBlockDefN, 3);
  EXPECT_EQ(d.EntBlockDef[0].dtime, 5u);
  EXPECT_EQ(d.EntBlockDef[2].dtime, 3u);
  EXPECT_EQ(d.EntBlockDef[2].strName, u"b");
  EXPECT_EQ(d.EntBlockDef[2].mTen[0].dBairitsu, 0.0);  // definition: scale 0
}

TEST(EntityIn, LargeCountsUseTheEscape) {
  for (uint32_t n : {65534u, 70000u}) {
    Bytes b;
    b.Header(600);
    StreamBytes sb(b, 600);
    sb.Count(n);
    EXPECT_EQ(b.size() - Bytes().Header(600).size(), n < 0xFFFF ? 2u : 6u);
    for (uint32_t i = 0; i < n; ++i) sb.Entity(Line(i));
    sb.Count(0);
    TJwwData d;
    ASSERT_TRUE(ReadBytes(d, b.data()));
    EXPECT_EQ(d.EntLineN, static_cast<Integer>(n));
    EXPECT_EQ(d.EntLine.back().start_x, n - 1.0);
  }
}

TEST(EntityIn, UnknownClassFailsAndKeepsWhatWasRead) {
  for (const char* name : {"CDataList", "CDataFoo", "CDataSen2"}) {
    SCOPED_TRACE(name);
    TEntJwwBlock ins;
    ins.nNumber = 1;
    Bytes b;
    b.Header(600);
    StreamBytes(b, 600).Count(3).Entity(ins);
    b.u16(0xFFFF).u16(600).u16(static_cast<uint16_t>(strlen(name))).raw(name);
    b.fill(200);
    TJwwData d;
    EXPECT_FALSE(ReadBytes(d, b.data()));
    EXPECT_EQ(d.LastError().message, "File I/O Error");
    EXPECT_EQ(d.EntBlockN, 1);
    EXPECT_EQ(d.EntBlockTreeN, 1);  // the tree still reflects what was read
    EXPECT_EQ(d.Enthd.n1, 3);
    EXPECT_EQ(d.EntNo[1].EntType, 0);
  }
}

// Counts from a hostile file never size anything the rest of the file could not describe, and a
// file that ends early never reads as complete.
TEST(EntityIn, HostileCountsAndEndsOfFile) {
  TEntJwwBlockDef def;
  struct Case {
    const char* what;
    std::function<void(Bytes&)> tail;
  };
  const Case cases[] = {
      {"entity count", [](Bytes& b) { b.u16(0xFFFF).u32(0xFFFFFFF0u).fill(64); }},
      {"definition count",
       [](Bytes& b) { b.u16(0).u16(0xFFFF).u32(0x7FFFFFFFu).fill(64); }},
      {"definition's entity count",
       [&](Bytes& b) {
         StreamBytes sb(b, 700);
         sb.Count(0).Count(1).Tag(kEntBlockDef);
         jwwtest::RecordBytesIO io(b, 700);
         BlockDefHead(io, def, 1);
         b.u16(0xFFFF).u32(0x80000000u).fill(64);
       }},
      {"image count", [](Bytes& b) { b.u16(0).u16(0).i32(0x7FFFFFFF).fill(64); }},
      {"image size", [](Bytes& b) { b.u16(0).u16(0).i32(1).str("a.gz").i32(0x7FFFFFFF).fill(64); }},
      {"no definition count", [](Bytes& b) { b.u16(0); }},
      {"missing objects", [](Bytes& b) { b.u16(2).u16(0xFFFF).u16(600).u16(8).raw("CDataSen").fill(47); }},
      {"text string cut", [](Bytes& b) {
         TEntJwwMoji m;
         m.str = u"abcdef";
         StreamBytes(b, 700).Count(1).Entity(m);
         std::string s = b.data();
         s.resize(s.size() - 3);
         b = Bytes();
         b.raw(s);
       }},
      {"tag cut", [](Bytes& b) { b.u16(1).u8(0xFF); }},
      {"unrecognised tags to the end", [](Bytes& b) { b.u16(1).fill(4000, 0x01); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b;
    b.Header(700);
    c.tail(b);
    TJwwData d;
    d.BindImageExr = true;
    EXPECT_FALSE(ReadBytes(d, b.data()));
    EXPECT_EQ(d.LastError().message, "File I/O Error");
    EXPECT_LE(d.EntNo.size(), b.size());
    EXPECT_LE(d.EntBlockDef.size(), b.size());
    EXPECT_LE(d.BindImage.size(), b.size());
  }
}

// Each kind's list is sized once, for what the stream holds of that kind: no room for kinds the
// drawing lacks, and no growth (which would leave capacity beyond the count). Every record form
// whose size varies is there: point and solid tails, the three string forms, dimensions with and
// without their version 420 part, an unrecognised tag, a definition's own list.
TEST(EntityIn, ListsSizedByWhatTheStreamHolds) {
  for (int32_t ver : {350, 400, 600}) {
    SCOPED_TRACE(ver);
    TEntJwwTen tail, plain;
    tail.att = Attr(100, 1);
    plain.att = Attr(1, 1);
    TEntJwwSolid own, penColor;
    own.att = Attr(1, 10);
    penColor.att = Attr(1, 2);
    TEntJwwMoji shortText, longText;
    shortText.strFontName = u"Font";
    shortText.str = u"abc";
    longText.strFontName = std::u16string(300, u'f');
    longText.str = std::u16string(400, u't');
    TEntJwwSunpo dim;
    dim.Moji.str = u"1000";
    dim.Te1.att = Attr(100, 1);  // its own tail inside the version 420 part
    TEntJwwEnko arc;

    Bytes b;
    b.Header(ver);
    StreamBytes sb(b, ver);
    sb.Count(41);
    for (int i = 0; i < 12; ++i) sb.Entity(Line(i));
    sb.Entity(tail).Entity(plain).Entity(tail).Entity(own).Entity(penColor).Entity(own);
    sb.Entity(shortText).Entity(longText).Entity(dim).Entity(arc).Entity(dim).Entity(arc);
    b.u16(0x0001);  // unrecognised: neither an object nor a count step
    // A text whose strings are in the Unicode form, written by hand.
    sb.Tag(kEntMoji);
    jwwtest::RecordBytesIO io(b, ver);
    jww::MojiFields(io, shortText);
    b.ustr(u"Font").ustr(u"\u6587\u5B57");
    sb.archive().ObjectDone();
    for (int i = 0; i < 16; ++i) sb.Entity(Line(100 + i));
    sb.Count(1).Def(TEntJwwBlockDef{}, 1, 20);
    for (int i = 0; i < 18; ++i) sb.Entity(Line(i));
    sb.Entity(arc).Entity(arc);
    b.u16(0);

    ReleaseListMemory();  // no kept block larger than a list needs
    TJwwData d;
    ASSERT_TRUE(ReadBytes(d, b.data()));
    EXPECT_EQ(d.EntLine.capacity(), 28u);
    EXPECT_EQ(d.EntTen.capacity(), 3u);
    EXPECT_EQ(d.EntSolid.capacity(), 3u);
    EXPECT_EQ(d.EntMoji.capacity(), 3u);
    EXPECT_EQ(d.EntSunpo.capacity(), 2u);
    EXPECT_EQ(d.EntEnko.capacity(), 2u);
    EXPECT_EQ(d.EntBlock.capacity(), 0u);
    EXPECT_EQ(d.EntMoji[2].str, u"\u6587\u5B57");
    ASSERT_EQ(d.EntBlockDefN, 1);
    EXPECT_EQ(d.EntBlockDef[0].mLine.capacity(), 18u);
    EXPECT_EQ(d.EntBlockDef[0].mEnko.capacity(), 2u);
    EXPECT_EQ(d.EntBlockDef[0].mMoji.capacity(), 0u);
  }
}

namespace {

// Every list of a read document, every field of every record (through the record schemas, the
// fields a tail or colour would hold included), the counts and both drawing orders, as bytes.
std::string ListsBytes(const TJwwData& d) {
  Bytes b;
  jwwtest::RecordBytesIO io(b, 600);
  auto lists = [&](const auto& no, Integer n, const auto& line, const auto& enko, const auto& ten,
                   const auto& moji, const auto& sunpo, const auto& solid, const auto& block) {
    b.u32(static_cast<uint32_t>(n)).u32(static_cast<uint32_t>(no.size()));
    for (const TEntJwwNo& e : no) b.u32(static_cast<uint32_t>(e.EntType)).u32(static_cast<uint32_t>(e.EntNo));
    b.u32(static_cast<uint32_t>(line.size()));
    for (const auto& e : line) LineRecord(io, e);
    b.u32(static_cast<uint32_t>(enko.size()));
    for (const auto& e : enko) EnkoRecord(io, e);
    b.u32(static_cast<uint32_t>(ten.size()));
    for (const auto& e : ten) {
      TenFields(io, e);
      TenTail(io, e);
    }
    b.u32(static_cast<uint32_t>(moji.size()));
    for (const auto& e : moji) MojiRecord(io, e);
    b.u32(static_cast<uint32_t>(sunpo.size()));
    for (const auto& e : sunpo) SunpoRecord(io, e);
    b.u32(static_cast<uint32_t>(solid.size()));
    for (const auto& e : solid) {
      SolidFields(io, e);
      b.u32(e.Color);
    }
    b.u32(static_cast<uint32_t>(block.size()));
    for (const auto& e : block) BlockRecord(io, e);
  };
  lists(d.EntNo, d.Enthd.n1, d.EntLine, d.EntEnko, d.EntTen, d.EntMoji, d.EntSunpo, d.EntSolid, d.EntBlock);
  b.u32(static_cast<uint32_t>(d.EntLineN + 10 * d.EntEnkoN + 100 * d.EntTenN + 1000 * d.EntMojiN +
                              10000 * d.EntSunpoN + 100000 * d.EntSolidN + 1000000 * d.EntBlockN));
  for (const TEntJwwBlockDef& def : d.EntBlockDef) {
    BlockDefFields(io, def);
    b.str(def.strName);
    lists(def.mNo, def.N, def.mLine, def.mEnko, def.mTen, def.mMoji, def.mSunpo, def.mSolid, def.mBlock);
    b.u32(static_cast<uint32_t>(def.mLineN + 10 * def.mEnkoN + 100 * def.mTenN + 1000 * def.mMojiN +
                                10000 * def.mSunpoN + 100000 * def.mSolidN + 1000000 * def.mBlockN));
  }
  return b.data();
}

}  // namespace

// A drawing whose bytes are all in view (a memory stream, a file read whole) has its records
// decoded straight from the buffer; one read through a small buffer takes the general path. Both
// make the same document, fail the same way at the same offset, at every length of a stream with
// every tag form and every record form: new classes in the middle (a text's, a solid's), a class
// introduced again (its old index then names nothing), long references, unrecognised tags,
// texts in all string forms with repeated font names, tails, own colours, dimensions, and a
// definition's list with points (whose scale without tail differs there).
TEST(EntityIn, ReadFromTheBufferAsThroughTheStream) {
  for (int32_t ver : {350, 600}) {
    SCOPED_TRACE(ver);
    // Every field of the fixed parts its own value.
    TEntJwwTen tail, plain;
    FillFields(tail, 10, [](auto& io, auto& e) {
      TenFields(io, e);
      TenTail(io, e);
    });
    FillFields(plain, 20, [](auto& io, auto& e) { TenFields(io, e); });
    tail.att = Attr(100, 1);
    plain.att = Attr(1, 1);
    TEntJwwSolid own, penColor;
    FillFields(own, 30, [](auto& io, auto& e) { SolidFields(io, e); });
    FillFields(penColor, 40, [](auto& io, auto& e) { SolidFields(io, e); });
    own.att = Attr(1, 10);
    own.Color = 0x123456;
    penColor.att = Attr(1, 2);
    TEntJwwMoji text, japanese, ctrl, longText;
    FillFields(text, 50, [](auto& io, auto& e) { MojiFields(io, e); });
    text.strFontName = u"Font";
    text.str = u"abc";
    text.dSizeX = std::numeric_limits<double>::infinity();  // read as 3
    japanese.strFontName = u"\uFF2D\uFF33 \u660E\u671D";
    japanese.str = u"\u5E73\u9762\u56F3";
    ctrl.strFontName = u"Font";
    ctrl.str = std::u16string(u"a\tb\r\n\0zz", 8);  // ends at its NUL, without the controls
    longText.strFontName = std::u16string(300, u'f');
    longText.str = std::u16string(400, u't');
    TEntJwwSunpo dim;
    dim.Moji.str = u"1000";
    TEntJwwBlock insert;
    FillFields(insert, 60, [](auto& io, auto& e) { BlockFields(io, e); });
    insert.att = Attr(1, 2);
    insert.nNumber = 1;
    TEntJwwEnko arc;
    FillFields(arc, 70, [](auto& io, auto& e) { EnkoFields(io, e); });

    Bytes b;
    b.Header(ver);
    const size_t head = b.data().size();
    StreamBytes sb(b, ver);
    sb.Count(38);
    for (int i = 0; i < 6; ++i) sb.Entity(Line(i));
    sb.Entity(text).Entity(Line(6)).Entity(japanese).Entity(text).Entity(ctrl).Entity(longText);
    sb.Entity(tail).Entity(plain).Entity(own).Entity(penColor).Entity(arc).Entity(insert);
    sb.Entity(dim).Entity(Line(7));
    b.u16(0x0001);  // unrecognised
    b.u16(0x8FFF);  // a reference to no class
    // A long reference to the line class (introduced first, under index 1).
    b.u16(0x7FFF).u32(0x80000001u);
    LineBytes(b, ver >= 351, 8);
    sb.archive().ObjectDone();
    // The line class introduced again: index 1 then names nothing.
    b.u16(0xFFFF).u16(static_cast<uint16_t>(ver)).u16(8).raw("CDataSen");
    const Cardinal moved = sb.archive().Register(kEntLine);
    LineBytes(b, ver >= 351, 9);
    sb.archive().ObjectDone();
    b.u16(0x8001);  // no class any more: skipped
    b.u16(static_cast<uint16_t>(0x8000 + moved));
    LineBytes(b, ver >= 351, 10);
    sb.archive().ObjectDone();
    b.u16(0x8001).u16(0x8001);
    // A text in the Unicode form, by hand.
    sb.Tag(kEntMoji);
    jwwtest::RecordBytesIO io(b, ver);
    jww::MojiFields(io, text);
    b.ustr(u"Font").ustr(u"\u6587\u5B57");
    sb.archive().ObjectDone();
    for (int i = 0; i < 14; ++i) sb.Entity(i % 3 ? Line(20 + i) : Line(40 + i));
    sb.Count(1).Def(TEntJwwBlockDef{}, 1, 20);
    for (int i = 0; i < 16; ++i) sb.Entity(Line(i));
    sb.Entity(plain).Entity(tail).Entity(japanese).Entity(own);
    b.u16(0);
    const std::string bytes = b.data();

    jwwtest::TempDir dir;
    const std::string path = dir.path("d.jww");
    std::ofstream(path, std::ios::binary) << bytes;
    for (size_t n = bytes.size(); n >= head; --n) {  // the file cut shorter each time
      TJwwData whole;
      const bool ok = ReadBytes(whole, bytes.substr(0, n));
      std::filesystem::resize_file(path, n);
      auto s = InStream::OpenFile(Utf8ToStr(path), 16);
      ASSERT_TRUE(s);
      ASSERT_EQ(s->RestInView(), nullptr);
      TJwwData streamed;
      ASSERT_EQ(streamed.DrawingIn(*s, false, 0), ok) << n;
      EXPECT_EQ(whole.LastError().message, streamed.LastError().message) << n;
      EXPECT_EQ(whole.LastError().offset, streamed.LastError().offset) << n;
      ASSERT_EQ(ListsBytes(whole), ListsBytes(streamed)) << n;
      if (n == bytes.size()) {
        ASSERT_TRUE(ok);
        EXPECT_EQ(whole.Enthd.n1, 38);
        EXPECT_EQ(whole.EntLineN, 25);
        EXPECT_EQ(whole.EntMojiN, 6);
        EXPECT_EQ(whole.EntMoji[0].dSizeX, 3.0);
        EXPECT_EQ(whole.EntMoji[3].str, u"ab");
        EXPECT_EQ(whole.EntMoji[5].str, u"\u6587\u5B57");
        EXPECT_EQ(whole.EntTen[1].dBairitsu, 1.0);
        EXPECT_EQ(whole.EntBlockDef[0].mTen[0].dBairitsu, 0.0);
        EXPECT_EQ(whole.EntSolid[0].Color, 0x123456u);
      }
    }
  }
}

// Texts remember the last two font names they decoded and take a name whose bytes match one of
// them from there. Names of one length that differ in a single byte - at every position, across
// the word boundaries of lengths 1 to 25 - or only in their length, alternating so that both
// remembered names are met, each keep their own, in place and through a small buffer.
TEST(EntityIn, FontNamesDifferingInOneByteStayApart) {
  std::vector<std::u16string> fonts;
  for (size_t len : {1, 2, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 24, 25}) {
    for (size_t pos = 0; pos < len; ++pos) {
      std::u16string a(len, u'f'), b = a;
      b[pos] = u'g';
      for (const auto& f : {a, b, a, b, b + u'x', b}) fonts.push_back(f);
    }
  }
  Bytes b;
  b.Header(600);
  StreamBytes sb(b, 600);
  sb.Count(static_cast<uint32_t>(fonts.size()));
  TEntJwwMoji text;
  text.str = u"t";
  for (const auto& f : fonts) {
    text.strFontName = f;
    sb.Entity(text);
  }
  sb.Count(0);
  const std::string bytes = b.data();
  jwwtest::TempDir dir;
  const std::string path = dir.path("d.jww");
  std::ofstream(path, std::ios::binary) << bytes;
  auto s = InStream::OpenFile(Utf8ToStr(path), 16);
  ASSERT_TRUE(s);
  TJwwData whole, streamed;
  ASSERT_TRUE(ReadBytes(whole, bytes));
  ASSERT_TRUE(streamed.DrawingIn(*s, false, 0));
  for (const TJwwData* d : {&whole, &streamed}) {
    ASSERT_EQ(d->EntMoji.size(), fonts.size());
    for (size_t i = 0; i < fonts.size(); ++i) ASSERT_EQ(d->EntMoji[i].strFontName, fonts[i]) << i;
  }
}

namespace {

// A drawing of `scale` rounds of every kind, 22 objects a round: from 190 rounds on, each kind's
// list large enough for the library's store to keep it among its large blocks; below that, among
// its small ones. `lead` lines and arcs (one in five) come before the rounds.
std::string RoundsDrawing(int scale, int lead = 0) {
  TEntJwwTen tail, plain;
  tail.att = Attr(100, 1);
  tail.nCode = 3;
  plain.att = Attr(1, 1);
  TEntJwwSolid own, penColor;
  own.att = Attr(1, 10);
  own.Color = 0xABCDEF;
  penColor.att = Attr(1, 2);
  TEntJwwMoji text, japanese;
  text.strFontName = u"Font";
  japanese.strFontName = u"\uFF2D\uFF33 \u660E\u671D";
  japanese.str = u"\u5E73\u9762\u56F3";
  TEntJwwSunpo dim;
  dim.Moji.str = u"1000";
  TEntJwwBlock insert;
  insert.nNumber = 1;
  TEntJwwEnko arc;
  Bytes b;
  b.Header(600);
  StreamBytes sb(b, 600);
  sb.Count(static_cast<uint32_t>(scale * 22 + lead));
  for (int i = 0; i < lead; ++i) {
    arc.dHankei = i;
    if (i % 5 == 4) sb.Entity(arc);
    else sb.Entity(Line(i));
  }
  for (int i = 0; i < scale; ++i) {
    for (int k = 0; k < 8; ++k) sb.Entity(Line(i * 8 + k));
    arc.dHankei = i;
    text.str = std::u16string(static_cast<size_t>(i % 40), u'a');
    sb.Entity(arc).Entity(arc).Entity(i % 2 ? tail : plain).Entity(plain).Entity(tail).Entity(text);
    sb.Entity(japanese).Entity(i % 3 ? own : penColor).Entity(penColor).Entity(insert).Entity(insert).Entity(insert);
    if (i % 3 == 2) sb.Entity(dim);
    else sb.Entity(Line(-i));
    sb.Entity(Line(i));
  }
  sb.Count(1).Def(TEntJwwBlockDef{}, 1, 20);
  for (int i = 0; i < 20; ++i) sb.Entity(Line(i));
  b.u16(0);
  return b.data();
}

}  // namespace

// The drawing's lists start from the memory the last document's lists had, and are counted only
// when a kind's runs out. However that memory fits - none, too little (the rest then counted in
// the middle of the list), more than enough, the same drawing again, small lists after large ones
// - and wherever the file ends, the read makes the document a read through the general path makes.
TEST(EntityIn, ListsFromKeptMemoryReadAsFresh) {
  jwwtest::TempDir dir;
  const std::string path = dir.path("d.jww");
  auto expectAsStreamed = [&](TJwwData& d, const std::string& bytes) {
    const bool ok = ReadBytes(d, bytes);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    auto s = InStream::OpenFile(Utf8ToStr(path), 16);
    ASSERT_TRUE(s);
    TJwwData streamed;
    ASSERT_EQ(streamed.DrawingIn(*s, false, 0), ok);
    EXPECT_EQ(d.LastError().message, streamed.LastError().message);
    EXPECT_EQ(d.LastError().offset, streamed.LastError().offset);
    ASSERT_EQ(ListsBytes(d), ListsBytes(streamed));
  };
  ReleaseListMemory();
  TJwwData d;
  // Small blocks first (44 and 110 objects), then large ones, then small again among them.
  for (auto [a, b] : {std::pair{2, 5}, std::pair{190, 260}, std::pair{3, 4}}) {
    SCOPED_TRACE(a);
    const std::string small = RoundsDrawing(a), large = RoundsDrawing(b);
    expectAsStreamed(d, small);
    ASSERT_EQ(d.EntLineN, a * 9 + (a - a / 3));
    expectAsStreamed(d, large);  // the small drawing's memory runs out
    ASSERT_EQ(d.EntSunpoN, b / 3);
    expectAsStreamed(d, large);  // fits: nothing counted
    expectAsStreamed(d, small);  // more than enough
    EXPECT_EQ(d.EntLine.size(), static_cast<size_t>(d.EntLineN));
    for (size_t n = large.size(); n > small.size() / 2; n -= large.size() / 29) {
      SCOPED_TRACE(n);
      expectAsStreamed(d, small);
      expectAsStreamed(d, large.substr(0, n));
      expectAsStreamed(d, large);
      expectAsStreamed(d, large.substr(0, n));
    }
  }
}

// A file larger than FileIn's window (256 KiB) is walked in place a window at a time, its lists
// sized from what the windows hold. Wherever a window or the file ends - inside a tag, a record,
// a text's strings - and whether the list memory was released or kept from a larger drawing, the
// read makes the document, the failure and its offset that a read from memory makes.
TEST(EntityIn, FileReadThroughWindowsAsFromMemory) {
  constexpr size_t kWindow = size_t{256} << 10;
  // Long runs of lines and arcs across the first windows' ends, then rounds of every kind.
  const std::string bytes = RoundsDrawing(260, 16000);
  ASSERT_GT(bytes.size(), 3 * kWindow);
  std::vector<size_t> cuts{bytes.size(), bytes.size() - 1, bytes.size() / 2 + 5};
  for (size_t k = 1; k <= 3; ++k)
    for (size_t d : {0, 1, 2, 3, 5, 8, 13, 21, 37, 61})
      for (size_t at : {k * kWindow - d, k * kWindow + d}) cuts.push_back(at);
  jwwtest::TempDir dir;
  const std::string path = dir.path("d.jww");
  for (bool kept : {false, true}) {
    for (size_t n : cuts) {
      SCOPED_TRACE(testing::Message() << "kept " << kept << ", " << n << " bytes");
      ReleaseListMemory();
      if (kept) {
        TJwwData larger;
        ASSERT_TRUE(ReadBytes(larger, RoundsDrawing(900)));
      }
      TJwwData fromMemory;
      const bool ok = ReadBytes(fromMemory, bytes.substr(0, n));
      std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes.substr(0, n);
      TJwwData d;
      ASSERT_EQ(d.FileIn(Utf8ToStr(path)), ok);
      EXPECT_EQ(d.LastError().message, fromMemory.LastError().message);
      EXPECT_EQ(d.LastError().offset, fromMemory.LastError().offset);
      ASSERT_EQ(ListsBytes(d), ListsBytes(fromMemory));
    }
  }
}

// A file too large to be read whole is read a window at a time, and its lists cannot be counted
// ahead: each kind's list is sized once, from what the first window holds, for no more objects
// than the list still holds - and a kind the list does not hold gets no room.
TEST(EntityIn, LargeFileListsSizedOnceWithinTheBytes) {
  constexpr uint32_t kLines = 100000;  // about 4.9 MB
  Bytes b;
  b.Header(600);
  const size_t head = b.size();
  StreamBytes sb(b, 600);
  sb.Count(kLines);
  for (uint32_t i = 0; i < kLines; ++i) sb.Entity(Line(static_cast<int>(i)));
  b.u16(0);
  ASSERT_GT(b.size(), size_t{4} << 20);
  jwwtest::TempDir dir;
  ReleaseListMemory();
  TJwwData d;
  ASSERT_TRUE(d.FileIn(b.WriteTo(dir.path("large.jww"))));
  EXPECT_EQ(d.EntLineN, static_cast<Integer>(kLines));
  EXPECT_EQ(d.EntLine.capacity(), kLines);  // grown geometrically it would be 131072
  const size_t body = b.size() - head;
  EXPECT_LE(d.EntMoji.capacity() * (2 + FixedSize(Part::kMoji, 600)), body);
  EXPECT_LE(d.EntBlock.capacity() * (2 + FixedSize(Part::kBlock, 600)), body);
  EXPECT_LE(d.EntSolid.capacity() * (2 + FixedSize(Part::kSolid, 600)), body);
  EXPECT_LE(d.EntSunpo.capacity() * (2 + FixedSize(Part::kLine, 600) + FixedSize(Part::kMoji, 600)), body);
}

// A freed document's large lists keep their memory for the next read in the process, so a
// steady state of reads takes no fresh pages from the system; the store is bounded and is
// emptied on demand.
TEST(EntityIn, ListMemoryKeptForTheNextDocument) {
  constexpr int kLines = 5000;
  Bytes b;
  b.Header(600);
  StreamBytes sb(b, 600);
  sb.Count(kLines);
  for (int i = 0; i < kLines; ++i) sb.Entity(Line(i));
  b.u16(0);
  ReleaseListMemory();
  const TEntJwwLine* first = nullptr;
  {
    TJwwData d;
    ASSERT_TRUE(ReadBytes(d, b.data()));
    first = d.EntLine.data();
  }
  TJwwData again;
  ASSERT_TRUE(ReadBytes(again, b.data()));
  EXPECT_EQ(again.EntLine.data(), first);
  EXPECT_EQ(again.EntLineN, kLines);
  EXPECT_EQ(again.EntLine[kLines - 1].start_x, kLines - 1.0);

  // Drawings of a few hundred objects: their small lists are kept too, and each drawing read again
  // takes its own, though another's larger blocks would hold it as well.
  const std::string small = RoundsDrawing(10), other = RoundsDrawing(12);
  const TEntJwwTen* smallTen = nullptr;
  {
    TJwwData a, b;
    ASSERT_TRUE(ReadBytes(a, small));
    ASSERT_TRUE(ReadBytes(b, other));
    smallTen = a.EntTen.data();
    ASSERT_LT(a.EntTen.capacity(), b.EntTen.capacity());
    ASSERT_LT(b.EntTen.capacity() * sizeof(TEntJwwTen), list_cache::kMinBlockBytes);
  }
  TJwwData smallAgain;
  ASSERT_TRUE(ReadBytes(smallAgain, small));
  EXPECT_EQ(smallAgain.EntTen.data(), smallTen);

  // Small blocks are kept apart, within their own bound: they push out neither each other beyond
  // it nor any large block.
  ReleaseListMemory();
  std::vector<double> big;
  big.reserve(list_cache::kMinBlockBytes);
  RecycleList(big);
  for (size_t i = 0; i < list_cache::kMaxSmallBlocks + 5; ++i) {
    std::vector<double> v;
    v.reserve(8 + i);
    RecycleList(v, list_cache::kSmallListsFrom);
  }
  size_t smallTaken = 0;
  while (auto b = list_cache::TakeLargest(list_cache::Key<double>(), list_cache::kMinBlockBytes - 1)) {
    EXPECT_GE(b->bytes, (8 + 5) * sizeof(double));  // the oldest went first
    ++smallTaken;
  }
  EXPECT_EQ(smallTaken, list_cache::kMaxSmallBlocks);
  EXPECT_TRUE(list_cache::TakeLargest(list_cache::Key<double>(), size_t{1} << 20));

  // Four blocks of 30 MiB (reserved, never touched) against a bound of 64 MiB: the two freed
  // last are kept, the others freed.
  ReleaseListMemory();
  constexpr size_t kEntries = (size_t{30} << 20) / sizeof(double);
  for (size_t i = 0; i < 4; ++i) {
    std::vector<double> v;
    v.reserve(kEntries + i);
    RecycleList(v);
    EXPECT_EQ(v.capacity(), 0u);
  }
  std::vector<std::vector<double>> taken(4);
  std::vector<size_t> reused;
  for (auto& v : taken) {
    ReserveList(v, kEntries);
    if (v.capacity() != kEntries) reused.push_back(v.capacity() - kEntries);
  }
  std::sort(reused.begin(), reused.end());
  EXPECT_EQ(reused, (std::vector<size_t>{2, 3}));
  for (auto& v : taken) RecycleList(v);
  ReleaseListMemory();
  std::vector<double> fresh;
  ReserveList(fresh, kEntries);
  EXPECT_EQ(fresh.capacity(), kEntries);
}

TEST(EntityIn, EmptyDrawingAndHeaderFailure) {
  TJwwData d;
  ASSERT_TRUE(ReadBytes(d, Bytes().Header(600).u16(0).u16(0).data()));
  EXPECT_TRUE(d.EntNo.empty());
  EXPECT_EQ(d.EntBlockTreeN, 0);
  EXPECT_EQ(d.EntLgrp.size(), 16u);

  EXPECT_FALSE(ReadBytes(d, Bytes().raw("JwwData.").i32(219).data()));
  EXPECT_EQ(d.LastError().message, "JWW-Version Error");

  EXPECT_FALSE(d.FileIn(u"/nonexistent/dir/a.jww"));
  EXPECT_FALSE(d.LastError().message.empty());
  EXPECT_TRUE(d.EntLgrp.empty());
}

// ---- bound images -----------------------------------------------------------------------------

namespace {

std::string ImageBytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 1);
  return s;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(EntityIn, BoundImagesByOption) {
  jwwtest::TempDir dir;
  const std::string img = ImageBytes(5000);
  Bytes b;
  b.Header(700).u16(0).u16(0).i32(4);
  b.str("a.jpg.gz").i32(5000).raw(img);
  b.str("").i32(10);  // no name: no data
  b.str("z.gz").i32(0);
  b.str("b.png.gz").i32(3).raw("xyz");
  b.raw("trailing bytes are never read");
  const std::string path = dir.path("d.jww");
  const string file = b.WriteTo(path);

  struct Case {
    bool exp, exr;
    int n;
    bool files;
  };
  for (const Case& c : {Case{false, false, 0, false}, Case{false, true, 4, false},
                        Case{true, false, 4, true}}) {
    SCOPED_TRACE(testing::Message() << c.exp << c.exr);
    std::filesystem::create_directories(dir.path("img"));
    TJwwData d;
    d.BindImageFolder = Utf8ToStr(dir.path("img/"));
    d.BindImageExp = c.exp;
    d.BindImageExr = c.exr;
    ASSERT_TRUE(d.FileIn(file));
    EXPECT_EQ(d.LastError().message, "");
    ASSERT_EQ(d.BindImageN, c.n);
    if (c.n) {
      EXPECT_EQ(d.BindImage[0].Fname, u"a.jpg.gz");
      EXPECT_EQ(d.BindImage[0].Fsize, 5000);
      EXPECT_EQ(d.BindImage[3].Fname, u"b.png.gz");
      EXPECT_FALSE(d.BindImage[3].exf);
    }
    EXPECT_EQ(std::filesystem::exists(dir.path("img/a.jpg.gz")), c.files);
    if (c.files) {
      EXPECT_EQ(ReadFile(dir.path("img/a.jpg.gz")), img);
      EXPECT_EQ(ReadFile(dir.path("img/b.png.gz")), "xyz");
    }
    std::filesystem::remove_all(dir.path("img"));
  }
  // Images that cannot be written into the folder are told (the read itself succeeds, whole);
  // the library keeps the system's words.
  TJwwData d;
  d.BindImageFolder = Utf8ToStr(dir.path("missing/"));
  d.BindImageExp = true;
  ASSERT_TRUE(d.FileIn(file));
  EXPECT_EQ(d.BindImageN, 4);
  EXPECT_EQ(d.LastError().message,
            "cannot write 2 bound images into the image folder (a.jpg.gz: No such file or directory, ...)");
  EXPECT_FALSE(std::filesystem::exists(dir.path("missing")));
  d.BindImageExp = false;  // the next read forgets it
  ASSERT_TRUE(d.FileIn(file));
  EXPECT_EQ(d.LastError().message, "");
}

// A stored name is a file name only when it is plain: nothing a drawing holds is written outside
// the image folder, and the entries that are not written keep their place in the list. Files in
// the folder are replaced, never written through: a hard link there to a file elsewhere leaves
// that file as it was.
TEST(EntityIn, BoundImageNamesNeverLeaveTheFolder) {
  jwwtest::TempDir dir;
  std::filesystem::create_directories(dir.path("img/sub"));
  const std::string outside = dir.path("outside");
  std::ofstream(outside) << "keep";
  std::filesystem::create_hard_link(outside, dir.path("img/ok.gz"));
  const char* names[] = {"../evil.gz", "sub/x.gz", "sub\\y.gz", "C:z.gz", "..", ".", "/tmp/abs.gz",
                         "ok.gz", "a..b.jpg.gz"};
  Bytes b;
  b.Header(700).u16(0).u16(0).i32(static_cast<int32_t>(std::size(names)));
  for (const char* n : names) b.str(n).i32(4).raw("DATA");
  TJwwData d;
  d.BindImageFolder = Utf8ToStr(dir.path("img/"));
  d.BindImageExp = true;
  ASSERT_TRUE(d.FileIn(b.WriteTo(dir.path("d.jww"))));
  EXPECT_EQ(d.LastError().message,
            "cannot write 7 bound images into the image folder (../evil.gz: not a plain file name, ...)");
  ASSERT_EQ(d.BindImageN, static_cast<Integer>(std::size(names)));
  EXPECT_EQ(d.BindImage[0].Fname, u"../evil.gz");
  EXPECT_FALSE(std::filesystem::exists(dir.path("evil.gz")));
  EXPECT_FALSE(std::filesystem::exists(dir.path("img/sub/x.gz")));
  EXPECT_FALSE(std::filesystem::exists("/tmp/abs.gz"));
  EXPECT_EQ(ReadFile(dir.path("img/ok.gz")), "DATA");
  EXPECT_EQ(ReadFile(dir.path("img/a..b.jpg.gz")), "DATA");
  EXPECT_EQ(ReadFile(outside), "keep");
  size_t files = 0;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir.dir()))
    files += e.is_regular_file();
  EXPECT_EQ(files, 4u);  // the drawing, outside, ok.gz and a..b.jpg.gz
}

// ---- bounded reading --------------------------------------------------------------------------

namespace {

// 10 lines, then 2 definitions of 3 lines each; `junk` puts an unrecognised tag first.
std::string PreviewDrawing(bool junk = false) {
  Bytes b;
  b.Header(700);
  StreamBytes sb(b, 700);
  sb.Count(10);
  if (junk) b.u16(0x0002);
  for (int i = 0; i < 10; ++i) sb.Entity(Line(i));
  TEntJwwBlockDef def;
  sb.Count(2);
  for (int p = 1; p <= 2; ++p) {
    def.nNumber = static_cast<Cardinal>(p);
    sb.Def(def, p, 3);
    for (int i = 0; i < 3; ++i) sb.Entity(Line(100 * p + i));
  }
  b.i32(1).str("a.gz").i32(2).raw("zz");
  return b.data();
}

}  // namespace

TEST(FilePrevIn, BudgetCountsTagsAcrossAllEntityLists) {
  // The drawing order and the definition list hold only what the preview reached, so that its
  // cost follows the budget; the counts agree with the lists.
  struct Case {
    Integer budget;
    bool junk;
    int lines, defs, def1, def2;
  };
  const Case cases[] = {
      {0, false, 0, 0, 0, 0},    {-5, false, 0, 0, 0, 0},  {10, false, 10, 0, 0, 0},
      {12, false, 10, 1, 2, 0},  {14, false, 10, 2, 3, 1}, {1000, false, 10, 2, 3, 3},
      {10, true, 9, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "budget " << c.budget << " junk " << c.junk);
    TJwwData d;
    d.BindImageExp = true;
    d.BindImageFolder = u"/nonexistent/";
    ASSERT_TRUE(ReadBytes(d, PreviewDrawing(c.junk), true, c.budget));
    EXPECT_EQ(d.Enthd.n1, c.lines);
    EXPECT_EQ(d.EntNo.size(), static_cast<size_t>(c.lines));
    EXPECT_EQ(d.EntLineN, c.lines);
    EXPECT_EQ(d.EntBlockDefN, c.defs);
    EXPECT_EQ(d.Enthd.n2, c.defs);
    ASSERT_EQ(d.EntBlockDef.size(), static_cast<size_t>(c.defs));
    if (c.defs) {
      EXPECT_EQ(d.EntBlockDef[0].mLineN, c.def1);
      EXPECT_EQ(d.EntBlockDef[0].N, c.def1);
      EXPECT_EQ(d.EntBlockDef[0].mNo.size(), static_cast<size_t>(c.def1));
    }
    if (c.defs > 1) {
      EXPECT_EQ(d.EntBlockDef[1].mLineN, c.def2);
      EXPECT_EQ(d.EntBlockDef[1].N, c.def2);
      EXPECT_EQ(d.EntBlockDef[1].nNumber, 2u);
    }
    EXPECT_EQ(d.BindImageN, 0);
  }
}

// The fault this guards against: a preview sized the drawing order by the stored count, so a
// budget of a few items on a large drawing still cost memory and time in the file's size.
TEST(FilePrevIn, CostFollowsTheBudgetNotTheStoredCounts) {
  constexpr int kLines = 50000;
  Bytes b;
  b.Header(600);
  StreamBytes sb(b, 600);
  sb.Count(kLines);
  for (int i = 0; i < kLines; ++i) sb.Entity(Line(i));
  sb.Count(1);
  TEntJwwBlockDef def;
  def.nNumber = 1;
  sb.Def(def, 1, kLines);
  for (int i = 0; i < kLines; ++i) sb.Entity(Line(i));
  const std::string bytes = b.data();
  for (Integer budget : {3, kLines + 4}) {
    SCOPED_TRACE(budget);
    TJwwData d;
    ASSERT_TRUE(ReadBytes(d, bytes, true, budget));
    const size_t top = static_cast<size_t>(std::min(budget, kLines));
    EXPECT_EQ(d.EntNo.size(), top);
    EXPECT_LE(d.EntNo.capacity(), top);
    EXPECT_EQ(d.Enthd.n1, static_cast<Integer>(top));
    EXPECT_LE(d.EntLine.capacity(), 2 * top);
    if (budget > kLines) {
      ASSERT_EQ(d.EntBlockDefN, 1);
      EXPECT_EQ(d.EntBlockDef[0].mNo.size(), 4u);
      EXPECT_LE(d.EntBlockDef[0].mNo.capacity(), 4u);
    } else {
      EXPECT_EQ(d.EntBlockDefN, 0);
    }
  }
}

// ---- summary read -----------------------------------------------------------------------------

// Fonts met first in dimensions, names with "@", fonts only inside definitions, texts repeated
// and texts in every string form: the summary keeps none of the drawing's own geometry but gives
// the same counts, font names and block tree as a whole read, for every prefix of the file too.
TEST(FileSummaryIn, AgreesWithAWholeRead) {
  auto moji = [](std::u16string font, std::u16string text) {
    TEntJwwMoji m;
    m.att = Attr(1, 2);
    m.strFontName = std::move(font);
    m.str = std::move(text);
    m.dSizeX = m.dSizeY = 2.5;
    return m;
  };
  TEntJwwSunpo dim;
  dim.att = Attr(1, 2);
  dim.Moji = moji(u"寸法体", u"1,000");
  TEntJwwBlock ins;
  ins.att = Attr(1, 2);
  ins.nNumber = 7;
  TEntJwwBlockDef def;
  def.nNumber = 7;
  def.strName = u"部品";
  for (int ver : {300, 600, 700}) {
    SCOPED_TRACE(ver);
    Bytes b;
    b.Header(ver);
    StreamBytes sb(b, ver);
    sb.Count(12);
    sb.Entity(Line(1)).Entity(dim).Entity(moji(u"@ＭＳ 明朝", u"一"));
    sb.Entity(moji(u"@ＭＳ 明朝", std::u16string(300, u'長'))).Entity(moji(u"ＭＳ 明朝", u"abc"));
    sb.Entity(moji(u"寸法体", u"")).Entity(ins).Entity(dim).Entity(ins);
    TEntJwwTen ten;
    ten.att = Attr(100, 1);
    TEntJwwSolid solid;
    solid.att = Attr(1, 10);
    TEntJwwEnko arc;
    arc.att = Attr(1, 1);
    sb.Entity(ten).Entity(solid).Entity(arc);
    sb.Count(1);
    sb.Def(def, 1, 2);
    sb.Entity(moji(u"定義だけ", u"x")).Entity(Line(2));
    if (ver >= 700) b.i32(0);
    const std::string bytes = b.data();
    ExpectSummaryAgrees(bytes);
    TJwwData d;
    TJwwKindCounts c;
    ASSERT_TRUE(ReadBytes(d, bytes, false, 0, &c));
    EXPECT_EQ(c.stored, 12);
    EXPECT_EQ(c.moji, 4);
    EXPECT_EQ(d.EntBlockTreeN, 2);
    for (size_t n = 0; ver == 700 && n < bytes.size(); ++n) {
      SCOPED_TRACE(n);
      ExpectSummaryAgrees(bytes.substr(0, n));
    }
  }
}

// ---- real drawings ----------------------------------------------------------------------------

namespace {

std::vector<std::filesystem::path> CorpusFiles() {
  std::vector<std::filesystem::path> files;
  const std::string dir = jwwtest::CorpusDir();
  if (dir.empty()) return files;
  for (auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".jww") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

template <class T, class Eq>
void ExpectList(const std::vector<T>& a, Integer an, const std::vector<T>& b, Integer bn, Eq eq) {
  ASSERT_EQ(an, bn);
  for (Integer i = 0; i < an; ++i) EXPECT_TRUE(eq(a[i], b[i])) << i;
}

void ExpectSameDrawing(const TJwwData& a, const TJwwData& b) {
  ASSERT_EQ(a.Enthd.n1, b.Enthd.n1);
  for (Integer i = 0; i < a.Enthd.n1; ++i) {
    EXPECT_EQ(a.EntNo[i].EntType, b.EntNo[i].EntType);
    EXPECT_EQ(a.EntNo[i].EntNo, b.EntNo[i].EntNo);
  }
  auto xy = [](const auto& p, const auto& q) { return p.start_x == q.start_x && p.start_y == q.start_y; };
  ExpectList(a.EntLine, a.EntLineN, b.EntLine, b.EntLineN, xy);
  ExpectList(a.EntEnko, a.EntEnkoN, b.EntEnko, b.EntEnkoN, xy);
  ExpectList(a.EntTen, a.EntTenN, b.EntTen, b.EntTenN, xy);
  ExpectList(a.EntMoji, a.EntMojiN, b.EntMoji, b.EntMojiN,
             [](const auto& p, const auto& q) { return p.str == q.str && p.strFontName == q.strFontName; });
  ExpectList(a.EntSunpo, a.EntSunpoN, b.EntSunpo, b.EntSunpoN,
             [](const auto& p, const auto& q) { return p.Moji.str == q.Moji.str; });
  ExpectList(a.EntSolid, a.EntSolidN, b.EntSolid, b.EntSolidN, xy);
  ExpectList(a.EntBlock, a.EntBlockN, b.EntBlock, b.EntBlockN,
             [](const auto& p, const auto& q) { return p.nNumber == q.nNumber; });
  ExpectList(a.EntBlockDef, a.EntBlockDefN, b.EntBlockDef, b.EntBlockDefN,
             [](const auto& p, const auto& q) { return p.strName == q.strName && p.N == q.N; });
  EXPECT_EQ(a.EntBlockTreeN, b.EntBlockTreeN);
  EXPECT_EQ(a.EntBlockNum, b.EntBlockNum);
}

}  // namespace

TEST(EntityInCorpus, EveryDrawingReadsAndPreviewAgrees) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder (set DRAVIK_CORPUS)";
  for (const auto& f : files) {
    SCOPED_TRACE(f.filename().string());
    TJwwData full;
    full.BindImageExr = true;
    ASSERT_TRUE(full.FileIn(FromFsPath(f))) << full.LastError().message << " at " << full.LastError().offset;
    EXPECT_GT(full.Enthd.n1, 0);
    for (Integer i = 0; i < full.Enthd.n1; ++i) EXPECT_NE(full.EntNo[i].EntType, 0) << i;
    ExpectSummaryAgrees(ReadFile(f.string()));
    TJwwData plain, prev;
    ASSERT_TRUE(plain.FileIn(FromFsPath(f)));
    ASSERT_TRUE(prev.FilePrevIn(FromFsPath(f), 1 << 30));
    ExpectSameDrawing(plain, prev);
    ExpectSameDrawing(plain, full);
  }
}

// Every prefix of a real drawing reads as False or True, without a crash or a read past its end.
TEST(EntityInCorpus, TruncationSweep) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus folder (set DRAVIK_CORPUS)";
  auto smallest = *std::min_element(files.begin(), files.end(), [](const auto& a, const auto& b) {
    return std::filesystem::file_size(a) < std::filesystem::file_size(b);
  });
  const std::string bytes = ReadFile(smallest.string());
  TJwwData whole;
  whole.BindImageExr = true;
  ASSERT_TRUE(ReadBytes(whole, bytes));
  for (size_t n = 0; n < bytes.size(); ++n) {
    TJwwData d;
    d.BindImageExr = true;
    if (ReadBytes(d, bytes.substr(0, n))) {
      // Only bytes the reader never needs may be missing.
      ASSERT_EQ(d.EntLineN + d.EntMojiN + d.EntBlockDefN + d.BindImageN,
                whole.EntLineN + whole.EntMojiN + whole.EntBlockDefN + whole.BindImageN) << n;
    }
    ASSERT_LE(d.EntNo.size() * sizeof(TEntJwwNo), 8 * n + 64) << n;
    TJwwData p;
    ReadBytes(p, bytes.substr(0, n), true, 1 << 30);
    ExpectSummaryAgrees(bytes.substr(0, n));
  }
}
