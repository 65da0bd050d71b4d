// The entity stream as written, byte for byte: tags and the archive counter, attribute parts by
// version and kind, optional tails, image references, the bound-image section.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "jww/out_stream.h"
#include "jww/stream.h"
#include "jww/writer.h"
#include "tests/jww_bytes.h"

using jww::TEntJwwAttr;
using jww::TJwwData;
using jwwtest::Bytes;

namespace {

TJwwData NewDrawing() {
  TJwwData d;
  d.DataDefaultSet();
  return d;
}

TEntJwwAttr Att(uint8_t style = 1, uint16_t color = 1) {
  TEntJwwAttr a;
  a.lGroup = 7;
  a.nPenStyle = style;
  a.nPenColor = color;
  a.nPenWidth = 3;
  a.nLayer = 2;
  a.nGLayer = 4;
  a.sFlg = 0x10;
  return a;
}

template <class T>
void Add(std::vector<T>& list, jww::Integer& n, TJwwData& d, int kind, const T& e) {
  list.push_back(e);
  d.EntNo.push_back({kind, n++});
  d.Enthd.n1 = static_cast<jww::Integer>(d.EntNo.size());
}
void AddLine(TJwwData& d, const jww::TEntJwwLine& e) { Add(d.EntLine, d.EntLineN, d, jww::kEntLine, e); }
void AddArc(TJwwData& d, const jww::TEntJwwEnko& e) { Add(d.EntEnko, d.EntEnkoN, d, jww::kEntEnko, e); }
void AddPoint(TJwwData& d, const jww::TEntJwwTen& e) { Add(d.EntTen, d.EntTenN, d, jww::kEntTen, e); }
void AddText(TJwwData& d, const jww::TEntJwwMoji& e) { Add(d.EntMoji, d.EntMojiN, d, jww::kEntMoji, e); }
void AddDim(TJwwData& d, const jww::TEntJwwSunpo& e) { Add(d.EntSunpo, d.EntSunpoN, d, jww::kEntSunpo, e); }
void AddSolid(TJwwData& d, const jww::TEntJwwSolid& e) { Add(d.EntSolid, d.EntSolidN, d, jww::kEntSolid, e); }
void AddBlock(TJwwData& d, const jww::TEntJwwBlock& e) { Add(d.EntBlock, d.EntBlockN, d, jww::kEntBlock, e); }

std::string Stream(TJwwData& d, int ver) {
  jww::OutStream s;
  jww::EntityStreamOut(s, d, ver);
  s.Commit();
  return s.Data();
}

// The attribute part on file, as the version stores it.
Bytes& AttrBytes(Bytes& b, const TEntJwwAttr& a, int ver) {
  b.u32(a.lGroup).u8(a.nPenStyle).u16(a.nPenColor);
  if (ver >= 351) b.u16(a.nPenWidth);
  return b.u16(a.nLayer).u16(a.nGLayer).u16(a.sFlg);
}

Bytes& NewClass(Bytes& b, int ver, std::string_view name) {
  return b.u16(0xFFFF).u16(static_cast<uint16_t>(ver)).u16(static_cast<uint16_t>(name.size())).raw(name);
}

// Offset of the first entity's attribute part: the count Word, then its new-class tag.
size_t FirstAttr(std::string_view className) { return 2 + 6 + className.size(); }

template <class T>
T At(const std::string& b, size_t off) {
  T v{};
  std::memcpy(&v, b.data() + off, sizeof v);
  return v;
}

}  // namespace

