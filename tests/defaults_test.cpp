// The settings of a new drawing.
#include <gtest/gtest.h>

#include <bit>

#include "jww/header_io.h"
#include "tests/jww_bytes.h"

using jww::TJwwData;

namespace {

// A header read from a file whose every value differs from the defaults.
TJwwData ReadOddHeader(const jwwtest::TempDir& dir) {
  TJwwData src;
  jwwtest::Bytes::SizeTables(src);
  src.Enthd.strMemo = u"memo";
  src.Enthd.nZumen = 4;
  src.Enthd.nMaxDrawWid = -450;
  src.Enthd.dMojiSizeX = 7;
  src.Enthd.nMojiShu = 9;
  src.Enthd.nPrtDispOnlyNonDraw = 2;
  src.EntLay[17].aStrLayName = u"wall";
  src.EntLgrp[3].aStrGLayName = u"plan";
  src.EntLgrp[3].adScale = 50;
  src.EntCol[4].anPenWidth = 9;
  src.EntColS[200].astrUDColorName = u"mine";
  src.EntLtpS[20].anUDLTypeSegment = 6;
  src.EntMoj[2].adMojiX = 8;
  auto path = jwwtest::Bytes().Header(src, 700).WriteTo(dir.path("odd.jww"));
  TJwwData d;
  EXPECT_TRUE(d.FileHeaderIn(path));
  return d;
}

}  // namespace

TEST(DataDefaultSet, ReplacesAHeaderReadFromFileButKeepsTheBookkeepingCounts) {
  jwwtest::TempDir dir;
  TJwwData d = ReadOddHeader(dir);
  d.Enthd.n1 = 12;
  d.Enthd.n2 = 3;
  d.EntLineN = 1;
  d.EntLine.resize(1);
  d.FileOutOpt = 9;

  d.DataDefaultSet();

  const auto& h = d.Enthd;
  EXPECT_EQ(h.n1, 12);
  EXPECT_EQ(h.n2, 3);
  EXPECT_EQ(d.EntLineN, 1);  // entities and options are not the header's
  EXPECT_EQ(d.FileOutOpt, 9);
  EXPECT_EQ(h.jwID, u"JwwData.");
  EXPECT_EQ(h.jwVer, 600);
  EXPECT_EQ(h.strMemo, u"");
  EXPECT_EQ(h.nZumen, 0);
  EXPECT_EQ(h.nPrtDispOnlyNonDraw, 0);
  EXPECT_EQ(h.lnSunpou1, 2001112);
  EXPECT_EQ(h.lnSunpou3, 50150030);
  EXPECT_EQ(h.nPrtDpi, 1);
  EXPECT_EQ(h.dEye_H_Ichi_2, -4500);
  EXPECT_EQ(std::bit_cast<uint64_t>(h.dEye_V_Ichi_3), 0x4041A1D785686A66u);
  EXPECT_EQ(h.adFukusenSuuchi[0], 50.0);
  EXPECT_EQ(h.adFukusenSuuchi[9], 500.0);
  EXPECT_EQ(h.nZoomJumpGLay[7], -1);
  EXPECT_EQ(h.adMojiKijunZureX0, -1.0);
  EXPECT_EQ(h.adMojiKijunZureY1, 0.0);
  EXPECT_EQ(h.adMojiKijunZureY2, 1.0);
  EXPECT_EQ(h.SolidColor, 0xC0C0C0);

  EXPECT_EQ(d.EntLay[17].aStrLayName, u"");
  EXPECT_EQ(d.EntLgrp[3].aStrGLayName, u"");
  EXPECT_EQ(d.EntLgrp[3].adScale, 1.0);
  EXPECT_EQ(d.EntLgrp[0].anGLay, 3);
  EXPECT_EQ(d.EntLgrp[1].anGLay, 2);
  EXPECT_EQ(d.EntLay[32].aanLay, 3);
  EXPECT_EQ(d.EntLay[33].aanLay, 2);
  EXPECT_EQ(d.EntCol[4].anPenWidth, 1);
  EXPECT_EQ(d.EntColS[200].astrUDColorName, u"Color_200");
  EXPECT_EQ(d.EntLtpS[20].anUDLTypeSegment, 2);
}

