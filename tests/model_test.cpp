// The document's lifecycle: initial values, what a reset keeps and what it clears.
#include <gtest/gtest.h>

#include "jww/JwwUnit.h"

TEST(Model, NewDocument) {
  jww::TJwwData d;
  const auto& h = d.Enthd;
  EXPECT_TRUE(d.EntLgrp.empty());
  EXPECT_TRUE(d.EntLay.empty());
  EXPECT_TRUE(d.EntColS.empty());
  EXPECT_EQ(h.jwVer, 0);
  for (double v : {h.dPrtBairitsu, h.dMemoriHyoujiMin, h.dMemoriX, h.dMemoriY, h.dBairitsu,
                   h.dHanniBairitsu})
    EXPECT_EQ(v, 1.0);
  for (int n = 0; n < 8; ++n) {
    EXPECT_EQ(h.dZoomJumpBairitsu[n], 1.0);
    EXPECT_EQ(h.nZoomJumpGLay[n], -1);
    EXPECT_EQ(h.DPZoomJumpGenten_x[n], 0.0);
  }
  EXPECT_EQ(h.nZumen, 0);
  EXPECT_EQ(h.n1, 0);
  EXPECT_EQ(d.defcoljww, 1);
  EXPECT_EQ(d.defltpjww, 1);
  EXPECT_FALSE(d.BindImageExp);
  EXPECT_TRUE(d.BindImageFolder.empty());
}

TEST(Model, ResetKeepsImageOptionsAndClearsTheRest) {
  jww::TJwwData d;
  d.BindImageFolder = u"/tmp/images/";
  d.BindImageExp = true;
  d.BindImageExr = true;
  d.FileOutOpt = 9;
  d.defcoljww = 5;
  d.Enthd.jwVer = 600;
  d.EntBlockDef.resize(2);
  d.EntBlockDef[0].mLine.resize(3);
  d.EntBlockDef[0].mLineN = 3;
  d.EntBlockDefN = 2;
  d.EntLine.resize(1000);
  d.EntLineN = 4;
  d.BindImage.resize(1);
  d.BindImageN = 1;
  d.DataFree();
  EXPECT_EQ(d.FileOutOpt, 0);
  EXPECT_EQ(d.defcoljww, 1);
  EXPECT_EQ(d.Enthd.jwVer, 0);
  EXPECT_TRUE(d.EntBlockDef.empty());
  EXPECT_EQ(d.EntBlockDefN, 0);
  EXPECT_TRUE(d.EntLine.empty());
  EXPECT_EQ(d.EntLineN, 0);
  EXPECT_EQ(d.BindImageN, 0);
  EXPECT_EQ(d.BindImageFolder, u"/tmp/images/");
  EXPECT_TRUE(d.BindImageExp);
  EXPECT_TRUE(d.BindImageExr);
}
