// The JWW header as it lies on file, written down once and driven in both directions.
//
// HeaderRows walks rows 3..44 of the header (everything after "JwwData." and the version) in file
// order, with each row's version condition inline. The IO policy moves the values:
//   io.Num(v)              a 4-byte Integer or 8-byte Double, as the field's type says
//   io.Num(v, fix)         the same; a writer writes fix(v) instead of v (its clamps)
//   io.Str(v, kind)        a length-prefixed string (kind says how it is read or cleaned)
//   io.Reserved(n, fill)   n reserved bytes: skipped by a reader, written as `fill` by a writer
//   FixedRun(io, fields)   fields(io): a run of fixed-width fields with no string between them,
//                          which a policy that defines Fixed(fields) may move at once
// A reader's derivations follow the run of the field they derive from under
// `if constexpr (IO::kReading)`, and the writer's whole-row rules come in through the hooks named
// where they are used. A reader instantiates it with a mutable document, a writer with a const one.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"
#include "jww/stream.h"

namespace jww {

enum class StrKind {
  kMemo,  ///< line breaks kept on reading; written as held
  kName,  ///< control characters dropped on reading; DelMarkChar on writing
};

namespace header_fix {

inline Integer Color24(Integer v) { return (v < 0 || v > 0xFFFFFF) ? 0 : v; }
inline Integer Clamp(Integer v, Integer lo, Integer hi) { return std::clamp(v, lo, hi); }
inline Double PrtTenHankei(Double v) {
  if (!(v >= 0.1)) return 0.1;
  return v > 10.0 ? 10.0 : v;
}
/// Absolute value kept within 1e-10 .. 1e10 (NaN becomes 1e-10).
inline Double MojiSize(Double v) {
  v = std::fabs(v);
  if (!(v >= 1e-10)) return 1e-10;
  return v > 1e10 ? 1e10 : v;
}
/// A text size that is not finite reads as 3.0, a spacing as 0.
inline void FiniteSize(Double& v) {
  if (!std::isfinite(v)) v = 3.0;
}
inline void FiniteSpacing(Double& v) {
  if (!std::isfinite(v)) v = 0.0;
}

/// Decodes nMaxDrawWid into bSenHaba100 and nMaxDrawWidBak.
inline void DecodeMaxDrawWid(TEntJwwHeader& h) {
  const Integer v = h.nMaxDrawWid;
  h.bSenHaba100 = false;
  h.nMaxDrawWidBak = v;
  if (v > -101) return;
  h.bSenHaba100 = true;
  if (v >= -200) h.nMaxDrawWidBak = -100;
  else if (v >= -300) h.nMaxDrawWidBak = -v - 200;
  else if (v >= -400) h.nMaxDrawWidBak = -100;
  else if (v >= -500) h.nMaxDrawWidBak = v + 400;
  else h.nMaxDrawWidBak = -100;
}

}  // namespace header_fix

/// Moves a run of fixed-width fields: `fields` takes the policy as its argument (`auto& io`) and
/// moves each field through it. A policy that knows how many bytes are left may take the whole
/// run after one bounds check (Fixed); every other moves the fields one by one.
template <class IO, class Fields>
void FixedRun(IO& io, Fields&& fields) {
  if constexpr (requires { io.Fixed(fields); }) io.Fixed(fields);
  else fields(io);
}

/// Rows 3..44 of the header for format version `ver`. `Doc` is TJwwData or const TJwwData.
template <class IO, class Doc>
void HeaderRows(IO& io, Doc& d, Integer ver) {
  using namespace header_fix;
  auto& h = d.Enthd;

  // Inside a run, `io` is the policy the run hands over (the lambda's parameter).
  io.Str(h.strMemo, StrKind::kMemo);  // row 3
  FixedRun(io, [&](auto& io) {
    io.Num(h.nZumen);                    // row 4
    io.Num(h.nWriteGLay);                // row 5
    for (int g = 0; g < 16; ++g) {       // row 6
      auto& lg = d.EntLgrp[g];
      io.Num(lg.anGLay);
      io.Num(lg.anWriteLay);
      io.Num(lg.adScale);
      io.Num(lg.anGLayProtect);
      for (int l = 0; l < 16; ++l) {
        auto& lay = d.EntLay[g * 16 + l];
        io.Num(lay.aanLay);
        io.Num(lay.aanLayProtect);
      }
    }
    io.Reserved(56, 0x20);  // row 7
    io.Num(h.lnSunpou1);     // row 8
    io.Num(h.lnSunpou2);
    io.Num(h.lnSunpou3);
    io.Num(h.lnSunpou4);
    io.Num(h.lnSunpou5);
    io.Reserved(4, 0x00);  // row 9
    // row 10: values below -101 mean nothing to versions up to 420.
    io.Num(h.nMaxDrawWid, [ver](Integer v) { return (ver <= 420 && v < -101) ? -101 : v; });
    io.Num(h.DPPrtGenten_x);  // row 11
    io.Num(h.DPPrtGenten_y);
    io.Num(h.dPrtBairitsu);
    io.Num(h.nPrtSet);  // row 12
    io.Num(h.nMemoriMode);
    io.Num(h.dMemoriHyoujiMin);  // row 13
    io.Num(h.dMemoriX);
    io.Num(h.dMemoriY);
    io.Num(h.DpMemoriKjTen_x);
    io.Num(h.DpMemoriKjTen_y);
  });
  if constexpr (IO::kReading) DecodeMaxDrawWid(h);
  for (int i = 0; i < 256; ++i) io.Str(d.EntLay[i].aStrLayName, StrKind::kName);   // row 14
  for (int g = 0; g < 16; ++g) io.Str(d.EntLgrp[g].aStrGLayName, StrKind::kName);  // row 15
  FixedRun(io, [&](auto& io) {
    io.Num(h.dKageLevel);  // row 16
    io.Num(h.dKageIdo);
    io.Num(h.nKage9_15JiFlg);  // row 17
    io.Num(h.dKabeKageLevel);  // row 18
    if (ver >= 300) {           // row 19
      io.Num(h.dTenkuuZuLevel);
      io.Num(h.dTenkuuZuEnkoR);
    }
    io.Num(h.nMMTani3D);  // row 20
    io.Num(h.dBairitsu);  // row 21
    io.Num(h.DPGenten_x);
    io.Num(h.DPGenten_y);
    io.Num(h.dHanniBairitsu);
    io.Num(h.DPHanniGenten_x);
    io.Num(h.DPHanniGenten_y);
    if (ver > 230) {
      for (int n = 0; n < 8; ++n) {  // row 22a
        io.Num(h.dZoomJumpBairitsu[n]);
        io.Num(h.DPZoomJumpGenten_x[n]);
        io.Num(h.DPZoomJumpGenten_y[n]);
        io.Num(h.nZoomJumpGLay[n]);
      }
      io.Num(h.dDm11);  // row 22b
      io.Num(h.dDm12);
      io.Num(h.dDm13);
      io.Num(h.lnDm1);
      io.Num(h.dDm21);
      io.Num(h.dDm22);
      io.Num(h.dMojiBG);
      io.Num(h.nMojiBG);
    } else {
      for (int n = 0; n < 4; ++n) {  // row 22c
        io.Num(h.dZoomJumpBairitsu[n]);
        io.Num(h.DPZoomJumpGenten_x[n]);
        io.Num(h.DPZoomJumpGenten_y[n]);
      }
    }
    for (int i = 0; i < 10; ++i) io.Num(h.adFukusenSuuchi[i]);  // row 23
    io.Num(h.dRyougawaFukusenTomeDe);                            // row 24
    for (int i = 0; i < 10; ++i) {                               // row 25
      io.Num(d.EntCol[i].aPenColor, Color24);
      io.Num(d.EntCol[i].anPenWidth, [](Integer v) { return Clamp(v, 1, 16); });
    }
    for (int i = 0; i < 10; ++i) {  // row 26; pen 0 always prints white
      io.Num(d.EntCol[i].aPrtPenColor, [i](Integer v) { return i == 0 ? 0xFFFFFF : Color24(v); });
      io.Num(d.EntCol[i].anPrtPenWidth, [](Integer v) { return Clamp(v, 1, 500); });
      io.Num(d.EntCol[i].adPrtTenHankei, PrtTenHankei);
    }
    for (int i = 0; i < 8; ++i) {  // row 27
      auto& t = d.EntLtp1[i];
      io.Num(t.alLType);
      io.Num(t.anTokushuSenUintDot);
      io.Num(t.anTokushuSenPich);
      io.Num(t.anPrtTokushuSenPich);
    }
    for (int i = 0; i < 5; ++i) {  // row 28
      auto& t = d.EntLtp2[i];
      io.Num(t.alLType);
      io.Num(t.anRandSenWide);
      io.Num(t.anTokushuSenPich);
      io.Num(t.anPrtRandSenWide);
      io.Num(t.anPrtTokushuSenPich);
    }
    for (int i = 0; i < 4; ++i) {  // row 29
      auto& t = d.EntLtp3[i];
      io.Num(t.alLType);
      io.Num(t.anTokushuSenUintDot);
      io.Num(t.anTokushuSenPich);
      io.Num(t.anPrtTokushuSenPich);
    }
    io.Num(h.nDrawGamenTen);  // row 30
    io.Num(h.nDrawPrtTen);
    io.Num(h.nBitMapFirstDraw);
    io.Num(h.nGyakuDraw);
    io.Num(h.nGyakuSearch);
    io.Num(h.nColorPrint);
    io.Num(h.nLayJunPrint);
    io.Num(h.nColJunPrint);
    io.Num(h.nPrtRenzoku);
    io.Num(h.nPrtKyoutsuuGray);
    io.PrintValue(h, ver);  // row 31
    if (ver >= 223) {       // row 32
      io.Num(h.lnDrawTime);
      io.Num(h.nEyeInit);
      io.Num(h.dEye_H_Ichi_1);
      io.Num(h.dEye_H_Ichi_2);
      io.Num(h.dEye_H_Ichi_3);
      io.Num(h.dEye_Z_Ichi_1);
      io.Num(h.dEye_Y_Ichi_1);
      io.Num(h.dEye_Z_Ichi_2);
      io.Num(h.dEye_Y_Ichi_2);
      io.Num(h.dEye_V_Ichi_3);
    }
    if (ver >= 225) {  // row 33
      io.Num(h.dSenNagasaSnpou);
      io.Num(h.dBoxSunpouX);
      io.Num(h.dBoxSunpouY);
      io.Num(h.dEnHankeiSnpou);
    }
    if (ver >= 230) {  // row 34
      io.Num(h.nSolidNinniColor);
      io.Num(h.SolidColor);
    }
  });
  if (ver >= 420) {
    FixedRun(io, [&](auto& io) {
      for (int i = 0; i < 257; ++i) {  // row 35
        io.Num(d.EntColS[i].aPenColor);
        io.Num(d.EntColS[i].anPenWidth);
      }
    });
    for (int i = 0; i < 257; ++i) io.ColorExPass2(d.EntColS[i], i);  // row 36
    FixedRun(io, [&](auto& io) {
      for (int i = 0; i < 33; ++i) io.LineTypeExPass1(d.EntLtpS[i], i);  // row 37
    });
    for (int i = 0; i < 33; ++i) io.LineTypeExPass2(d.EntLtpS[i], i);  // row 38
  }
  FixedRun(io, [&](auto& io) {
    for (int t = 0; t < 10; ++t) {  // row 39
      auto& m = d.EntMoj[t];
      io.Num(m.adMojiX, MojiSize);
      io.Num(m.adMojiY, MojiSize);
      io.Num(m.adMojiD);
      io.Num(m.anMojiCol);
    }
    io.Num(h.dMojiSizeX, MojiSize);  // row 40
    io.Num(h.dMojiSizeY, MojiSize);
    io.Num(h.dMojiKankaku);
  });
  if constexpr (IO::kReading) {
    for (auto& m : d.EntMoj) {
      FiniteSize(m.adMojiX);
      FiniteSize(m.adMojiY);
      FiniteSpacing(m.adMojiD);
    }
    FiniteSize(h.dMojiSizeX);
    FiniteSize(h.dMojiSizeY);
    FiniteSpacing(h.dMojiKankaku);
  }
  FixedRun(io, [&](auto& io) {
    io.Num(h.nMojiColor);  // row 41
    io.Num(h.nMojiShu);
    io.Num(h.dMojiSeiriGyouKan);  // row 42
    io.Num(h.dMojiSeiriSuu);
    io.Num(h.nMojiKijunZureOn);  // row 43
    io.Num(h.adMojiKijunZureX0);  // row 44
    io.Num(h.adMojiKijunZureX1);
    io.Num(h.adMojiKijunZureX2);
    io.Num(h.adMojiKijunZureY0);
    io.Num(h.adMojiKijunZureY1);
    io.LastNum(h.adMojiKijunZureY2);  // a reader fails here when the file ended earlier
  });
}

/// The extended colour and line-type entries as a reading policy takes them, field by field
/// through the policy's own Num and Str.
template <class IO>
class HeaderTableReadHooks {
 public:
  void ColorExPass2(TEntJwwColorExNo& c, int) {
    IO& io = Self();
    io.Str(c.astrUDColorName, StrKind::kName);
    io.Num(c.aPrtPenColor);
    io.Num(c.anPrtPenWidth);
    io.Num(c.adPrtTenHankei);
  }
  void LineTypeExPass1(TEntJwwLineTypeExNo& t, int) {
    IO& io = Self();
    io.Num(t.alLType);
    io.Num(t.anTokushuSenUintDot);
    io.Num(t.anTokushuSenPich);
    io.Num(t.anPrtTokushuSenPich);
  }
  void LineTypeExPass2(TEntJwwLineTypeExNo& t, int) {
    IO& io = Self();
    io.Str(t.astrUDLTypeName, StrKind::kName);
    io.Num(t.anUDLTypeSegment);
    for (auto& p : t.aadUDLTypePitch) io.Num(p);
  }