TEST(EntityStreamOut, TwoLinesAndAnArcByVersion) {
  TJwwData d = NewDrawing();
  AddLine(d, {Att(), 1, 2, 3, 4});
  AddLine(d, {Att(2, 3), 5, 6, 7, 8});
  jww::TEntJwwEnko arc;
  arc.att = Att();
  arc.start_x = 10;
  arc.dHankei = 5;
  arc.dHenpeiRitsu = 1;
  arc.bZenEnFlg = 1;
  AddArc(d, arc);

  for (int ver : {600, 350}) {
    SCOPED_TRACE(ver);
    Bytes want;
    want.u16(3);
    NewClass(want, ver, "CDataSen");  // class index 1; the line takes index 2
    AttrBytes(want, Att(), ver).f64(1).f64(2).f64(3).f64(4);
    want.u16(0x8001);  // the second line refers to class 1 (and takes index 3)
    AttrBytes(want, Att(2, 3), ver).f64(5).f64(6).f64(7).f64(8);
    NewClass(want, ver, "CDataEnko");  // index 4; the arc takes 5
    AttrBytes(want, Att(), ver).f64(10).f64(0).f64(5).f64(0).f64(0).f64(0).f64(1).u32(1);
    want.u16(0);  // no block definitions
    EXPECT_EQ(Stream(d, ver), want.data());
  }
  // The fixed parts are 47 and 75 bytes from version 351, two less before.
  EXPECT_EQ(Stream(d, 600).size(), 2 + 14 + 47 + 2 + 47 + 15 + 75 + 2u);
  EXPECT_EQ(Stream(d, 350).size(), 2 + 14 + 45 + 2 + 45 + 15 + 73 + 2u);
}

TEST(EntityStreamOut, ClassIntroducedBeyond32766IsReferredToWithTheLongTag) {
  TJwwData d = NewDrawing();
  for (int i = 0; i < 33000; ++i) AddLine(d, {Att(), 0, 0, 0, 0});
  AddArc(d, {Att()});
  AddLine(d, {Att()});
  AddArc(d, {Att()});
  const std::string b = Stream(d, 600);

  EXPECT_EQ(At<uint16_t>(b, 0), 33003);
  // Lines take the indices 2..33001; the arc class is introduced under 33002.
  const size_t arc1 = 2 + (14 + 47) + 32999 * (2 + 47);
  Bytes arcClass;
  EXPECT_EQ(b.substr(arc1, 15), NewClass(arcClass, 600, "CDataEnko").data());
  const size_t line = arc1 + 15 + 75;
  EXPECT_EQ(At<uint16_t>(b, line), 0x8001);
  const size_t arc2 = line + 2 + 47;
  EXPECT_EQ(At<uint16_t>(b, arc2), 0x7FFF);
  EXPECT_EQ(At<uint32_t>(b, arc2 + 2), 0x80000000u + 33002u);
  EXPECT_EQ(b.size(), arc2 + 6 + 75 + 2);
}

