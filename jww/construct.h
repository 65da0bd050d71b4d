// Library-internal pieces of construction shared by the drawing-level additions, the dimensions
// and the block definitions: where an addition goes (a Target), the corrections every addition
// makes, and the append step itself.
#pragma once

#include <string_view>
#include <utility>

#include "jww/JwwUnit.h"

namespace jww::build {

/// The lists an addition appends to: the drawing's (grown in steps of 1000) or one block
/// definition's (steps of 500).
struct Target {
  std::vector<TEntJwwNo>& no;
  Integer& noN;
  Integer step;
  std::vector<TEntJwwLine>& line;
  Integer& lineN;
  std::vector<TEntJwwEnko>& enko;
  Integer& enkoN;
  std::vector<TEntJwwTen>& ten;
  Integer& tenN;
  std::vector<TEntJwwMoji>& moji;
  Integer& mojiN;
  std::vector<TEntJwwSunpo>& sunpo;
  Integer& sunpoN;
  std::vector<TEntJwwSolid>& solid;
  Integer& solidN;
  std::vector<TEntJwwBlock>& block;
  Integer& blockN;
};

inline constexpr Integer kDrawingStep = 1000;
inline constexpr Integer kDefinitionStep = 500;

Target DrawingTarget(TJwwData& d);
Target DefinitionTarget(TEntJwwBlockDef& def);

/// Sets every list of `t` to its count's length (lists shorter than their count are left).
void TrimLists(Target t);

/// Layer groups and layers outside 0..15 become 0.
inline Integer LayerFix(Integer v) { return v < 0 || v > 15 ? 0 : v; }
/// Text base points outside 1..9 become 1.
inline Integer BasePointFix(Integer v) { return v < 1 || v > 9 ? 1 : v; }
bool ValidColor(Integer col);
bool ValidLineType(Integer ltp);

/// The attribute part from the common parameters, before any colour or line-type check.
TEntJwwAttr MakeAttr(Integer cn, Integer lg, Integer ly, Integer co, Integer tp, Integer wd);

/// Flag word translation per kind: the sFlg bits that the set bits of `fl` add.
enum class FlagKind { kLine, kEnko, kTen, kMoji, kSolid, kBlock };
Word Flags(FlagKind kind, Integer fl);

/// A text type 1..10 in `ms` replaces size, spacing and colour with the type's; otherwise (also
/// when the drawing has no such text type) the text is free size and `ms` keeps only its style.
void ApplyTextType(const TJwwData& d, Integer& ms, Double& pw, Double& ph, Double& pd, Integer& co);

/// The two ends of a text whose base point `tp` (1..9, already corrected) lies at (px, py), from
/// its extent: vertical writing (fl bit 2) counts every character at full height.
void TextEnds(Integer tp, Integer fl, Double px, Double py, Double pw, Double ph, Double pd, Double pa,
              std::u16string_view ps, Double& x1, Double& y1, Double& x2, Double& y2);

/// Appends `rec` to its kind's list and the drawing order of `t`; False (no count changed) when a
/// list cannot grow.
template <class T>
bool Append(Target& t, T rec);

/// The parameters of a dimension with every part (the other forms reduce to it).
struct SunpoAuxLine {
  Integer ex = 0, co = 0, tp = 0, wd = 0, fl = 0;
  Double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
struct SunpoAuxPoint {
  Integer ex = 0, co = 0, tp = 0, wd = 0, fl = 0;
  Double x = 0, y = 0, pb = 0;
};
struct SunpoParams {
  Integer cn, lg, ly, co, tp, wd, fl;
  Double px1, py1, px2, py2;
  Integer co2, tp2, wd2, fl2, ms;
  Double px3, py3, px4, py4, pw, ph, pd, pa;
  const string* pf;
  const string* ps;
  SunpoAuxLine ho[2];
  SunpoAuxPoint te[2];
  SunpoAuxPoint kt[2];
};
/// Adds the dimension with its text given by its ends.
bool AddSunpo(TJwwData& d, Target t, SunpoParams p);
/// Derives the text's ends from its base point (px3, py3 hold the point) and adds the dimension.
bool AddSunpoAtBase(TJwwData& d, Target t, SunpoParams p);
/// Derives the auxiliary lines from the reference points and distances d1, d2.
void DeriveAuxLines(SunpoParams& p, Double d1, Double d2);

/// True when inserting definition number `bn` into definition `bdn` would make a definition
/// insert itself.
bool InsertionMakesCycle(const TJwwData& d, Integer bdn, Cardinal bn);

/// Position of the block-name decoration "@@SFIG" in any letter case, or npos.
size_t BlkNameDecorationPos(std::u16string_view name);

}  // namespace jww::build
