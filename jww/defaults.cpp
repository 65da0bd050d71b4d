// The header and header tables of a new, empty drawing.
#include <bit>
#include <cstdint>

#include "jww/JwwUnit.h"

namespace jww {

namespace {

// Colour values are 24-bit with red in the low byte: 0x0000FF is red, 0xFF0000 blue.
struct PenDefault {
  Integer color, width, prtColor, prtWidth;
  Double prtRadius;
};
constexpr PenDefault kPens[10] = {
    {0xFFFFFF, 1, 0xFFFFFF, 1, 0.1},  {0xC0C000, 1, 0xFFFF00, 8, 0.2},
    {0x000000, 1, 0x000000, 17, 0.3}, {0x00C000, 1, 0x00FF00, 25, 0.4},
    {0x00C0C0, 1, 0x00FFFF, 34, 0.5}, {0xC000C0, 1, 0xFF00FF, 42, 0.5},
    {0xFF0000, 2, 0xFF0000, 51, 0.5}, {0x808000, 3, 0x808000, 59, 0.5},
    {0x8000FF, 5, 0x0000FF, 68, 0.5}, {0xC0C0C0, 1, 0x808080, 1, 0.1},
};

constexpr Integer Pattern(uint32_t bits) { return static_cast<Integer>(bits); }

struct LtpDefault {
  uint32_t pattern;
  Integer unitDot;
};
constexpr LtpDefault kLtp1[8] = {
    {0x99999999, 4},  {0xC3C3C3C3, 8},  {0xE7E7E7E7, 8}, {0xF99FF99F, 16},
    {0xFFF99FFF, 32}, {0xF24FF24F, 16}, {0xFFF24FFF, 32}, {0x22222222, 4},
};

struct RandDefault {
  Integer wide, pitch, prtWide, prtPitch;
};
constexpr RandDefault kLtp2[5] = {{1, 3, 1, 5}, {1, 4, 1, 10}, {2, 5, 2, 15}, {2, 6, 2, 20}, {2, 7, 2, 25}};

struct Ltp3Default {
  uint32_t pattern;
  Integer pitch, prtPitch;
};
constexpr Ltp3Default kLtp3[4] = {
    {0xFFF99FFF, 2, 20}, {0xFFF24FFF, 2, 20}, {0xFFFE7FFF, 2, 20}, {0xFFFE7FFF, 4, 40}};

struct MojiDefault {
  Double size, spacing;
  Integer color;
};
constexpr MojiDefault kMoji[10] = {{2.0, 0.0, 1}, {2.5, 0.0, 1}, {3.0, 0.5, 2}, {4.0, 0.5, 2},
                                   {5.0, 0.5, 3}, {6.0, 1.0, 3}, {7.0, 1.0, 4}, {8.0, 1.0, 4},
                                   {9.0, 1.0, 5}, {10.0, 1.0, 5}};

struct ColorExDefault {
  const char16_t* name;
  Integer color;
};
// Entry 0 prints in 0x000190; every other named colour prints as it shows.
constexpr ColorExDefault kColorsEx[17] = {
    {u"Color_0", 0x000000},    {u"black", 0x000000},     {u"red", 0x0000FF},
    {u"green", 0x00FF00},      {u"blue", 0xFF0000},      {u"yellow", 0x00FFFF},
    {u"magenta", 0xFF00FF},    {u"cyan", 0xFFFF00},      {u"white", 0xFFFFFF},
    {u"deeppink", 0x8000C0},   {u"brown", 0x4080C0},     {u"orange", 0x0080FF},
    {u"lightgreen", 0x80C080}, {u"lightblue", 0xFF8000}, {u"lavender", 0xFF4080},
    {u"lightgray", 0xC0C0C0},  {u"darkgray", 0x808080},
};

struct LtpExDefault {
  const char16_t* name;
  uint32_t pattern;
  Integer unitDot, prtPitch, segments;
  Double pitches[10];
};
constexpr LtpExDefault kLtpEx[17] = {
    {u"Ltype_0", 0xFFFFFFFF, 32, 10, 0, {}},
    {u"continuous", 0xFFFFFFFF, 32, 10, 0, {}},
    {u"dashed", 0xFE3FFE3F, 16, 15, 2, {6, 1.5}},
    {u"dashed spaced", 0xF00FF00F, 16, 24, 2, {6, 6}},
    {u"long dashed dotted", 0xFFFBBFFF, 32, 15, 4, {12, 1.5, 0.25, 1.5}},
    {u"long dashed double-dotted", 0xFFEEEFFF, 32, 17, 6, {12, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"long dashed triplicate-dotted", 0xFFBBBBFF, 32, 19, 8,
     {12, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"dotted", 0x10101010, 8, 7, 2, {0.25, 1.5}},
    {u"chain", 0xFFFDBFFF, 32, 19, 4, {12, 1.5, 3.5, 1.5}},
    {u"chain double dash", 0xFFF6DFFF, 32, 24, 6, {12, 1.5, 3.5, 1.5, 3.5, 1.5}},
    {u"dashed dotted", 0xFFE083FF, 32, 9, 4, {6, 1.5, 0.25, 1.5}},
    {u"double-dashed dotted", 0xFC7FF11F, 32, 17, 6, {6, 1.5, 6, 1.5, 0.25, 1.5}},
    {u"dashed double-dotted", 0xFF8421FF, 32, 11, 6, {6, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"double-dashed double-dotted", 0xF8FF888F, 32, 19, 8, {6, 1.5, 6, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"dashed triplicate-dotted", 0xFE10843F, 32, 13, 8, {6, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"double-dashed triplicate-dotted", 0xF9FF249F, 32, 20, 10,
     {6, 1.5, 6, 1.5, 0.25, 1.5, 0.25, 1.5, 0.25, 1.5}},
    {u"undefined", 0xFFFFFFFF, 32, 10, 0, {}},
};

string Numbered(const char16_t* prefix, int n) {
  string s = prefix;
  for (char c : std::to_string(n)) s.push_back(static_cast<char16_t>(c));
  return s;
}

}  // namespace

void TJwwData::DataDefaultSet() {
  // Every header field but the two bookkeeping counts starts from a fresh record, so nothing of an
  // earlier drawing survives.
  const Integer n1 = Enthd.n1, n2 = Enthd.n2;
  Enthd = TEntJwwHeader{};
  auto& h = Enthd;
  h.n1 = n1;
  h.n2 = n2;
  h.jwID = u"JwwData.";
  h.jwVer = 600;
  h.lnSunpou1 = 2001112;
  h.lnSunpou2 = 5;
  h.lnSunpou3 = 50150030;
  h.lnSunpou4 = 10000000;
  h.lnSunpou5 = 4100;
  // -300 with these two is what the header reader derives from -300: widths in 1/100 mm, 100.
  h.nMaxDrawWid = -300;
  h.bSenHaba100 = true;
  h.nMaxDrawWidBak = 100;
  h.dPrtBairitsu = 1.0;
  h.dMemoriHyoujiMin = 15.0;
  h.dMemoriX = 5.0;
  h.dMemoriY = 5.0;
  h.dKageLevel = 1.5;
  h.dKageIdo = 36.0;
  h.dTenkuuZuEnkoR = 100.0;
  h.dBairitsu = 1.0;
  h.dHanniBairitsu = 1.0;
  h.dZoomJumpBairitsu.fill(1.0);
  h.nZoomJumpGLay.fill(-1);
  h.nMojiBG = 1;
  for (int i = 0; i < 10; ++i) h.adFukusenSuuchi[i] = 50.0 * (i + 1);
  h.nColorPrint = 1;
  h.nLayJunPrint = 1;
  h.nColJunPrint = 1;
  h.nPrtDpi = 1;
  h.dEye_H_Ichi_1 = -4500;
  h.dEye_H_Ichi_2 = -4500;
  h.dEye_H_Ichi_3 = -4500;
  h.dEye_Z_Ichi_1 = 2000.0;
  h.dEye_Y_Ichi_1 = 1000000.0;
  h.dEye_Z_Ichi_2 = 1000000.0;
  h.dEye_Y_Ichi_2 = 1000000.0;
  // atan(1 / sqrt 2) in degrees, given by its bits so that the value is exact.
  h.dEye_V_Ichi_3 = std::bit_cast<Double>(uint64_t{0x4041A1D785686A66});
  h.nSolidNinniColor = 10;
  h.SolidColor = 0xC0C0C0;
  h.dMojiSizeX = 3.0;
  h.dMojiSizeY = 3.0;
  h.dMojiKankaku = 0.5;
  h.nMojiColor = 2;
  h.nMojiShu = 3;
  h.adMojiKijunZureX0 = -1.0;
  h.adMojiKijunZureY0 = -1.0;
  h.adMojiKijunZureY2 = 1.0;

  // assign() replaces every entry, so earlier names and values never survive.
  EntLgrp.assign(16, {});
  for (int g = 0; g < 16; ++g) {
    EntLgrp[g].anGLay = g == 0 ? 3 : 2;
    EntLgrp[g].adScale = 1.0;
  }
  EntLay.assign(256, {});
  for (int i = 0; i < 256; ++i) EntLay[i].aanLay = i % 16 == 0 ? 3 : 2;

  EntCol.assign(10, {});
  for (int i = 0; i < 10; ++i) {
    const auto& p = kPens[i];
    EntCol[i] = {p.color, p.width, p.prtColor, p.prtWidth, p.prtRadius};
  }
  EntLtp1.assign(8, {});
  for (int i = 0; i < 8; ++i) EntLtp1[i] = {Pattern(kLtp1[i].pattern), kLtp1[i].unitDot, 1, 10};
  EntLtp2.assign(5, {});
  for (int i = 0; i < 5; ++i) {
    const auto& r = kLtp2[i];
    EntLtp2[i] = {Pattern(0xCCB2B32A), r.wide, r.pitch, r.prtWide, r.prtPitch};
  }
  EntLtp3.assign(4, {});
  for (int i = 0; i < 4; ++i) EntLtp3[i] = {Pattern(kLtp3[i].pattern), 32, kLtp3[i].pitch, kLtp3[i].prtPitch};
  EntMoj.assign(10, {});
  for (int t = 0; t < 10; ++t) EntMoj[t] = {kMoji[t].size, kMoji[t].size, kMoji[t].spacing, kMoji[t].color};

  EntColS.assign(257, {});
  for (int i = 0; i < 257; ++i) {
    auto& c = EntColS[i];
    c.anPenWidth = 18;
    c.anPrtPenWidth = 18;
    c.adPrtTenHankei = 0.18;
    if (i < 17) {
      c.astrUDColorName = kColorsEx[i].name;
      c.aPenColor = kColorsEx[i].color;
      c.aPrtPenColor = i == 0 ? 400 : kColorsEx[i].color;
    } else {
      c.astrUDColorName = Numbered(u"Color_", i);
      c.aPenColor = 0xC0C0C0;
      c.aPrtPenColor = 0xC0C0C0;
    }
  }
  EntLtpS.assign(33, {});
  for (int i = 0; i < 33; ++i) {
    auto& t = EntLtpS[i];
    t.anTokushuSenPich = 1;
    if (i < 17) {
      const auto& e = kLtpEx[i];
      t.astrUDLTypeName = e.name;
      t.alLType = Pattern(e.pattern);
      t.anTokushuSenUintDot = e.unitDot;
      t.anPrtTokushuSenPich = e.prtPitch;
      t.anUDLTypeSegment = e.segments;
      for (int k = 0; k < 10; ++k) t.aadUDLTypePitch[k] = e.pitches[k];
    } else {
      t.astrUDLTypeName = Numbered(u"LType_", i);
      t.alLType = Pattern(0xC3C3C3C3);
      t.anTokushuSenUintDot = 8;
      t.anPrtTokushuSenPich = 48;
      t.anUDLTypeSegment = 2;
      t.aadUDLTypePitch[0] = 6;
      t.aadUDLTypePitch[1] = 6;
    }
  }
}

}  // namespace jww
