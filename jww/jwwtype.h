// The records of a Jw_cad drawing: header, header tables, entities, block definitions, block tree
// and bound images. Field names, order and widths follow the JWW data vocabulary so that a record
// reads like the file it came from.
//
// The records are ordinary aligned structs. The on-file layout (packed, little-endian, no gaps) is
// produced field by field by the record schemas (jww/schema.h), which drive reading and writing
// alike; the packed block sizes are asserted there and in the tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace jww {

using Integer = int32_t;
using Cardinal = uint32_t;
using Word = uint16_t;
using Byte = uint8_t;
using Double = double;
using Boolean = bool;
/// Text as held in memory: UTF-16. Converted to the ANSI code page (932) only at file boundaries.
using string = std::u16string;

// ---------------------------------------------------------------------------------------------
// Header tables

struct TEntJwwLayerGroup {
  Integer anGLay = 0;       ///< state of the group
  Integer anWriteLay = 0;   ///< current write layer of the group, 0..15
  Double adScale = 0;       ///< scale denominator: the group is drawn at 1 : adScale
  Integer anGLayProtect = 0;
  string aStrGLayName;
};

struct TEntJwwLayer {
  Integer aanLay = 0;
  Integer aanLayProtect = 0;
  string aStrLayName;
};

struct TEntJwwColorNo {
  Integer aPenColor = 0;     ///< screen colour, 24-bit, red in the low byte
  Integer anPenWidth = 0;
  Integer aPrtPenColor = 0;
  Integer anPrtPenWidth = 0;
  Double adPrtTenHankei = 0;  ///< print point radius
};

/// Used by EntLtp1 and EntLtp3.
struct TEntJwwLineTypeNo {
  Integer alLType = 0;  ///< dash bit pattern
  Integer anTokushuSenUintDot = 0;
  Integer anTokushuSenPich = 0;
  Integer anPrtTokushuSenPich = 0;
};

struct TEntJwwRandomLineNo {
  Integer alLType = 0;
  Integer anRandSenWide = 0;
  Integer anTokushuSenPich = 0;
  Integer anPrtRandSenWide = 0;
  Integer anPrtTokushuSenPich = 0;
};

struct TEntJwwColorExNo {
  Integer aPenColor = 0;
  Integer anPenWidth = 0;
  string astrUDColorName;
  Integer aPrtPenColor = 0;
  Integer anPrtPenWidth = 0;
  Double adPrtTenHankei = 0;
};

struct TEntJwwLineTypeExNo {
  Integer alLType = 0;
  Integer anTokushuSenUintDot = 0;
  Integer anTokushuSenPich = 0;
  Integer anPrtTokushuSenPich = 0;
  string astrUDLTypeName;
  Integer anUDLTypeSegment = 0;
  /// Segment lengths numbered 1..10 in the file's vocabulary; index 0 here is segment 1.
  std::array<Double, 10> aadUDLTypePitch{};
};

struct TEntJwwMojiType {
  Double adMojiX = 0;  ///< character width
  Double adMojiY = 0;  ///< character height
  Double adMojiD = 0;  ///< character spacing
  Integer anMojiCol = 0;
};

// ---------------------------------------------------------------------------------------------
// Header. Arrays numbered 1..8 in the file's vocabulary are 0-based here (entry n is [n - 1]).