TEST(EntityStreamOut, AttributePartNormalisedByKindAndVersion) {
  struct Case {
    const char* what;
    int kind, ver;
    uint8_t style;
    uint16_t color;
    int defcol;
    uint8_t wantStyle;
    uint16_t wantColor;
  };
  const Case cases[] = {
      {"extended line type and colour below 420", 1, 419, 35, 103, 1, 8, 3},
      {"kept from 420", 1, 420, 35, 103, 1, 35, 103},
      {"line type 46..62 below 420", 2, 419, 50, 117, 1, 1, 1},
      {"line type 46..62 from 420", 2, 420, 62, 356, 1, 62, 356},
      {"colour 117..356 below 420 takes the default", 1, 419, 1, 200, 7, 1, 7},
      {"invalid line type and colour 10 on a line", 1, 600, 10, 10, 1, 1, 1},
      {"line type 20, colour 0", 1, 600, 20, 0, 4, 1, 4},
      {"block insertion keeps everything", 7, 419, 0x41, 103, 1, 0x41, 103},
      {"text base point 12", 4, 600, 12, 2, 1, 1, 2},
      {"text colour 357", 4, 600, 9, 357, 1, 9, 1},
      {"dimension keeps any style", 5, 600, 200, 0, 1, 200, 1},
      {"dimension colour below 420", 5, 419, 3, 116, 1, 3, 2},
      {"solid keeps colour 10", 6, 600, 0, 10, 1, 0, 10},
      {"solid colour 11", 6, 600, 0, 11, 1, 0, 1},
      {"point with a code", 3, 600, 100, 5, 1, 100, 5},
      {"point style 5", 3, 600, 5, 5, 1, 1, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TJwwData d = NewDrawing();
    d.defcoljww = c.defcol;
    const TEntJwwAttr a = Att(c.style, c.color);
    std::string_view name;
    switch (c.kind) {
      case 1: AddLine(d, {a}); name = "CDataSen"; break;
      case 2: AddArc(d, {a}); name = "CDataEnko"; break;
      case 3: AddPoint(d, {a}); name = "CDataTen"; break;
      case 4: { jww::TEntJwwMoji m; m.att = a; AddText(d, m); name = "CDataMoji"; break; }
      case 5: { jww::TEntJwwSunpo s; s.att = a; AddDim(d, s); name = "CDataSunpou"; break; }
      case 6: AddSolid(d, {a}); name = "CDataSolid"; break;
      case 7: AddBlock(d, {a}); name = "CDataBlock"; break;
    }
    const std::string b = Stream(d, c.ver);
    const size_t off = FirstAttr(name);
    EXPECT_EQ(At<uint8_t>(b, off + 4), c.wantStyle);
    EXPECT_EQ(At<uint16_t>(b, off + 5), c.wantColor);
    EXPECT_EQ(d.EntNo.size(), 1u);
  }
}

TEST(EntityStreamOut, LayersOutOfRangeAndHugePenWidths) {
  TJwwData d = NewDrawing();
  TEntJwwAttr a = Att();
  a.nLayer = 16;
  a.nGLayer = 16;
  a.nPenWidth = 30001;
  AddLine(d, {a});
  a.nLayer = 15;
  a.nGLayer = 15;
  a.nPenWidth = 30000;
  AddLine(d, {a});
  const std::string b = Stream(d, 600);
  const size_t first = FirstAttr("CDataSen"), second = first + 47 + 2;
  EXPECT_EQ(At<uint16_t>(b, first + 7), 0);   // width
  EXPECT_EQ(At<uint16_t>(b, first + 9), 0);   // layer
  EXPECT_EQ(At<uint16_t>(b, first + 11), 0);  // group
  EXPECT_EQ(At<uint16_t>(b, second + 7), 30000);
  EXPECT_EQ(At<uint16_t>(b, second + 9), 15);
  EXPECT_EQ(At<uint16_t>(b, second + 11), 15);
  EXPECT_EQ(d.EntLine[0].att.nLayer, 16);  // the document keeps its values
}

TEST(EntityStreamOut, TailsFollowTheValuesAsWritten) {
  // A point's tail follows style 100 only; a solid's own colour follows colour 10 - also when the
  // writer itself turns the colour into 10, so the record always matches its colour.
  struct Case {
    const char* what;
    int kind;
    uint8_t style;
    uint16_t color;
    int defcol;
    size_t recordBytes;
  };
  const Case cases[] = {
      {"point with code", 3, 100, 1, 1, 35 + 20},
      {"point style 5", 3, 5, 1, 1, 35},
      {"solid colour 10", 6, 1, 10, 1, 79 + 4},
      {"solid colour 9", 6, 1, 9, 1, 79},
      {"solid colour 0 with default colour 10", 6, 1, 0, 10, 79 + 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TJwwData d = NewDrawing();
    d.defcoljww = c.defcol;
    if (c.kind == 3) {
      jww::TEntJwwTen p;
      p.att = Att(c.style, c.color);
      p.nCode = 9;
      AddPoint(d, p);
    } else {
      jww::TEntJwwSolid s;
      s.att = Att(c.style, c.color);
      s.Color = 0x123456;
      AddSolid(d, s);
    }
    const std::string_view name = c.kind == 3 ? "CDataTen" : "CDataSolid";
    EXPECT_EQ(Stream(d, 600).size(), FirstAttr(name) + c.recordBytes + 2);
  }
}

TEST(EntityStreamOut, DrawingOrderEntriesThatNameNoEntityAreSkippedAndNotCounted) {
  TJwwData d = NewDrawing();
  AddLine(d, {Att()});
  d.EntNo.push_back({0, 0});
  d.EntNo.push_back({9, 0});
  d.EntNo.push_back({jww::kEntLine, 5});  // beyond the list
  d.EntNo.push_back({jww::kEntEnko, 0});  // the arc list is empty
  AddLine(d, {Att()});
  const std::string b = Stream(d, 600);
  EXPECT_EQ(At<uint16_t>(b, 0), 2);
  EXPECT_EQ(b.size(), 2 + 14 + 47 + 2 + 47 + 2u);
}

TEST(EntityStreamOut, ImageReferencesRewrittenAsTheOptionsAsk) {
  struct Case {
    int opt;
    std::u16string text, want;
  };
  const Case cases[] = {
      {8, u"^@BM%temp%a.jpg,1,2,3", u"^@BMa.jpg,1,2,3"},
      {1, u"^@BMC:\\img\\a.jpg,1,2,3", u"^@BMa.jpg,1,2,3"},
      {1, u"^@BM/home/u/a.jpg,1", u"^@BMa.jpg,1"},
      {1, u"^@BMa<b.jpg,1", u"^@BM,1"},  // not a path: no name is left
      {9, u"^@BM%temp%C:\\a.jpg,4", u"^@BMa.jpg,4"},
      {0, u"^@BM%temp%a.jpg,1", u"^@BM%temp%a.jpg,1"},
      {1, u"^@BMC:\\img\\a.jpg", u"^@BMC:\\img\\a.jpg"},  // no placement, no rewriting
      {8, u"x^m^@BM%temp%a.jpg,1", u"x^@BM%temp%a.jpg,1"},
      {1, u"^@BM\\ab^m.jpg,1", u"^@BMab.jpg,1"},  // marks go first
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(jww::StrToUtf8(c.text));
    TJwwData d = NewDrawing();
    d.SetFileOutOption(c.opt);
    jww::TEntJwwMoji m;
    m.att = Att();
    m.strFontName = u"Font^m";
    m.str = c.text;
    AddText(d, m);
    const std::string b = Stream(d, 600);
    jww::InStream in(b.data(), b.size());
    in.Skip(FirstAttr("CDataMoji") + 83);
    EXPECT_EQ(TJwwData::StrIn(in), u"Font");
    EXPECT_EQ(TJwwData::StrIn(in), c.want);
    EXPECT_EQ(in.Remaining(), 2u);
  }
}

TEST(EntityStreamOut, OnlyDefinitionsInUseAreWrittenWithTheirRunningNumbers) {
  TJwwData d = NewDrawing();
  auto def = [&](jww::Cardinal number, bool used, jww::Integer refNo) {
    jww::TEntJwwBlockDef b;
    b.att = Att();
    b.nNumber = number;
    b.strName = u"blk" + std::u16string(1, static_cast<char16_t>(u'0' + number % 10));
    b.ref_flag = used;
    b.ref_no = refNo;
    b.mLine.push_back({Att()});
    b.mLineN = 1;
    b.mNo.push_back({jww::kEntLine, 0});
    b.N = 1;
    d.EntBlockDef.push_back(b);
  };
  def(7, true, 0);
  def(5, false, -1);
  def(12, true, 1);
  d.EntBlockDefN = d.Enthd.n2 = 3;
  d.EntBlockNum = 2;
  jww::TEntJwwBlock ins;
  ins.att = Att();
  ins.nNumber = 12;
  AddBlock(d, ins);

  const std::string b = Stream(d, 600);
  Bytes want;
  want.u16(1);
  NewClass(want, 600, "CDataBlock");  // class 1, insertion 2
  AttrBytes(want, Att(), 600).f64(0).f64(0).f64(0).f64(0).f64(0).u32(1);
  want.u16(2);
  NewClass(want, 600, "CDataList");  // class 3, definition 4
  AttrBytes(want, Att(), 600).u32(0).u32(0).u32(0).str("blk7").u16(1);
  NewClass(want, 600, "CDataSen");  // class 5, line 6
  AttrBytes(want, Att(), 600).f64(0).f64(0).f64(0).f64(0);
  want.u16(0x8003);  // definition 7
  AttrBytes(want, Att(), 600).u32(1).u32(0).u32(0).str("blk2").u16(1);
  want.u16(0x8005);
  AttrBytes(want, Att(), 600).f64(0).f64(0).f64(0).f64(0);
  EXPECT_EQ(b, want.data());
}

// Insertion numbers become the running numbers of the definitions written, whether the stored
// numbers are small and dense or far apart; a number two definitions share is the first one's.
TEST(EntityStreamOut, InsertionNumbersFollowTheFirstDefinitionThatHasThem) {
  struct Def {
    jww::Cardinal number;
    bool used;
  };
  const std::vector<Def> defs = {{7, true}, {5, false}, {12, true}, {7, true}, {3, true}};
  // Inserted number -> number written: 7 is the first definition (0), 5 is not written, 12 the
  // second written (1), 3 the fourth (3), 9 names no definition.
  const std::pair<jww::Cardinal, jww::Cardinal> inserts[] = {{7, 0}, {5, 0}, {12, 1}, {3, 3}, {9, 0}};
  for (const jww::Cardinal offset : {0u, 1000000u, 0xFFFFFF00u}) {
    SCOPED_TRACE(offset);
    TJwwData d = NewDrawing();
    for (const Def& def : defs) {
      jww::TEntJwwBlockDef b;
      b.nNumber = def.number + offset;
      b.ref_flag = def.used;
      d.EntBlockDef.push_back(b);
    }
    d.EntBlockDefN = d.Enthd.n2 = static_cast<jww::Integer>(defs.size());
    for (const auto& [number, want] : inserts) {
      jww::TEntJwwBlock ins;
      ins.nNumber = number + offset;
      AddBlock(d, ins);
    }
    const std::string b = Stream(d, 600);
    size_t off = FirstAttr("CDataBlock") + 15 + 5 * 8;
    for (const auto& [number, want] : inserts) {
      SCOPED_TRACE(number);
      EXPECT_EQ(At<uint32_t>(b, off), want);
      off += 4 + 2 + 15 + 5 * 8;  // the next insertion's reference tag, attributes, numbers
    }
  }
}

// Names and texts lose their marks and control characters wherever these stand (the search for
// them takes four characters at a time), and names repeated from record to record, as font names
// are, are written as each record holds them.
TEST(EntityStreamOut, MarksCleanedAtEveryPositionAndRepeatedNamesWrittenAsHeld) {
  const std::u16string base = u"W=1820\u5BDD\u5BA4ab";
  const std::u16string marks[] = {std::u16string(1, u'\x01'), std::u16string(1, u'\0'), u"^m", u"\\n",
                                  std::u16string(1, u'\x1F')};
  std::vector<std::u16string> texts = {base, u"^", u"\\", u"a^b\\c", u"\x7F\x80"};
  for (const auto& m : marks)
    for (size_t i = 0; i <= base.size(); ++i) texts.push_back(base.substr(0, i) + m + base.substr(i));
  const std::u16string fonts[] = {u"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF", u"Arial", u"Arial^m", u"Century",
                                  u"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF", u"\uFF2D\uFF33 \u660E\u671D"};
  TJwwData d = NewDrawing();
  for (size_t i = 0; i < texts.size(); ++i) {
    jww::TEntJwwMoji m;
    m.att = Att();
    m.strFontName = fonts[i % std::size(fonts)];
    m.str = texts[i];
    AddText(d, m);
    jww::TEntJwwSunpo dim;
    dim.att = Att();
    dim.Moji.strFontName = fonts[(i + 1) % std::size(fonts)];
    dim.Moji.str = texts[i];
    AddDim(d, dim);
  }
  jww::OutStream s;
  jww::HeaderOut(s, d, 600);
  jww::EntityStreamOut(s, d, 600);
  s.Commit();
  TJwwData r;
  jww::InStream in(s.Data().data(), s.Data().size());
  ASSERT_TRUE(r.DrawingIn(in, false, 0));
  ASSERT_EQ(r.EntMoji.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(jww::StrToUtf8(texts[i]));
    EXPECT_EQ(r.EntMoji[i].str, jww::DelMarkChar(texts[i]));
    EXPECT_EQ(r.EntMoji[i].strFontName, jww::DelMarkChar(fonts[i % std::size(fonts)]));
    EXPECT_EQ(r.EntSunpo[i].Moji.str, jww::DelMarkChar(texts[i]));
    EXPECT_EQ(r.EntSunpo[i].Moji.strFontName, jww::DelMarkChar(fonts[(i + 1) % std::size(fonts)]));
  }
}

TEST(EntityStreamOut, DefinitionTimeWithTheLongFlagCarriesItsEightBytes) {
  TJwwData d = NewDrawing();
  jww::TEntJwwBlockDef b;
  b.att = Att();
  b.dtime = 0x80000001u;
  b.ref_flag = true;
  b.ref_no = 0;
  d.EntBlockDef.push_back(b);
  d.EntBlockDefN = d.Enthd.n2 = 1;
  d.EntBlockNum = 1;
  const std::string s = Stream(d, 600);
  Bytes want;
  want.u16(0).u16(1);
  NewClass(want, 600, "CDataList");
  AttrBytes(want, Att(), 600).u32(0).u32(0).u32(0x80000001u).fill(8, 0).str("").u16(0);
  EXPECT_EQ(s, want.data());
}

TEST(EntityStreamOut, DefinitionDrawingOrderTakesItsStoredLength) {
  TJwwData d = NewDrawing();
  jww::TEntJwwBlockDef b;
  b.ref_flag = true;
  b.ref_no = 0;
  b.N = 3;  // an order shorter than N is lengthened with entries that name nothing
  b.mNo.push_back({jww::kEntLine, 0});
  b.mLine.push_back({Att()});
  b.mLineN = 1;
  d.EntBlockDef.push_back(b);
  d.EntBlockDefN = d.Enthd.n2 = 1;
  const std::string s = Stream(d, 420);
  EXPECT_EQ(d.EntBlockDef[0].mNo.size(), 3u);
  EXPECT_EQ(At<uint16_t>(s, s.size() - 2 - 47 - 14), 1);  // its entity count
}

// ---- bound images -------------------------------------------------------------------------------

namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 + 3);
  return s;
}

}  // namespace