TEST(DataDefaultSet, TablesHaveTheirStandardLengthsAndNamedEntries) {
  TJwwData d;
  d.DataDefaultSet();
  EXPECT_EQ(d.EntLgrp.size(), 16u);
  EXPECT_EQ(d.EntLay.size(), 256u);
  EXPECT_EQ(d.EntCol.size(), 10u);
  EXPECT_EQ(d.EntLtp1.size(), 8u);
  EXPECT_EQ(d.EntLtp2.size(), 5u);
  EXPECT_EQ(d.EntLtp3.size(), 4u);
  EXPECT_EQ(d.EntColS.size(), 257u);
  EXPECT_EQ(d.EntLtpS.size(), 33u);
  EXPECT_EQ(d.EntMoj.size(), 10u);

  // Pen 8 and the grey pen 9 prints differently from how it shows.
  EXPECT_EQ(d.EntCol[8].aPenColor, 0x8000FF);
  EXPECT_EQ(d.EntCol[8].aPrtPenColor, 0x0000FF);
  EXPECT_EQ(d.EntCol[8].anPrtPenWidth, 68);
  EXPECT_EQ(d.EntCol[9].aPrtPenColor, 0x808080);
  EXPECT_EQ(static_cast<uint32_t>(d.EntLtp1[3].alLType), 0xF99FF99Fu);
  EXPECT_EQ(d.EntLtp1[3].anPrtTokushuSenPich, 10);
  EXPECT_EQ(static_cast<uint32_t>(d.EntLtp2[4].alLType), 0xCCB2B32Au);
  EXPECT_EQ(d.EntLtp2[4].anPrtTokushuSenPich, 25);
  EXPECT_EQ(d.EntLtp3[3].anPrtTokushuSenPich, 40);

  EXPECT_EQ(d.EntColS[0].astrUDColorName, u"Color_0");
  EXPECT_EQ(d.EntColS[0].aPrtPenColor, 400);
  EXPECT_EQ(d.EntColS[2].astrUDColorName, u"red");
  EXPECT_EQ(d.EntColS[2].aPenColor, 0x0000FF);
  EXPECT_EQ(d.EntColS[2].aPrtPenColor, 0x0000FF);
  EXPECT_EQ(d.EntColS[16].astrUDColorName, u"darkgray");
  EXPECT_EQ(d.EntColS[200].aPenColor, 0xC0C0C0);
  EXPECT_EQ(d.EntColS[256].astrUDColorName, u"Color_256");
  EXPECT_EQ(d.EntColS[256].adPrtTenHankei, 0.18);

  EXPECT_EQ(d.EntLtpS[0].astrUDLTypeName, u"Ltype_0");
  const auto& lt15 = d.EntLtpS[15];
  EXPECT_EQ(lt15.astrUDLTypeName, u"double-dashed triplicate-dotted");
  EXPECT_EQ(lt15.anUDLTypeSegment, 10);
  EXPECT_EQ(lt15.aadUDLTypePitch[9], 1.5);
  EXPECT_EQ(d.EntLtpS[16].astrUDLTypeName, u"undefined");
  const auto& lt32 = d.EntLtpS[32];
  EXPECT_EQ(lt32.astrUDLTypeName, u"LType_32");
  EXPECT_EQ(static_cast<uint32_t>(lt32.alLType), 0xC3C3C3C3u);
  EXPECT_EQ(lt32.anPrtTokushuSenPich, 48);
  EXPECT_EQ(lt32.aadUDLTypePitch[1], 6.0);
  EXPECT_EQ(lt32.aadUDLTypePitch[2], 0.0);
}

TEST(DataDefaultSet, FreeTextSettingsMatchTextTypeThreeAndTheLineWidthDecodes) {
  TJwwData d;
  d.DataDefaultSet();
  const auto& h = d.Enthd;
  const auto& t = d.EntMoj[h.nMojiShu - 1];
  EXPECT_EQ(t.adMojiX, h.dMojiSizeX);
  EXPECT_EQ(t.adMojiY, h.dMojiSizeY);
  EXPECT_EQ(t.adMojiD, h.dMojiKankaku);

  jww::TEntJwwHeader decoded = h;
  jww::header_fix::DecodeMaxDrawWid(decoded);
  EXPECT_EQ(decoded.bSenHaba100, h.bSenHaba100);
  EXPECT_EQ(decoded.nMaxDrawWidBak, h.nMaxDrawWidBak);
}