 private:
  IO& Self() { return static_cast<IO&>(*this); }
};

/// Reading side of HeaderRows: unchecked reads, as the format's header reader has always done,
/// except for the very last field.
class HeaderReadIO : public HeaderTableReadHooks<HeaderReadIO> {
 public:
  static constexpr bool kReading = true;
  explicit HeaderReadIO(InStream& s) : s_(s) {}

  template <class T>
  void Num(T& v) {
    s_.ReadValue(v);
  }
  template <class T, class Fix>
  void Num(T& v, Fix&&) {
    s_.ReadValue(v);
  }
  void LastNum(Double& v) {
    if (s_.ReadValue(v) == 0) throw TJwwIOError(kIOError);
  }
  void Str(string& v, StrKind kind) {
    v = kind == StrKind::kMemo ? TJwwData::StrIn(s_) : TJwwData::StrInNoCtrl(s_);
  }
  void Reserved(size_t n, uint8_t) { s_.Skip(n); }
  void PrintValue(TEntJwwHeader& h, Integer) {
    Integer p = 0;
    s_.ReadValue(p);
    h.nPrtDpi = p / 10;  // C++ division truncates toward zero, as the format wants
    h.nPrtDispOnlyNonDraw = p % 10;
  }

 private:
  InStream& s_;
};

}  // namespace jww
