// jww dump: the whole document as JSON, stable enough to diff two drawings. Keys are the model's
// own names in the model's order; doubles are printed so that they read back exactly (non-finite
// values as the strings "NaN", "Infinity", "-Infinity"); text is UTF-8. The JSON is written as
// it is produced, never held whole: a drawing of millions of entities needs only its model and
// a small buffer. Layout and escaping are those of nlohmann's dump() with the same indent, whose
// serializer writes every single value.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/codepage.h"
#include "tools/jww_commands.h"
#include "tools/jww_compare.h"

namespace jwwtool {

namespace {

using Json = nlohmann::ordered_json;
using namespace jww;

/// Writes one JSON document to a file piece by piece, in dump()'s layout: `indent` spaces per
/// level with one member or element per line, or everything on one line for a negative indent.
class Writer {
 public:
  Writer(FILE* out, int indent)
      : out_(out), pretty_(indent >= 0), step_(indent >= 0 ? static_cast<size_t>(indent) : 0),
        values_(nlohmann::detail::output_adapter<char, std::string>(buf_), ' ', Json::error_handler_t::replace) {}

  void Begin(char bracket) {
    Element();
    buf_ += bracket;
    empty_.push_back(true);
  }
  void End(char bracket) {
    const bool empty = empty_.back();
    empty_.pop_back();
    if (!empty && pretty_) {
      buf_ += '\n';
      buf_.append(empty_.size() * step_, ' ');
    }
    buf_ += bracket;
    if (buf_.size() >= kFlushAt) Flush();
  }
  /// A member's name; the value comes next. Names are the model's identifiers (nothing to escape).
  void Key(const char* name) {
    Element();
    buf_ += '"';
    buf_ += name;
    buf_ += pretty_ ? "\": " : "\":";
    keyed_ = true;
  }
  void Value(const Json& v) {
    Element();
    values_.dump(v, false, false, 0);
  }
  void NewLine() { buf_ += '\n'; }
  /// Writes what is buffered; false once any write has failed.
  bool Flush() {
    if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), out_) != buf_.size()) failed_ = true;
    buf_.clear();
    return !failed_;
  }

 private:
  static constexpr size_t kFlushAt = 1 << 16;

  // What goes before a value: nothing after its name; else a separator and the line's indent.
  void Element() {
    if (keyed_) {
      keyed_ = false;
      return;
    }
    if (empty_.empty()) return;
    if (empty_.back()) empty_.back() = false;
    else buf_ += ',';
    if (pretty_) {
      buf_ += '\n';
      buf_.append(empty_.size() * step_, ' ');
    }
  }

  FILE* out_;
  bool pretty_;
  size_t step_;
  std::string buf_;
  nlohmann::detail::serializer<Json> values_;
  std::vector<bool> empty_;  // per open object or array: nothing written in it yet
  bool keyed_ = false;
  bool failed_ = false;
};

void V(Writer& w, double v) {
  if (std::isnan(v)) w.Value("NaN");
  else if (std::isinf(v)) w.Value(v > 0 ? "Infinity" : "-Infinity");
  else w.Value(v);
}
void V(Writer& w, int32_t v) { w.Value(v); }
void V(Writer& w, uint32_t v) { w.Value(v); }
void V(Writer& w, uint16_t v) { w.Value(v); }
void V(Writer& w, uint8_t v) { w.Value(v); }
void V(Writer& w, bool v) { w.Value(v); }
void V(Writer& w, const std::u16string& s) { w.Value(StrToUtf8(s)); }
void V(Writer& w, const TBlockName& s) { w.Value(StrToUtf8(s.str())); }
template <class T, size_t N>
void V(Writer& w, const std::array<T, N>& a) {
  w.Begin('[');
  for (const T& v : a) V(w, v);
  w.End(']');
}

