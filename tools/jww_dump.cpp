// jww dump: the whole document as JSON, stable enough to diff two drawings. Keys are the model's
// own names in the model's order; doubles are printed so that they read back exactly (non-finite
// values as the strings "NaN", "Infinity", "-Infinity"); text is UTF-8.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "common/codepage.h"
#include "tools/jww_commands.h"

namespace jwwtool {

namespace {

using Json = nlohmann::ordered_json;
using namespace jww;

Json V(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  return v;
}
Json V(int32_t v) { return v; }
Json V(uint32_t v) { return v; }
Json V(uint16_t v) { return v; }
Json V(uint8_t v) { return v; }
Json V(bool v) { return v; }
Json V(const std::u16string& s) { return StrToUtf8(s); }
Json V(const TBlockName& s) { return StrToUtf8(s.str()); }
template <class T, size_t N>
Json V(const std::array<T, N>& a) {
  Json j = Json::array();
  for (const T& v : a) j.push_back(V(v));
  return j;
}

#define F(obj, field) j[#field] = V(obj.field)

Json V(const TEntJwwAttr& a) {
  Json j;
  F(a, lGroup); F(a, nPenStyle); F(a, nPenColor); F(a, nPenWidth); F(a, nLayer); F(a, nGLayer);
  F(a, sFlg);
  return j;
}
Json V(const TEntJwwLine& e) {
  Json j;
  F(e, att); F(e, start_x); F(e, start_y); F(e, end_x); F(e, end_y);
  return j;
}
Json V(const TEntJwwEnko& e) {
  Json j;
  F(e, att); F(e, start_x); F(e, start_y); F(e, dHankei); F(e, radKaishiKaku); F(e, radEnkoKaku);
  F(e, radKatamukiKaku); F(e, dHenpeiRitsu); F(e, bZenEnFlg);
  return j;
}
Json V(const TEntJwwTen& e) {
  Json j;
  F(e, att); F(e, start_x); F(e, start_y); F(e, bKariten); F(e, nCode); F(e, radKaitenKaku);
  F(e, dBairitsu);
  return j;
}
Json V(const TEntJwwMoji& e) {
  Json j;
  F(e, att); F(e, start_x); F(e, start_y); F(e, end_x); F(e, end_y); F(e, nMojiShu); F(e, dSizeX);
  F(e, dSizeY); F(e, dKankaku); F(e, degKakudo); F(e, strFontName); F(e, str);
  return j;
}
Json V(const TEntJwwSunpo& e) {
  Json j;
  F(e, att); F(e, Sen); F(e, Moji); F(e, bSxfMode); F(e, Ho1); F(e, Ho2); F(e, Te1); F(e, Te2);
  F(e, Kt1); F(e, Kt2);
  return j;
}
Json V(const TEntJwwSolid& e) {
  Json j;
  F(e, att); F(e, start_x); F(e, start_y); F(e, end_x); F(e, end_y); F(e, DPoint2_x);
  F(e, DPoint2_y); F(e, DPoint3_x); F(e, DPoint3_y); F(e, Color);
  return j;
}
Json V(const TEntJwwBlock& e) {
  Json j;
  F(e, att); F(e, DPKijunTen_x); F(e, DPKijunTen_y); F(e, dBairitsuX); F(e, dBairitsuY);
  F(e, radKaitenKaku); F(e, nNumber);
  return j;
}
Json V(const TEntJwwNo& e) {
  Json j;
  F(e, EntType); F(e, EntNo);
  return j;
}
Json V(const TEntJwwLayerGroup& e) {
  Json j;
  F(e, anGLay); F(e, anWriteLay); F(e, adScale); F(e, anGLayProtect); F(e, aStrGLayName);
  return j;
}
Json V(const TEntJwwLayer& e) {
  Json j;
  F(e, aanLay); F(e, aanLayProtect); F(e, aStrLayName);
  return j;
}
Json V(const TEntJwwColorNo& e) {
  Json j;
  F(e, aPenColor); F(e, anPenWidth); F(e, aPrtPenColor); F(e, anPrtPenWidth); F(e, adPrtTenHankei);
  return j;
}
Json V(const TEntJwwLineTypeNo& e) {
  Json j;
  F(e, alLType); F(e, anTokushuSenUintDot); F(e, anTokushuSenPich); F(e, anPrtTokushuSenPich);
  return j;
}
Json V(const TEntJwwRandomLineNo& e) {
  Json j;
  F(e, alLType); F(e, anRandSenWide); F(e, anTokushuSenPich); F(e, anPrtRandSenWide);
  F(e, anPrtTokushuSenPich);
  return j;
}
Json V(const TEntJwwColorExNo& e) {
  Json j;
  F(e, aPenColor); F(e, anPenWidth); F(e, astrUDColorName); F(e, aPrtPenColor); F(e, anPrtPenWidth);
  F(e, adPrtTenHankei);
  return j;
}
Json V(const TEntJwwLineTypeExNo& e) {
  Json j;
  F(e, alLType); F(e, anTokushuSenUintDot); F(e, anTokushuSenPich); F(e, anPrtTokushuSenPich);
  F(e, astrUDLTypeName); F(e, anUDLTypeSegment); F(e, aadUDLTypePitch);
  return j;
}
Json V(const TEntJwwMojiType& e) {
  Json j;
  F(e, adMojiX); F(e, adMojiY); F(e, adMojiD); F(e, anMojiCol);
  return j;
}
Json V(const TEntJwwBlockTree& e) {
  Json j;
  F(e, att); F(e, level); F(e, parent); F(e, no); F(e, defno); F(e, name); F(e, x); F(e, y);
  F(e, r1); F(e, r2); F(e, r3); F(e, r4);
  return j;
}
Json V(const TBindImageType& e) {
  Json j;
  F(e, Fname); F(e, Fsize); F(e, exf);
  return j;
}

Json V(const TEntJwwBlockDef& e);

/// The first `n` entries of a list (its valid part).
template <class T>
Json List(const std::vector<T>& v, int32_t n) {
  Json j = Json::array();
  const size_t count = std::min(v.size(), static_cast<size_t>(std::max(n, 0)));
  for (size_t i = 0; i < count; ++i) j.push_back(V(v[i]));
  return j;
}
template <class T>
Json List(const std::vector<T>& v) {
  return List(v, static_cast<int32_t>(v.size()));
}

Json V(const TEntJwwBlockDef& e) {
  Json j;
  F(e, att); F(e, nNumber); F(e, bRefferd); F(e, dtime); F(e, strName); F(e, N);
  j["mNo"] = List(e.mNo, e.N);
#define L(name)                          \
  j[#name] = List(e.name, e.name##N); \
  j[#name "N"] = e.name##N
  L(mLine); L(mEnko); L(mTen); L(mMoji); L(mSunpo); L(mSolid); L(mBlock);
#undef L
  F(e, ref_flag); F(e, ref_no);
  return j;
}

Json V(const TEntJwwHeader& h) {
  Json j;
  F(h, jwID); F(h, jwVer); F(h, strMemo); F(h, nZumen); F(h, nWriteGLay); F(h, lnSunpou1);
  F(h, lnSunpou2); F(h, lnSunpou3); F(h, lnSunpou4); F(h, lnSunpou5); F(h, nMaxDrawWid);
  F(h, bSenHaba100); F(h, nMaxDrawWidBak); F(h, DPPrtGenten_x); F(h, DPPrtGenten_y);
  F(h, dPrtBairitsu); F(h, nPrtSet); F(h, nMemoriMode); F(h, dMemoriHyoujiMin); F(h, dMemoriX);
  F(h, dMemoriY); F(h, DpMemoriKjTen_x); F(h, DpMemoriKjTen_y); F(h, dKageLevel); F(h, dKageIdo);
  F(h, nKage9_15JiFlg); F(h, dKabeKageLevel); F(h, dTenkuuZuLevel); F(h, dTenkuuZuEnkoR);
  F(h, nMMTani3D); F(h, dBairitsu); F(h, DPGenten_x); F(h, DPGenten_y); F(h, dHanniBairitsu);
  F(h, DPHanniGenten_x); F(h, DPHanniGenten_y); F(h, dZoomJumpBairitsu); F(h, DPZoomJumpGenten_x);
  F(h, DPZoomJumpGenten_y); F(h, nZoomJumpGLay); F(h, dDm11); F(h, dDm12); F(h, dDm13); F(h, lnDm1);
  F(h, dDm21); F(h, dDm22); F(h, dMojiBG); F(h, nMojiBG); F(h, adFukusenSuuchi);
  F(h, dRyougawaFukusenTomeDe); F(h, nDrawGamenTen); F(h, nDrawPrtTen); F(h, nBitMapFirstDraw);
  F(h, nGyakuDraw); F(h, nGyakuSearch); F(h, nColorPrint); F(h, nLayJunPrint); F(h, nColJunPrint);
  F(h, nPrtRenzoku); F(h, nPrtKyoutsuuGray); F(h, nPrtDispOnlyNonDraw); F(h, nPrtDpi);
  F(h, lnDrawTime); F(h, nEyeInit); F(h, dEye_H_Ichi_1); F(h, dEye_H_Ichi_2); F(h, dEye_H_Ichi_3);
  F(h, dEye_Z_Ichi_1); F(h, dEye_Y_Ichi_1); F(h, dEye_Z_Ichi_2); F(h, dEye_Y_Ichi_2);
  F(h, dEye_V_Ichi_3); F(h, dSenNagasaSnpou); F(h, dBoxSunpouX); F(h, dBoxSunpouY);
  F(h, dEnHankeiSnpou); F(h, nSolidNinniColor); F(h, SolidColor); F(h, dMojiSizeX);
  F(h, dMojiSizeY); F(h, dMojiKankaku); F(h, nMojiColor); F(h, nMojiShu); F(h, dMojiSeiriGyouKan);
  F(h, dMojiSeiriSuu); F(h, nMojiKijunZureOn); F(h, adMojiKijunZureX0); F(h, adMojiKijunZureX1);
  F(h, adMojiKijunZureX2); F(h, adMojiKijunZureY0); F(h, adMojiKijunZureY1);
  F(h, adMojiKijunZureY2); F(h, n1); F(h, n2);
  return j;
}
#undef F

}  // namespace

int Dump(int argc, char** argv) {
  CLI::App app{"Writes the whole drawing as JSON (UTF-8) to standard output."};
  std::string file;
  std::optional<int> budget;
  int indent = 1;
  app.add_option("drawing", file, "The drawing (.jww)")->required();
  app.add_option("--budget", budget, "Read through the bounded preview with this item budget");
  app.add_option("--indent", indent, "Spaces per level; -1 for one line")->capture_default_str();
  bool tree = false;
  app.add_flag("--tree", tree,
               "Also write the derived block tree EntBlockTree (one entry per placed block, which "
               "can be far more than the drawing holds)");
  if (int status; !ParseOptions(app, argc, argv, status)) return status;

  TJwwData d;
  d.BindImageExr = true;  // list the images, write none
  if (!ReadDrawing(d, file, budget)) return 1;

  Json j;
  j["Enthd"] = V(d.Enthd);
  j["EntLgrp"] = List(d.EntLgrp);
  j["EntLay"] = List(d.EntLay);
  j["EntCol"] = List(d.EntCol);
  j["EntLtp1"] = List(d.EntLtp1);
  j["EntLtp2"] = List(d.EntLtp2);
  j["EntLtp3"] = List(d.EntLtp3);
  j["EntColS"] = List(d.EntColS);
  j["EntLtpS"] = List(d.EntLtpS);
  j["EntMoj"] = List(d.EntMoj);
  j["EntNo"] = List(d.EntNo, d.Enthd.n1);
#define L(name)                       \
  j[#name] = List(d.name, d.name##N); \
  j[#name "N"] = d.name##N
  L(EntLine); L(EntEnko); L(EntTen); L(EntMoji); L(EntSunpo); L(EntSolid); L(EntBlock);
  L(EntBlockDef);
#undef L
  if (tree) j["EntBlockTree"] = List(d.EntBlockTree, d.EntBlockTreeN);
  j["EntBlockTreeN"] = d.EntBlockTreeN;
  j["EntBlockNum"] = d.EntBlockNum;
  j["BindImage"] = List(d.BindImage, d.BindImageN);
  j["BindImageN"] = d.BindImageN;
  std::cout << j.dump(indent, ' ', false, Json::error_handler_t::replace) << '\n';
  return std::cout.good() ? 0 : 1;
}

}  // namespace jwwtool
