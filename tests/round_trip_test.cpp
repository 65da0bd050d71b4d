// What FileOut writes, FileIn reads back: at every version threshold, for drawings built in code
// and for the real drawings of the corpus.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "jww/schema.h"
#include "jww/stream.h"
#include "jww/writer.h"
#include "tests/jww_bytes.h"

using jww::TEntJwwAttr;
using jww::TJwwData;
using jwwtest::Bytes;

namespace {

// Every field a record stores at `ver`, as raw bytes (strings as their UTF-16 units), so that two
// documents compare exactly - NaN bits and characters code page 932 lacks included.
class DumpIO {
 public:
  static constexpr bool kReading = false;
  DumpIO(std::string& out, int ver) : out_(out), ver_(ver) {}
  int Ver() const { return ver_; }
  template <class Body>
  void Fixed(jww::Part, jww::Check, Body&& body) {
    body(*this);
  }
  template <class T>
  void Num(const T& v) {
    out_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  template <class T, class F>
  void Num(const T& v, F&&) {
    Num(v);
  }
  void Attr(const TEntJwwAttr& a, int) { jww::AttrFields(*this, a, ver_); }
  void Str(const std::u16string& v, jww::StrKind) {
    Num(static_cast<uint32_t>(v.size()));
    out_.append(reinterpret_cast<const char*>(v.data()), v.size() * 2);
  }
  void TextStr(const std::u16string& v) { Str(v, jww::StrKind::kName); }
  void BlockNumber(const jww::Cardinal& n) { Num(n); }
  static jww::Byte WrittenStyle(const TEntJwwAttr& a, int) { return a.nPenStyle; }
  static jww::Word WrittenColor(const TEntJwwAttr& a, int) { return a.nPenColor; }
  void LongTime(const jww::TEntJwwBlockDef&, int) {}

 private:
  std::string& out_;
  int ver_;
};

template <class Lists>
void DumpEntities(std::string& out, const Lists& L, const std::vector<jww::TEntJwwNo>& order, size_t n, int ver,
                  int counts[8]) {
  DumpIO io(out, ver);
  for (size_t i = 0; i < n && i < order.size(); ++i) {
    const auto& no = order[i];
    if (no.EntType < 1 || no.EntType > 7 || no.EntNo < 0 || no.EntNo >= counts[no.EntType]) continue;
    io.Num(no.EntType);
    const size_t k = static_cast<size_t>(no.EntNo);
    switch (no.EntType) {
      case 1: jww::LineRecord(io, L.line[k]); break;
      case 2: jww::EnkoRecord(io, L.enko[k]); break;
      case 3: jww::TenRecord(io, L.ten[k], 1.0); break;
      case 4: jww::MojiRecord(io, L.moji[k]); break;
      case 5: jww::SunpoRecord(io, L.sunpo[k]); break;
      case 6: jww::SolidRecord(io, L.solid[k]); break;
      case 7: jww::BlockRecord(io, L.block[k]); break;
    }
  }
}

struct DrawingLists {
  const std::vector<jww::TEntJwwLine>& line;
  const std::vector<jww::TEntJwwEnko>& enko;
  const std::vector<jww::TEntJwwTen>& ten;
  const std::vector<jww::TEntJwwMoji>& moji;
  const std::vector<jww::TEntJwwSunpo>& sunpo;
  const std::vector<jww::TEntJwwSolid>& solid;
  const std::vector<jww::TEntJwwBlock>& block;
};

/// The header rows as stored at `ver` (raw, no clamps), the entities in drawing order and the
/// definitions in use, with everything the file holds.
std::string Dump(const TJwwData& d, int ver) {
  std::string out = Bytes().Header(d, ver).data();
  int counts[8] = {0, d.EntLineN, d.EntEnkoN, d.EntTenN, d.EntMojiN, d.EntSunpoN, d.EntSolidN, d.EntBlockN};
  DumpEntities(out, DrawingLists{d.EntLine, d.EntEnko, d.EntTen, d.EntMoji, d.EntSunpo, d.EntSolid, d.EntBlock},
               d.EntNo, static_cast<size_t>(d.Enthd.n1), ver, counts);
  DumpIO io(out, ver);
  for (int p = 0; p < d.EntBlockDefN; ++p) {
    const auto& b = d.EntBlockDef[p];
    if (!b.ref_flag) continue;
    jww::BlockDefHead(io, b, p + 1);
    int mc[8] = {0, b.mLineN, b.mEnkoN, b.mTenN, b.mMojiN, b.mSunpoN, b.mSolidN, b.mBlockN};
    DumpEntities(out, DrawingLists{b.mLine, b.mEnko, b.mTen, b.mMoji, b.mSunpo, b.mSolid, b.mBlock}, b.mNo,
                 static_cast<size_t>(b.N), ver, mc);
  }
  return out;
}

/// "" when equal, else where the two dumps first differ, with a few bytes of each around it.
std::string Difference(const std::string& got, const std::string& want) {
  if (got == want) return {};
  size_t i = 0;
  while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
  auto hex = [&](const std::string& s) {
    std::string h;
    char buf[4];
    for (size_t k = i; k < s.size() && k < i + 16; ++k) {
      std::snprintf(buf, sizeof buf, "%02X ", static_cast<unsigned char>(s[k]));
      h += buf;
    }
    return h;
  };
  return "differ at byte " + std::to_string(i) + " of " + std::to_string(got.size()) + "/" +
         std::to_string(want.size()) + ": got " + hex(got) + "| want " + hex(want);
}

/// The header as the writer stores it: values a version cannot hold, the clamps, the names it
/// cleans or fills in. (A documented list, so that a round trip can be compared exactly.)
void NormaliseHeaderFor(TJwwData& d, int ver) {
  auto& h = d.Enthd;
  if (ver <= 420 && h.nMaxDrawWid < -101) h.nMaxDrawWid = -101;
  if (ver < 600) h.nPrtDpi = 0;
  else if (h.nPrtDpi <= 0) h.nPrtDpi = 1;
  for (auto& l : d.EntLay) l.aStrLayName = jww::DelMarkChar(l.aStrLayName);
  for (auto& g : d.EntLgrp) g.aStrGLayName = jww::DelMarkChar(g.aStrGLayName);
  auto color24 = [](int v) { return v < 0 || v > 0xFFFFFF ? 0 : v; };
  for (size_t i = 0; i < d.EntCol.size(); ++i) {
    auto& c = d.EntCol[i];
    c.aPenColor = color24(c.aPenColor);
    c.anPenWidth = std::clamp(c.anPenWidth, 1, 16);
    c.aPrtPenColor = i == 0 ? 0xFFFFFF : color24(c.aPrtPenColor);
    c.anPrtPenWidth = std::clamp(c.anPrtPenWidth, 1, 500);
    c.adPrtTenHankei = jww::header_fix::PrtTenHankei(c.adPrtTenHankei);
  }
  auto numbered = [](const char* prefix, size_t i) { return jww::Utf8ToStr(prefix + std::to_string(i)); };
  for (size_t i = 0; i < d.EntColS.size(); ++i) {
    auto& c = d.EntColS[i];
    c.astrUDColorName = jww::DelMarkChar(c.astrUDColorName);
    if (jww::DelSpaceChar(c.astrUDColorName).empty()) c.astrUDColorName = numbered("Color_", i);
    if (i > 16) c.aPrtPenColor = c.aPenColor;
  }
  for (size_t i = 0; i < d.EntLtpS.size(); ++i) {
    auto& t = d.EntLtpS[i];
    const int seg = t.anUDLTypeSegment;
    if (i > 16 && seg != 2 && seg != 4 && seg != 6 && seg != 8) {
      t = {static_cast<int>(0xC3C3C3C3u), 8, 1, 8, numbered("LType_", i), 2, {1.0, 1.0}};
      continue;
    }
    if (t.alLType == 0) t.alLType = -1;
    t.astrUDLTypeName = jww::DelMarkChar(t.astrUDLTypeName);
    if (jww::DelSpaceChar(t.astrUDLTypeName).empty()) t.astrUDLTypeName = numbered("LType_", i);
  }
  for (auto& m : d.EntMoj) {
    m.adMojiX = jww::header_fix::MojiSize(m.adMojiX);
    m.adMojiY = jww::header_fix::MojiSize(m.adMojiY);
  }
  h.dMojiSizeX = jww::header_fix::MojiSize(h.dMojiSizeX);
  h.dMojiSizeY = jww::header_fix::MojiSize(h.dMojiSizeY);
}

TEntJwwAttr Att(uint8_t style, uint16_t color, uint16_t layer = 3) {
  TEntJwwAttr a;
  a.lGroup = 11;
  a.nPenStyle = style;
  a.nPenColor = color;
  a.nPenWidth = 25;
  a.nLayer = layer;
  a.nGLayer = 2;
  a.sFlg = 0x20;
  return a;
}

template <class T>
void Add(std::vector<T>& list, jww::Integer& n, std::vector<jww::TEntJwwNo>& order, int kind, const T& e) {
  list.push_back(e);
  order.push_back({kind, n++});
}

// Every kind of entity, in the drawing and in two nested definitions, with values no version
// changes: standard colours and line types, sizes in range, names without marks.
TJwwData RichDrawing(int ver) {
  TJwwData d;
  d.DataDefaultSet();
  d.Enthd.strMemo = u"\u5e73\u9762\u56f3\r\nmemo";
  d.EntLay[18].aStrLayName = u"\u58c1";
  auto& o = d.EntNo;

  Add(d.EntLine, d.EntLineN, o, 1, {Att(2, 3), -1.5, 2.25, 1e6, -3e-7});
  jww::TEntJwwEnko arc;
  arc.att = Att(11, 5);
  arc.start_x = 10;
  arc.start_y = 20;
  arc.dHankei = 7;
  arc.radKaishiKaku = 0.5;
  arc.radEnkoKaku = 1.25;
  arc.radKatamukiKaku = 0.1;
  arc.dHenpeiRitsu = 0.5;
  Add(d.EntEnko, d.EntEnkoN, o, 2, arc);
  jww::TEntJwwTen plain;
  plain.att = Att(1, 2);
  plain.start_x = 4;
  plain.bKariten = 1;
  plain.dBairitsu = 1.0;  // what a point without code reads as in the drawing
  Add(d.EntTen, d.EntTenN, o, 3, plain);
  jww::TEntJwwTen coded = plain;
  coded.att.nPenStyle = 100;
  coded.nCode = 7;
  coded.radKaitenKaku = 0.75;
  coded.dBairitsu = 2.5;
  Add(d.EntTen, d.EntTenN, o, 3, coded);
  jww::TEntJwwMoji text;
  text.att = Att(5, 2);
  text.start_x = 1;
  text.end_x = 30;
  text.nMojiShu = 3;
  text.dSizeX = 3;
  text.dSizeY = 3.5;
  text.dKankaku = 0.5;
  text.degKakudo = 30;
  text.strFontName = u"\uff2d\uff33 \u30b4\u30b7\u30c3\u30af";
  text.str = u"\u901a\u308a\u82af A-1";
  Add(d.EntMoji, d.EntMojiN, o, 4, text);
  jww::TEntJwwMoji hangul = text;
  hangul.str = u"\ud55c\uad6d\uc5b4 \U0001F600";  // kept whole in the Unicode string form
  Add(d.EntMoji, d.EntMojiN, o, 4, hangul);
  jww::TEntJwwSunpo dim;
  dim.att = Att(1, 1);
  dim.Sen = {Att(1, 1), 0, 0, 100, 0};
  dim.Moji = text;
  dim.Moji.str = u"100";
  if (ver >= 420) {
    dim.bSxfMode = 0;  // an SXF dimension below 420 becomes seven objects: tested on its own
    dim.Ho1 = {Att(1, 1), 0, -5, 0, 0};
    dim.Ho2 = {Att(1, 1), 100, -5, 100, 0};
    for (auto* t : {&dim.Te1, &dim.Te2, &dim.Kt1, &dim.Kt2}) t->att = Att(1, 1);
    dim.Te1.att = Att(100, 1);
    dim.Te1.nCode = 3;
    dim.Kt2.start_x = 100;
  } else {
    // What a reader makes of a dimension the version stores without its parts.
    for (auto* l : {&dim.Ho1, &dim.Ho2}) l->att = dim.att;
    for (auto* t : {&dim.Te1, &dim.Te2, &dim.Kt1, &dim.Kt2}) {
      t->att = dim.att;
      t->att.nPenStyle = 0;
    }
  }
  Add(d.EntSunpo, d.EntSunpoN, o, 5, dim);
  jww::TEntJwwSolid solid;
  solid.att = Att(1, 10);
  solid.start_x = 1;
  solid.DPoint3_y = 9;
  solid.Color = 0x336699;
  Add(d.EntSolid, d.EntSolidN, o, 6, solid);
  jww::TEntJwwSolid grey = solid;
  grey.att.nPenColor = 9;
  grey.Color = 0;
  Add(d.EntSolid, d.EntSolidN, o, 6, grey);
  jww::TEntJwwBlock ins;
  ins.att = Att(1, 1);
  ins.DPKijunTen_x = 100;
  ins.DPKijunTen_y = 50;
  ins.dBairitsuX = 2;
  ins.dBairitsuY = 3;
  ins.radKaitenKaku = 0.5;
  ins.nNumber = 0;
  Add(d.EntBlock, d.EntBlockN, o, 7, ins);
  d.Enthd.n1 = static_cast<jww::Integer>(o.size());

  // Definition 0 holds a line, a point and an insertion of definition 1, which holds a text.
  jww::TEntJwwBlockDef outer;
  outer.att = Att(1, 1);
  outer.nNumber = 0;
  outer.strName = u"door";
  outer.dtime = 1234;
  Add(outer.mLine, outer.mLineN, outer.mNo, 1, {Att(1, 1), 0, 0, 1, 1});
  jww::TEntJwwTen inner = plain;
  inner.dBairitsu = 0;  // a point without code reads with scale 0 inside a definition
  Add(outer.mTen, outer.mTenN, outer.mNo, 3, inner);
  jww::TEntJwwBlock nested = ins;
  nested.nNumber = 1;
  Add(outer.mBlock, outer.mBlockN, outer.mNo, 7, nested);
  outer.N = static_cast<jww::Integer>(outer.mNo.size());
  jww::TEntJwwBlockDef leaf;
  leaf.att = Att(1, 2);
  leaf.nNumber = 1;
  leaf.strName = u"\u7a93";
  Add(leaf.mMoji, leaf.mMojiN, leaf.mNo, 4, text);
  leaf.N = 1;
  d.EntBlockDef = {outer, leaf};
  d.EntBlockDefN = d.Enthd.n2 = 2;
  d.MakeBlockTree();
  return d;
}

}  // namespace

TEST(RoundTrip, EveryVersionThresholdReadsBackWhatWasWritten) {
  jwwtest::TempDir dir;
  const auto path = jww::Utf8ToStr(dir.path("rt.jww"));
  for (int ver : {220, 223, 225, 230, 231, 300, 350, 351, 419, 420, 600, 700}) {
    SCOPED_TRACE(ver);
    TJwwData d = RichDrawing(ver);
    ASSERT_TRUE(d.FileOut(path, ver));
    TJwwData r;
    ASSERT_TRUE(r.FileIn(path)) << r.LastError().message;
    EXPECT_EQ(r.Enthd.jwID, u"JwwData.");
    EXPECT_EQ(r.Enthd.jwVer, ver);
    EXPECT_EQ(r.Enthd.n1, d.Enthd.n1);
    EXPECT_EQ(r.EntBlockDefN, 2);
    EXPECT_EQ(r.EntBlockNum, 2);
    EXPECT_EQ(r.EntBlockTreeN, d.EntBlockTreeN);
    EXPECT_EQ(r.EntMoji[1].str, d.EntMoji[1].str);

    TJwwData expected = d;
    NormaliseHeaderFor(expected, ver);
    EXPECT_EQ(Difference(Dump(r, ver), Dump(expected, ver)), "");
    // What the version does not store reads as nothing.
    EXPECT_EQ(r.EntLine[0].att.nPenWidth, ver >= 351 ? 25 : 0);

    // Read and written again, the file is the same bytes.
    const std::string first = *jww::ReadWholeFile(path);
    const auto again = jww::Utf8ToStr(dir.path("again.jww"));
    ASSERT_TRUE(r.FileOut(again, ver));
    EXPECT_EQ(*jww::ReadWholeFile(again), first);
  }
}

TEST(RoundTrip, SxfDimensionBelow420BecomesSevenObjects) {
  jwwtest::TempDir dir;
  const auto path = jww::Utf8ToStr(dir.path("sxf.jww"));
  TJwwData d = RichDrawing(600);
  ASSERT_EQ(d.Enthd.jwVer, 600);
  auto& dim = d.EntSunpo[0];
  dim.bSxfMode = 1;
  dim.Kt1.bKariten = 0;
  dim.Te2.bKariten = 0;
  const jww::Integer lines = d.EntLineN, points = d.EntTenN;
  ASSERT_TRUE(d.FileOut(path, 400));

  TJwwData r;
  ASSERT_TRUE(r.FileIn(path));
  EXPECT_EQ(r.Enthd.n1, d.Enthd.n1 + 6);
  EXPECT_EQ(r.EntSunpoN, 1);
  EXPECT_EQ(r.EntSunpo[0].bSxfMode, 0);
  ASSERT_EQ(r.EntLineN, lines + 2);
  ASSERT_EQ(r.EntTenN, points + 4);
  EXPECT_EQ(r.EntLine[lines].start_y, -5.0);
  EXPECT_EQ(r.EntLine[lines + 1].start_x, 100.0);
  EXPECT_EQ(r.EntTen[points].nCode, 3u);  // Te1 keeps its code
  EXPECT_EQ(r.EntTen[points + 1].bKariten, 0u);
  EXPECT_EQ(r.EntTen[points + 2].bKariten, 1u);  // Kt1 and Kt2 become temporary points
  EXPECT_EQ(r.EntTen[points + 3].bKariten, 1u);
  EXPECT_EQ(r.EntTen[points + 3].start_x, 100.0);
  // The six objects follow the dimension in the drawing order.
  const auto at = std::find_if(r.EntNo.begin(), r.EntNo.end(), [](auto& n) { return n.EntType == 5; });
  ASSERT_NE(at, r.EntNo.end());
  const int want[] = {5, 1, 1, 3, 3, 3, 3};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(at[k].EntType, want[k]);

  // A document read from an old file has no SXF dimensions to expand.
  d.Enthd.jwVer = 419;
  ASSERT_TRUE(d.FileOut(path, 400));
  ASSERT_TRUE(r.FileIn(path));
  EXPECT_EQ(r.Enthd.n1, d.Enthd.n1);
}

TEST(RoundTrip, OnlyDefinitionsInUseAreKeptAndRenumbered) {
  jwwtest::TempDir dir;
  const auto path = jww::Utf8ToStr(dir.path("blk.jww"));
  TJwwData d;
  d.DataDefaultSet();
  auto def = [&](jww::Cardinal number, const char16_t* name) {
    jww::TEntJwwBlockDef b;
    b.att = Att(1, 1);
    b.nNumber = number;
    b.strName = name;
    b.dtime = 0x80000000u | number;
    Add(b.mLine, b.mLineN, b.mNo, 1, {Att(1, 1), 0, 0, double(number), 0});
    b.N = 1;
    d.EntBlockDef.push_back(b);
  };
  def(5, u"unused");
  def(7, u"first");
  def(12, u"second");
  d.EntBlockDefN = d.Enthd.n2 = 3;
  // 7 is inserted in the drawing and inserts 12 in turn; 5 is inserted nowhere.
  jww::TEntJwwBlock ins;
  ins.att = Att(1, 1);
  ins.dBairitsuX = ins.dBairitsuY = 1;
  ins.nNumber = 7;
  Add(d.EntBlock, d.EntBlockN, d.EntNo, 7, ins);
  ins.nNumber = 12;
  Add(d.EntBlockDef[1].mBlock, d.EntBlockDef[1].mBlockN, d.EntBlockDef[1].mNo, 7, ins);
  d.EntBlockDef[1].N = 2;
  d.Enthd.n1 = 1;
  d.MakeBlockTree();
  ASSERT_TRUE(d.FileOut(path, 600));

  TJwwData r;
  ASSERT_TRUE(r.FileIn(path));
  ASSERT_EQ(r.EntBlockDefN, 2);
  EXPECT_EQ(r.EntBlockDef[0].strName, u"first");
  EXPECT_EQ(r.EntBlockDef[0].nNumber, 0u);
  EXPECT_EQ(r.EntBlockDef[1].strName, u"second");
  EXPECT_EQ(r.EntBlockDef[1].nNumber, 1u);
  EXPECT_EQ(r.EntBlock[0].nNumber, 0u);
  EXPECT_EQ(r.EntBlockDef[0].mBlock[0].nNumber, 1u);
  EXPECT_EQ(r.EntBlockDef[1].mLine[0].end_x, 12.0);
  // A long time field is skipped by readers, which number the definition by its position.
  EXPECT_EQ(r.EntBlockDef[0].dtime, 1u);
  EXPECT_EQ(r.EntBlockDef[1].dtime, 2u);
  EXPECT_EQ(r.EntBlockTreeN, 2);
  EXPECT_EQ(r.EntBlockNum, 2);
}

// The drawing inserts "plate" 1000 times, plate inserts "bolt" 1100 times, bolt inserts
// "thread": the placement tree is cut long before thread, yet thread is in use, written, and
// bolt's insertion of it carries thread's written number.
TEST(RoundTrip, DefinitionsBeyondTheCutPlacementTreeAreWritten) {
  jwwtest::TempDir dir;
  const auto path = jww::Utf8ToStr(dir.path("deep.jww"));
  TJwwData d;
  d.DataDefaultSet();
  jww::TEntJwwBlock ins;
  ins.att = Att(1, 1);
  ins.dBairitsuX = ins.dBairitsuY = 1;
  auto def = [&](jww::Cardinal number, const char16_t* name, jww::Cardinal inserts, int times) {
    jww::TEntJwwBlockDef b;
    b.att = Att(1, 1);
    b.nNumber = number;
    b.strName = name;
    ins.nNumber = inserts;
    for (int i = 0; i < times; ++i) Add(b.mBlock, b.mBlockN, b.mNo, 7, ins);
    Add(b.mLine, b.mLineN, b.mNo, 1, {Att(1, 1), 0, 0, double(number), 0});
    b.N = static_cast<jww::Integer>(b.mNo.size());
    d.EntBlockDef.push_back(b);
  };
  def(30, u"unused", 10, 1);
  def(10, u"plate", 20, 1100);
  def(20, u"bolt", 40, 1);
  def(40, u"thread", 0, 0);
  d.EntBlockDefN = d.Enthd.n2 = 4;
  ins.nNumber = 10;
  for (int i = 0; i < 1000; ++i) Add(d.EntBlock, d.EntBlockN, d.EntNo, 7, ins);
  d.Enthd.n1 = 1000;
  d.MakeBlockTree();
  ASSERT_TRUE(d.FileOut(path, 600));

  TJwwData r;
  ASSERT_TRUE(r.FileIn(path));
  ASSERT_EQ(r.EntBlockDefN, 3);
  EXPECT_EQ(r.EntBlockDef[2].strName, u"thread");
  EXPECT_EQ(r.EntBlockDef[2].mLine[0].end_x, 40.0);
  EXPECT_EQ(r.EntBlockDef[1].mBlock[0].nNumber, 2u);
  EXPECT_EQ(r.EntBlockDef[0].mBlock[1099].nNumber, 1u);
  EXPECT_TRUE(r.EntBlockDef[2].ref_flag);
}

// A definition's entities are written as the drawing's: an SXF dimension written below 420 adds
// six objects to the definition's count; a text's image reference is rewritten and marks its
// image, a dimension's text does neither; an insertion numbering no written definition is 0.
TEST(RoundTrip, DefinitionEntitiesAreWrittenAsTheDrawingsAre) {
  jwwtest::TempDir dir;
  const std::string images = dir.path("img");
  std::filesystem::create_directory(images);
  for (const char* f : {"/B.JPG.gz", "/C.JPG.gz", "/D.JPG.gz"}) std::ofstream(images + f) << "img";

  TJwwData d = RichDrawing(600);
  jww::TEntJwwBlockDef b;
  b.att = Att(1, 1);
  b.nNumber = 70;
  b.strName = u"detail";
  jww::TEntJwwSunpo dim = d.EntSunpo[0];
  dim.bSxfMode = 1;
  dim.Moji.str = u"^@BM%temp%c.jpg,1";
  Add(b.mSunpo, b.mSunpoN, b.mNo, 5, dim);
  jww::TEntJwwMoji text = d.EntMoji[0];
  text.str = u"^@BM%temp%b.jpg,1";
  Add(b.mMoji, b.mMojiN, b.mNo, 4, text);
  jww::TEntJwwBlock ins;
  ins.att = Att(1, 1);
  ins.dBairitsuX = ins.dBairitsuY = 1;
  ins.nNumber = 99;  // no definition has it
  Add(b.mBlock, b.mBlockN, b.mNo, 7, ins);
  b.N = 3;
  d.EntSunpo[0].Moji.str = u"^@BM%temp%d.jpg,1";
  d.EntBlockDef.push_back(b);
  d.EntBlockDefN = d.Enthd.n2 = static_cast<jww::Integer>(d.EntBlockDef.size());
  ins.nNumber = 70;
  Add(d.EntBlock, d.EntBlockN, d.EntNo, 7, ins);
  ins.nNumber = 99;
  Add(d.EntBlock, d.EntBlockN, d.EntNo, 7, ins);
  d.Enthd.n1 = static_cast<jww::Integer>(d.EntNo.size());
  d.MakeBlockTree();
  const jww::Integer defs = d.EntBlockNum;
  ASSERT_TRUE(d.EntBlockDef.back().ref_flag);
  d.SetFileOutOption(8);

  const auto path = jww::Utf8ToStr(dir.path("defs.jww"));
  ASSERT_TRUE(d.FileOut(path, 400));
  TJwwData r;
  ASSERT_TRUE(r.FileIn(path));
  ASSERT_EQ(r.EntBlockDefN, defs);
  const jww::TEntJwwBlockDef& detail = r.EntBlockDef[defs - 1];
  EXPECT_EQ(detail.strName, u"detail");
  EXPECT_EQ(detail.N, 3 + 6);
  EXPECT_EQ(detail.mLineN, 2);
  EXPECT_EQ(detail.mTenN, 4);
  EXPECT_EQ(detail.mSunpo[0].Moji.str, u"^@BM%temp%c.jpg,1");
  EXPECT_EQ(detail.mMoji[0].str, u"^@BMb.jpg,1");
  EXPECT_EQ(detail.mBlock[0].nNumber, 0u);
  EXPECT_EQ(r.EntBlock[r.EntBlockN - 1].nNumber, 0u);
  EXPECT_EQ(r.EntBlock[r.EntBlockN - 2].nNumber, static_cast<jww::Cardinal>(defs - 1));

  d.BindImageFolder = jww::Utf8ToStr(images + "/");
  d.BindImageExr = true;
  d.BindImage = {{u"C.JPG.gz", 3, false}, {u"B.JPG.gz", 3, false}, {u"D.JPG.gz", 3, false}};
  d.BindImageN = 3;
  ASSERT_TRUE(d.FileOut(path, 700));
  EXPECT_FALSE(d.BindImage[0].exf);
  EXPECT_TRUE(d.BindImage[1].exf);
  EXPECT_FALSE(d.BindImage[2].exf);
}

// A stale tree: a definition the drawing inserts but that is not marked in use is not written,
// and its insertions are written as 0 rather than as a number no written definition carries.
TEST(RoundTrip, InsertionsOfDefinitionsNotWrittenAreZero) {
  TJwwData d;
  d.DataDefaultSet();
  d.EntBlockDef.resize(3);
  for (jww::Cardinal i = 0; i < 3; ++i) d.EntBlockDef[i].nNumber = 4 + i;
  d.EntBlockDef[0].ref_flag = d.EntBlockDef[2].ref_flag = true;  // as left before 5 was inserted
  d.EntBlockDefN = d.Enthd.n2 = 3;
  jww::TEntJwwBlock ins;
  for (jww::Cardinal n : {4u, 5u, 6u, 7u}) {
    ins.nNumber = n;
    Add(d.EntBlock, d.EntBlockN, d.EntNo, 7, ins);
  }
  d.Enthd.n1 = 4;
  jww::OutStream s;
  jww::HeaderOut(s, d, 600);
  jww::EntityStreamOut(s, d, 600);
  s.Commit();
  TJwwData r;
  jww::InStream in(s.Data().data(), s.Data().size());
  ASSERT_TRUE(r.DrawingIn(in, false, 0));
  ASSERT_EQ(r.EntBlockDefN, 2);
  const jww::Cardinal want[] = {0, 0, 1, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(r.EntBlock[i].nNumber, want[i]) << i;
}

TEST(RoundTrip, BoundImagesOfAVersion700DrawingSurvive) {
  jwwtest::TempDir dir;
  const std::string images = dir.path("img");
  std::filesystem::create_directory(images);
  std::string data(5000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  std::ofstream(images + "/P.JPG.gz", std::ios::binary).write(data.data(), 5000);

  TJwwData d = RichDrawing(700);
  d.BindImageFolder = jww::Utf8ToStr(images + "/");
  d.BindImageExp = true;
  d.BindImage = {{u"P.JPG.gz", 5000, false}};
  d.BindImageN = 1;
  d.EntMoji[0].str = u"^@BM%temp%p.jpg,0,0,10,10,0";
  const auto path = jww::Utf8ToStr(dir.path("img.jww"));
  ASSERT_TRUE(d.FileOut(path, 700));
  EXPECT_TRUE(d.BindImage[0].exf);

  const std::string back = dir.path("back");
  std::filesystem::create_directory(back);
  TJwwData r;
  r.BindImageFolder = jww::Utf8ToStr(back + "/");
  r.BindImageExp = true;
  ASSERT_TRUE(r.FileIn(path));
  ASSERT_EQ(r.BindImageN, 1);
  EXPECT_EQ(r.BindImage[0].Fname, u"P.JPG.gz");
  EXPECT_EQ(r.BindImage[0].Fsize, 5000);
  EXPECT_EQ(*jww::ReadWholeFile(jww::Utf8ToStr(back + "/P.JPG.gz")), data);
}

// ---- the corpus -------------------------------------------------------------------------------

TEST(RoundTrip, CorpusDrawingsWrittenAtTheirOwnVersionReadBackTheSame) {
  const std::string corpus = jwwtest::CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus folder (../shared/corpus or $DRAVIK_CORPUS)";
  jwwtest::TempDir dir;
  int drawings = 0, identical = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (entry.path().extension() != ".jww") continue;
    SCOPED_TRACE(entry.path().filename().string());
    const std::string images = dir.path("img" + std::to_string(drawings));
    std::filesystem::create_directory(images);
    TJwwData d;
    d.BindImageFolder = jww::Utf8ToStr(images + "/");
    d.BindImageExp = true;
    const auto src = jww::Utf8ToStr(entry.path().string());
    if (!d.FileIn(src)) continue;  // drawings the reader refuses are the reader's tests' business
    ++drawings;
    const int ver = d.Enthd.jwVer;
    const auto out = jww::Utf8ToStr(dir.path("out.jww"));
    ASSERT_TRUE(d.FileOut(out, ver));
    const std::string original = *jww::ReadWholeFile(src), written = *jww::ReadWholeFile(out);
    if (original == written) ++identical;

    TJwwData r;
    r.BindImageFolder = d.BindImageFolder;
    r.BindImageExp = true;
    ASSERT_TRUE(r.FileIn(out));
    TJwwData expected = d;
    NormaliseHeaderFor(expected, ver);
    EXPECT_EQ(Difference(Dump(r, ver), Dump(expected, ver)), "");
    // Once normalised, a drawing is a fixed point: writing what was read gives the same bytes.
    const auto again = jww::Utf8ToStr(dir.path("again.jww"));
    ASSERT_TRUE(r.FileOut(again, ver));
    EXPECT_EQ(*jww::ReadWholeFile(again), written);
  }
  // Byte identity with the original is not expected: the writer fills the reserved header bytes
  // with spaces and zeros, names every unnamed extended colour and line type, and stores text in
  // code page 932 where newer files use the Unicode form.
  std::printf("[ corpus   ] %d drawings read, written at their own version and read back; %d byte-identical\n",
              drawings, identical);
  EXPECT_GT(drawings, 0);
}