TEST(BindImageOut, ImagesTextsReferToAreEmbedded) {
  jwwtest::TempDir dir;
  WriteFile(dir.path("A.JPG.gz"), Pattern(5000));
  WriteFile(dir.path("B.PNG.gz"), "unused");
  WriteFile(dir.path("E.BMP.gz"), "in a definition nobody uses");
  std::filesystem::create_directory(dir.path("D.JPG.gz"));  // exists but cannot be read

  TJwwData d = NewDrawing();
  d.BindImageFolder = jww::Utf8ToStr(dir.dir() + "/");
  for (const char16_t* name : {u"A.JPG.gz", u"B.PNG.gz", u"C.JPG.gz", u"D.JPG.gz", u"E.BMP.gz"})
    d.BindImage.push_back({name, 0, true});
  d.BindImageN = 5;
  for (const char16_t* t : {u"^@BM%temp%a.jpg,1,2", u"^@BM%temp%c.jpg,1", u"^@BM%temp%d.jpg,1",
                            u"^@BM%temp%,1", u"^@BM%temp%a.jpg"}) {
    jww::TEntJwwMoji m;
    m.att = Att();
    m.str = t;
    AddText(d, m);
  }
  jww::TEntJwwBlockDef unused;
  unused.mMoji.push_back({});
  unused.mMoji[0].str = u"^@BM%temp%e.bmp,1";
  unused.mMojiN = 1;
  unused.mNo.push_back({jww::kEntMoji, 0});
  unused.N = 1;
  d.EntBlockDef.push_back(unused);
  d.EntBlockDefN = d.Enthd.n2 = 1;

  // With both image options off nothing is embedded.
  std::string s = Stream(d, 700);
  EXPECT_EQ(s.substr(s.size() - 4), std::string(4, '\0'));
  for (const auto& img : d.BindImage) EXPECT_FALSE(img.exf);
  EXPECT_EQ(Stream(d, 600).size(), s.size() - 4);  // no section below 700

  d.BindImageExr = true;
  s = Stream(d, 700);
  Bytes section;
  section.i32(2).str("A.JPG.gz").i32(5000).raw(Pattern(5000));
  section.str("E.BMP.gz").i32(27).raw("in a definition nobody uses");
  ASSERT_GT(s.size(), section.size());
  EXPECT_EQ(s.substr(s.size() - section.size()), section.data());
  const bool want[] = {true, false, false, false, true};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(d.BindImage[i].exf, want[i]) << i;
}