struct TEntJwwHeader {
  string jwID;
  Integer jwVer = 0;
  string strMemo;
  Integer nZumen = 0;
  Integer nWriteGLay = 0;
  Integer lnSunpou1 = 0, lnSunpou2 = 0, lnSunpou3 = 0, lnSunpou4 = 0, lnSunpou5 = 0;
  Integer nMaxDrawWid = 0;
  Boolean bSenHaba100 = false;  ///< derived: nMaxDrawWid <= -101
  Integer nMaxDrawWidBak = 0;   ///< derived: nMaxDrawWid decoded
  Double DPPrtGenten_x = 0, DPPrtGenten_y = 0;
  Double dPrtBairitsu = 1.0;
  Integer nPrtSet = 0;
  Integer nMemoriMode = 0;
  Double dMemoriHyoujiMin = 1.0;
  Double dMemoriX = 1.0, dMemoriY = 1.0;
  Double DpMemoriKjTen_x = 0, DpMemoriKjTen_y = 0;
  Double dKageLevel = 0;
  Double dKageIdo = 0;
  Integer nKage9_15JiFlg = 0;
  Double dKabeKageLevel = 0;
  Double dTenkuuZuLevel = 0;
  Double dTenkuuZuEnkoR = 0;
  Integer nMMTani3D = 0;
  Double dBairitsu = 1.0;
  Double DPGenten_x = 0, DPGenten_y = 0;
  Double dHanniBairitsu = 1.0;
  Double DPHanniGenten_x = 0, DPHanniGenten_y = 0;
  std::array<Double, 8> dZoomJumpBairitsu{1, 1, 1, 1, 1, 1, 1, 1};
  std::array<Double, 8> DPZoomJumpGenten_x{};
  std::array<Double, 8> DPZoomJumpGenten_y{};
  std::array<Integer, 8> nZoomJumpGLay{-1, -1, -1, -1, -1, -1, -1, -1};  ///< -1 = none
  Double dDm11 = 0, dDm12 = 0, dDm13 = 0;
  Integer lnDm1 = 0;
  Double dDm21 = 0, dDm22 = 0;
  Double dMojiBG = 0;   ///< how far (paper mm) a text's background box reaches past its characters
  Integer nMojiBG = 0;
  std::array<Double, 10> adFukusenSuuchi{};  ///< numbered 0..9
  Double dRyougawaFukusenTomeDe = 0;
  Integer nDrawGamenTen = 0;
  Integer nDrawPrtTen = 0;
  Integer nBitMapFirstDraw = 0;
  Integer nGyakuDraw = 0;
  Integer nGyakuSearch = 0;
  Integer nColorPrint = 0;
  Integer nLayJunPrint = 0;
  Integer nColJunPrint = 0;
  Integer nPrtRenzoku = 0;
  Integer nPrtKyoutsuuGray = 0;
  Integer nPrtDispOnlyNonDraw = 0;  ///< derived: stored print value mod 10
  Integer nPrtDpi = 0;              ///< derived: stored print value div 10
  Integer lnDrawTime = 0;
  Integer nEyeInit = 0;
  // Integers on file despite the "d" prefix.
  Integer dEye_H_Ichi_1 = 0, dEye_H_Ichi_2 = 0, dEye_H_Ichi_3 = 0;
  Double dEye_Z_Ichi_1 = 0, dEye_Y_Ichi_1 = 0, dEye_Z_Ichi_2 = 0, dEye_Y_Ichi_2 = 0,
         dEye_V_Ichi_3 = 0;
  Double dSenNagasaSnpou = 0;
  Double dBoxSunpouX = 0, dBoxSunpouY = 0;
  Double dEnHankeiSnpou = 0;
  Integer nSolidNinniColor = 0;
  Integer SolidColor = 0;
  Double dMojiSizeX = 0, dMojiSizeY = 0;
  Double dMojiKankaku = 0;
  Integer nMojiColor = 0;
  Integer nMojiShu = 0;
  Double dMojiSeiriGyouKan = 0;
  Double dMojiSeiriSuu = 0;
  Integer nMojiKijunZureOn = 0;
  Double adMojiKijunZureX0 = 0, adMojiKijunZureX1 = 0, adMojiKijunZureX2 = 0;
  Double adMojiKijunZureY0 = 0, adMojiKijunZureY1 = 0, adMojiKijunZureY2 = 0;
  Integer n1 = 0;  ///< bookkeeping: valid entries of EntNo
  Integer n2 = 0;  ///< bookkeeping: number of block definitions, kept equal to EntBlockDefN
};

// ---------------------------------------------------------------------------------------------
// Entities. On file each is packed; the packed sizes are given beside each record.

/// The attribute part that starts every entity: 15 bytes packed (13 for version 350 and earlier,
/// which do not store nPenWidth).
struct TEntJwwAttr {
  Cardinal lGroup = 0;
  Byte nPenStyle = 0;
  Word nPenColor = 0;
  Word nPenWidth = 0;
  Word nLayer = 0;
  Word nGLayer = 0;
  Word sFlg = 0;
};

/// 47 bytes packed.
struct TEntJwwLine {
  TEntJwwAttr att;
  Double start_x = 0, start_y = 0, end_x = 0, end_y = 0;
};

/// Arc, circle or ellipse: 75 bytes packed.
struct TEntJwwEnko {
  TEntJwwAttr att;
  Double start_x = 0, start_y = 0;  ///< centre
  Double dHankei = 0;
  Double radKaishiKaku = 0;
  Double radEnkoKaku = 0;
  Double radKatamukiKaku = 0;
  Double dHenpeiRitsu = 0;
  Cardinal bZenEnFlg = 0;  ///< 1 = full circle or ellipse
};

/// Point: 55 bytes packed.
struct TEntJwwTen {
  TEntJwwAttr att;
  Double start_x = 0, start_y = 0;
  Cardinal bKariten = 0;
  Cardinal nCode = 0;
  Double radKaitenKaku = 0;
  Double dBairitsu = 0;
};

/// Text: 83 bytes packed without the two strings, which follow on file.
struct TEntJwwMoji {
  TEntJwwAttr att;
  Double start_x = 0, start_y = 0, end_x = 0, end_y = 0;
  /// Text type (value mod 10000) plus style flags in its multiples of 10000; a hundred-thousands
  /// digit of 1 (kMojiBackground) prints the text over a box in the background colour.
  Cardinal nMojiShu = 0;
  Double dSizeX = 0, dSizeY = 0;
  Double dKankaku = 0;
  Double degKakudo = 0;
  string strFontName;
  string str;
};