#define F(obj, field) \
  w.Key(#field);        \
  V(w, obj.field)

void V(Writer& w, const TEntJwwAttr& a) {
  w.Begin('{');
  F(a, lGroup); F(a, nPenStyle); F(a, nPenColor); F(a, nPenWidth); F(a, nLayer); F(a, nGLayer);
  F(a, sFlg);
  w.End('}');
}
void V(Writer& w, const TEntJwwLine& e) {
  w.Begin('{');
  F(e, att); F(e, start_x); F(e, start_y); F(e, end_x); F(e, end_y);
  w.End('}');
}
void V(Writer& w, const TEntJwwEnko& e) {
  w.Begin('{');
  F(e, att); F(e, start_x); F(e, start_y); F(e, dHankei); F(e, radKaishiKaku); F(e, radEnkoKaku);
  F(e, radKatamukiKaku); F(e, dHenpeiRitsu); F(e, bZenEnFlg);
  w.End('}');
}
void V(Writer& w, const TEntJwwTen& e) {
  w.Begin('{');
  F(e, att); F(e, start_x); F(e, start_y); F(e, bKariten); F(e, nCode); F(e, radKaitenKaku);
  F(e, dBairitsu);
  w.End('}');
}
void V(Writer& w, const TEntJwwMoji& e) {
  w.Begin('{');
  F(e, att); F(e, start_x); F(e, start_y); F(e, end_x); F(e, end_y); F(e, nMojiShu); F(e, dSizeX);
  F(e, dSizeY); F(e, dKankaku); F(e, degKakudo); F(e, strFontName); F(e, str);
  w.End('}');
}
void V(Writer& w, const TEntJwwSunpo& e) {
  w.Begin('{');
  F(e, att); F(e, Sen); F(e, Moji); F(e, bSxfMode); F(e, Ho1); F(e, Ho2); F(e, Te1); F(e, Te2);
  F(e, Kt1); F(e, Kt2);
  w.End('}');
}
void V(Writer& w, const TEntJwwSolid& e) {
  w.Begin('{');
  F(e, att); F(e, start_x); F(e, start_y); F(e, end_x); F(e, end_y); F(e, DPoint2_x);
  F(e, DPoint2_y); F(e, DPoint3_x); F(e, DPoint3_y); F(e, Color);
  w.End('}');
}
void V(Writer& w, const TEntJwwBlock& e) {
  w.Begin('{');
  F(e, att); F(e, DPKijunTen_x); F(e, DPKijunTen_y); F(e, dBairitsuX); F(e, dBairitsuY);
  F(e, radKaitenKaku); F(e, nNumber);
  w.End('}');
}
void V(Writer& w, const TEntJwwNo& e) {
  w.Begin('{');
  F(e, EntType); F(e, EntNo);
  w.End('}');
}
void V(Writer& w, const TEntJwwLayerGroup& e) {
  w.Begin('{');
  F(e, anGLay); F(e, anWriteLay); F(e, adScale); F(e, anGLayProtect); F(e, aStrGLayName);
  w.End('}');
}
void V(Writer& w, const TEntJwwLayer& e) {
  w.Begin('{');
  F(e, aanLay); F(e, aanLayProtect); F(e, aStrLayName);
  w.End('}');
}
void V(Writer& w, const TEntJwwColorNo& e) {
  w.Begin('{');
  F(e, aPenColor); F(e, anPenWidth); F(e, aPrtPenColor); F(e, anPrtPenWidth); F(e, adPrtTenHankei);
  w.End('}');
}
void V(Writer& w, const TEntJwwLineTypeNo& e) {
  w.Begin('{');
  F(e, alLType); F(e, anTokushuSenUintDot); F(e, anTokushuSenPich); F(e, anPrtTokushuSenPich);
  w.End('}');
}
void V(Writer& w, const TEntJwwRandomLineNo& e) {
  w.Begin('{');
  F(e, alLType); F(e, anRandSenWide); F(e, anTokushuSenPich); F(e, anPrtRandSenWide);
  F(e, anPrtTokushuSenPich);
  w.End('}');
}
void V(Writer& w, const TEntJwwColorExNo& e) {
  w.Begin('{');
  F(e, aPenColor); F(e, anPenWidth); F(e, astrUDColorName); F(e, aPrtPenColor); F(e, anPrtPenWidth);
  F(e, adPrtTenHankei);
  w.End('}');
}
void V(Writer& w, const TEntJwwLineTypeExNo& e) {
  w.Begin('{');
  F(e, alLType); F(e, anTokushuSenUintDot); F(e, anTokushuSenPich); F(e, anPrtTokushuSenPich);
  F(e, astrUDLTypeName); F(e, anUDLTypeSegment); F(e, aadUDLTypePitch);
  w.End('}');
}
void V(Writer& w, const TEntJwwMojiType& e) {
  w.Begin('{');
  F(e, adMojiX); F(e, adMojiY); F(e, adMojiD); F(e, anMojiCol);
  w.End('}');
}
void V(Writer& w, const TEntJwwBlockTree& e) {
  w.Begin('{');
  F(e, att); F(e, level); F(e, parent); F(e, no); F(e, defno); F(e, name); F(e, x); F(e, y);
  F(e, r1); F(e, r2); F(e, r3); F(e, r4);
  w.End('}');
}
void V(Writer& w, const TBindImageType& e) {
  w.Begin('{');
  F(e, Fname); F(e, Fsize); F(e, exf);
  w.End('}');
}

void V(Writer& w, const TEntJwwBlockDef& e);

/// The first `n` entries of a list (its valid part).
template <class T>
void List(Writer& w, const std::vector<T>& v, int32_t n) {
  w.Begin('[');
  const size_t count = std::min(v.size(), static_cast<size_t>(std::max(n, 0)));
  for (size_t i = 0; i < count; ++i) V(w, v[i]);
  w.End(']');
}
template <class T>
void List(Writer& w, const std::vector<T>& v) {
  List(w, v, static_cast<int32_t>(v.size()));
}

void V(Writer& w, const TEntJwwBlockDef& e) {
  w.Begin('{');
  F(e, att); F(e, nNumber); F(e, bRefferd); F(e, dtime); F(e, strName); F(e, N);
  w.Key("mNo");
  List(w, e.mNo, e.N);
#define L(name)                 \
  w.Key(#name);                 \
  List(w, e.name, e.name##N);   \
  w.Key(#name "N");             \
  w.Value(e.name##N)
  L(mLine); L(mEnko); L(mTen); L(mMoji); L(mSunpo); L(mSolid); L(mBlock);
#undef L
  F(e, ref_flag); F(e, ref_no);
  w.End('}');
}

void V(Writer& w, const TEntJwwHeader& h) {
  w.Begin('{');
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
  w.End('}');
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
  app.add_option("--indent", indent, "Spaces per level, 0..16; -1 for one line")
      ->capture_default_str()
      ->check(CLI::Range(-1, 16));
  bool tree = false;
  app.add_flag("--tree", tree,
               "Also write the derived block tree EntBlockTree (one entry per placed block, which "
               "can be far more than the drawing holds)");
  bool text = false;
  app.add_flag("--text", text,
               "Write sorted lines of text instead (one per header value and entity, numbers rounded to "
               "1e-6), for diff tools: git config diff.jww.textconv \"jww dump --text\"")
      ->excludes("--budget")
      ->excludes("--tree");
  if (int status; !ParseOptions(app, argc, argv, status)) return status;
  if (text) return DumpText(file);

  TJwwData d;
  d.BindImageExr = true;  // list the images, write none
  if (!ReadDrawing(d, file, budget)) return 1;

  Writer w(stdout, indent);
  w.Begin('{');
  w.Key("Enthd");
  V(w, d.Enthd);
#define L(name)   \
  w.Key(#name);   \
  List(w, d.name)
  L(EntLgrp); L(EntLay); L(EntCol); L(EntLtp1); L(EntLtp2); L(EntLtp3); L(EntColS); L(EntLtpS); L(EntMoj);
#undef L
  w.Key("EntNo");
  List(w, d.EntNo, d.Enthd.n1);
#define L(name)                 \
  w.Key(#name);                 \
  List(w, d.name, d.name##N);   \
  w.Key(#name "N");             \
  w.Value(d.name##N)
  L(EntLine); L(EntEnko); L(EntTen); L(EntMoji); L(EntSunpo); L(EntSolid); L(EntBlock);
  L(EntBlockDef);
#undef L
  if (tree) {
    w.Key("EntBlockTree");
    List(w, d.EntBlockTree, d.EntBlockTreeN);
  }
  w.Key("EntBlockTreeN");
  w.Value(d.EntBlockTreeN);
  w.Key("EntBlockNum");
  w.Value(d.EntBlockNum);
  w.Key("BindImage");
  List(w, d.BindImage, d.BindImageN);
  w.Key("BindImageN");
  w.Value(d.BindImageN);
  w.End('}');
  w.NewLine();
  if (!w.Flush() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "jww: cannot write the JSON: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