// A reference marks the first entry, in list order, whose name begins with the referred name in
// any letter case - by Unicode's case mapping, whatever the process's locale.
TEST(BindImageOut, ReferenceMarksTheFirstEntryItBeginsInAnyLetterCase) {
  jwwtest::TempDir dir;
  const char16_t* entries[] = {u"\u00C4PFEL.JPG.gz", u"\uFF30IC.PNG.gz", u"a.jpg.gz.old", u"A.JPG.gz", u"x.gz"};
  TJwwData d = NewDrawing();
  d.BindImageFolder = jww::Utf8ToStr(dir.dir() + "/");
  d.BindImageExr = true;
  for (const char16_t* name : entries) {
    WriteFile(dir.path(jww::StrToUtf8(name)), "img");
    d.BindImage.push_back({name, 3, false});
  }
  d.BindImageN = 5;
  for (const char16_t* t : {u"^@BM%temp%\u00E4pfel.jpg,1", u"^@BM%temp%\uFF50ic.png,1", u"^@BM%temp%A.jpg,1"}) {
    jww::TEntJwwMoji m;
    m.att = Att();
    m.str = t;
    AddText(d, m);
  }
  const std::string s = Stream(d, 700);
  const bool want[] = {true, true, true, false, false};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(d.BindImage[i].exf, want[i]) << i;
  Bytes section;
  section.i32(3).ustr(entries[0]).i32(3).raw("img");  // no code page form: the Unicode one
  section.str(std::u16string(entries[1])).i32(3).raw("img").str("a.jpg.gz.old").i32(3).raw("img");
  ASSERT_GT(s.size(), section.size());
  EXPECT_EQ(s.substr(s.size() - section.size()), section.data());
}