/// The style flag of TEntJwwMoji::nMojiShu that gives a text its background box.
inline constexpr Cardinal kMojiBackground = 100000;
inline bool HasBackground(const TEntJwwMoji& m) { return m.nMojiShu / kMojiBackground % 10 == 1; }

/// Dimension: nine attribute parts in all.
struct TEntJwwSunpo {
  TEntJwwAttr att;
  TEntJwwLine Sen;
  TEntJwwMoji Moji;
  Word bSxfMode = 0;  ///< stored from version 420 on
  TEntJwwLine Ho1, Ho2;
  TEntJwwTen Te1, Te2, Kt1, Kt2;
};

/// Solid fill: 83 bytes packed.
struct TEntJwwSolid {
  TEntJwwAttr att;
  Double start_x = 0, start_y = 0, end_x = 0, end_y = 0;
  Double DPoint2_x = 0, DPoint2_y = 0, DPoint3_x = 0, DPoint3_y = 0;
  Cardinal Color = 0;  ///< own colour, in use when nPenColor is 10
};

/// Block insertion: 59 bytes packed.
struct TEntJwwBlock {
  TEntJwwAttr att;
  Double DPKijunTen_x = 0, DPKijunTen_y = 0;
  Double dBairitsuX = 0, dBairitsuY = 0;
  Double radKaitenKaku = 0;
  Cardinal nNumber = 0;
};

/// Entity kinds as EntType names them; 8 is used by the writer for a block definition.
enum EntKind : Integer {
  kEntNone = 0,
  kEntLine = 1,
  kEntEnko = 2,
  kEntTen = 3,
  kEntMoji = 4,
  kEntSunpo = 5,
  kEntSolid = 6,
  kEntBlock = 7,
  kEntBlockDef = 8,
};

/// One entry of a drawing order: the list (EntType 1..7) and the 0-based index into it.
/// Entries whose EntType is not 1..7 are skipped by every consumer.
struct TEntJwwNo {
  Integer EntType = 0;
  Integer EntNo = 0;
};

/// Block definition. The first 27 bytes (att, nNumber, bRefferd, dtime) are its fixed part on file.
struct TEntJwwBlockDef {
  TEntJwwAttr att;
  Cardinal nNumber = 0;
  Cardinal bRefferd = 0;
  Cardinal dtime = 0;
  string strName;
  Integer N = 0;
  std::vector<TEntJwwNo> mNo;
  Integer mLineN = 0, mEnkoN = 0, mTenN = 0, mMojiN = 0, mSunpoN = 0, mSolidN = 0, mBlockN = 0;
  std::vector<TEntJwwLine> mLine;
  std::vector<TEntJwwEnko> mEnko;
  std::vector<TEntJwwTen> mTen;
  std::vector<TEntJwwMoji> mMoji;
  std::vector<TEntJwwSunpo> mSunpo;
  std::vector<TEntJwwSolid> mSolid;
  std::vector<TEntJwwBlock> mBlock;
  Boolean ref_flag = false;  ///< derived: inserted in the drawing or in a definition in use
  Integer ref_no = -1;       ///< derived: running number among the referred definitions
};

/// The name of the definition a block tree node places. One copy of each definition's name is
/// shared by all its nodes: a tree may hold a million nodes of a few definitions with long names.
class TBlockName {
 public:
  TBlockName() = default;
  explicit TBlockName(std::shared_ptr<const string> s) : s_(std::move(s)) {}
  const string& str() const {
    static const string kEmpty;
    return s_ ? *s_ : kEmpty;
  }
  operator const string&() const { return str(); }
  bool empty() const { return str().empty(); }
  friend bool operator==(const TBlockName& a, std::u16string_view b) { return std::u16string_view(a.str()) == b; }

 private:
  std::shared_ptr<const string> s_;
};

/// A placed block insertion, derived from the insertions and definitions.
struct TEntJwwBlockTree {
  TEntJwwAttr att;
  Integer level = 0;    ///< 0 in the drawing, parent's level + 1 inside a definition
  Integer parent = -1;  ///< index of the parent node, -1 for none
  Cardinal no = 0;      ///< number of the inserted definition
  Integer defno = -1;   ///< index into EntBlockDef, -1 when no definition has that number
  TBlockName name;      ///< the definition's strName as of the tree's build; empty without one
  Double x = 0, y = 0;  ///< insertion point in drawing coordinates
  /// Block-to-drawing matrix: X = x + r1*bx + r2*by, Y = y + r3*bx + r4*by.
  Double r1 = 0, r2 = 0, r3 = 0, r4 = 0;
};

/// An image bound into a drawing (version 700).
struct TBindImageType {
  string Fname;       ///< file name inside BindImageFolder
  Integer Fsize = 0;  ///< bytes of image data in the drawing
  Boolean exf = false;
};

}  // namespace jww