// ---- attribute parts against the table of conversions and validations -------------------------

namespace {

template <class T>
T With(const TEntJwwAttr& a) {
  T e;
  e.att = a;
  return e;
}

// The line type and colour an attribute part is written with, straight from the format's table.
int TableStyle(int kind, int ver, int s, int defltp) {
  static const int below420[] = {1, 4, 3, 6, 8, 8, 2, 5, 7, 6, 6, 8, 8, 17, 17};  // 31..45
  if (ver < 420 && (kind == 1 || kind == 2)) {
    if (s >= 31 && s <= 45) s = below420[s - 31];
    else if (s >= 46 && s <= 62) s = defltp;
  }
  switch (kind) {
    case 1:
    case 2: return (s >= 1 && s <= 9) || (s >= 11 && s <= 19) || (s >= 31 && s <= 62) ? s : defltp;
    case 3: return s == 1 || s == 100 ? s : 1;
    case 4: return s >= 1 && s <= 9 ? s : 1;
    default: return s;
  }
}

int TableColor(int kind, int ver, int c, int defcol) {
  static const int below420[] = {2, 8, 3, 6, 4, 5, 1, 2, 5, 8, 4, 3, 6, 5, 2, 2};  // 101..116
  if (ver < 420 && kind >= 1 && kind <= 6) {
    if (c >= 101 && c <= 116) c = below420[c - 101];
    else if (c >= 117 && c <= 356) c = defcol;
  }
  if (kind >= 7) return c;
  const bool extended = c >= 101 && c <= 356;
  return (c >= 1 && c <= (kind == 6 ? 10 : 9)) || extended ? c : defcol;
}

}  // namespace

TEST(EntityStreamOut, AttributePartsFollowTheTableForEveryStyleAndColour) {
  constexpr int kDefCol = 2, kDefLtp = 3;  // not the usual 1, so that a wrong default shows
  std::vector<std::pair<int, int>> attrs;  // every style with colour 1, every colour with style 1
  for (int s = 0; s <= 255; ++s) attrs.push_back({s, 1});
  for (int c = 0; c <= 420; ++c) attrs.push_back({1, c});
  for (int ver : {350, 351, 419, 420, 600}) {
    for (int kind = 1; kind <= 8; ++kind) {
      SCOPED_TRACE(testing::Message() << "version " << ver << " kind " << kind);
      TJwwData d = NewDrawing();
      d.defcoljww = kDefCol;
      d.defltpjww = kDefLtp;
      for (const auto& [s, c] : attrs) {
        const TEntJwwAttr a = Att(static_cast<uint8_t>(s), static_cast<uint16_t>(c));
        switch (kind) {
          case 1: AddLine(d, With<jww::TEntJwwLine>(a)); break;
          case 2: AddArc(d, With<jww::TEntJwwEnko>(a)); break;
          case 3: AddPoint(d, With<jww::TEntJwwTen>(a)); break;
          case 4: AddText(d, With<jww::TEntJwwMoji>(a)); break;
          case 5: AddDim(d, With<jww::TEntJwwSunpo>(a)); break;
          case 6: AddSolid(d, With<jww::TEntJwwSolid>(a)); break;
          case 7: AddBlock(d, With<jww::TEntJwwBlock>(a)); break;
          default: {
            jww::TEntJwwBlockDef b;
            b.att = a;
            b.ref_flag = true;
            d.EntBlockDef.push_back(b);
            d.EntBlockDefN = d.Enthd.n2 = static_cast<jww::Integer>(d.EntBlockDef.size());
          }
        }
      }
      jww::OutStream s;
      jww::HeaderOut(s, d, ver);
      jww::EntityStreamOut(s, d, ver);
      s.Commit();
      TJwwData r;
      jww::InStream in(s.Data().data(), s.Data().size());
      ASSERT_TRUE(r.DrawingIn(in, false, 0));
      for (size_t i = 0; i < attrs.size(); ++i) {
        const TEntJwwAttr* got = nullptr;
        switch (kind) {
          case 1: got = &r.EntLine.at(i).att; break;
          case 2: got = &r.EntEnko.at(i).att; break;
          case 3: got = &r.EntTen.at(i).att; break;
          case 4: got = &r.EntMoji.at(i).att; break;
          case 5: got = &r.EntSunpo.at(i).att; break;
          case 6: got = &r.EntSolid.at(i).att; break;
          case 7: got = &r.EntBlock.at(i).att; break;
          default: got = &r.EntBlockDef.at(i).att;
        }
        const auto [style, color] = attrs[i];
        ASSERT_EQ(got->nPenStyle, TableStyle(kind, ver, style, kDefLtp)) << "style " << style << " colour " << color;
        ASSERT_EQ(got->nPenColor, TableColor(kind, ver, color, kDefCol)) << "style " << style << " colour " << color;
      }
    }
  }
}
