// Comparing two drawings: what changed from an old drawing to a new one, and a stable text form
// of one drawing for line-oriented diff tools.
//
// Entities are compared as a multiset, whatever their order in the file: an entity of the old
// drawing matches one of the new drawing of the same kind whose geometry agrees within a
// tolerance (paper millimetres; angles in their own unit), and is then unchanged or changed
// (same geometry, other layer, pen, line type, text, font ...). Of the unmatched entities, one
// removed and one added that differ by a translation alone are one entity moved; the rest are
// removed or added. Texts are placed by their start point and angle, so new wording is a change of the
// same text. Block definitions are matched by name and their contents compared the same way;
// insertions are entities (definition name and placement). Bound images are matched by name and
// compared by size and content.
//
// Records stored exactly alike are paired first (side by side, then by a hash of their stored
// values, whatever their order). The rest is matched by hashes of quantised geometry (first with
// the attributes, then without them),
// then, for what is left, by the nearest candidate within the tolerance found in a grid of cells
// of the tolerance's size: no step is quadratic in the number of entities.
//
// Plain C++; never prints. Texts in the results are UTF-8 as the drawings hold them (a caller
// showing them on a terminal escapes control characters).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jww/JwwUnit.h"

namespace compare {

struct Options {
  double tolerance = 1e-6;  ///< paper millimetres; must be positive and finite
};

enum class Status : uint8_t { Removed, Added, Changed, Moved };

/// Where an entity lies: the drawing's own list, or a block definition's.
struct EntityRef {
  jww::EntKind kind = jww::kEntNone;
  int def = -1;    ///< index into EntBlockDef, -1 for the drawing's own lists
  int index = -1;  ///< index into that kind's list
};

/// One entity (or block definition) that is not the same in both drawings.
struct EntityChange {
  Status status = Status::Changed;
  jww::EntKind kind = jww::kEntNone;  ///< kEntBlockDef for a definition removed or added
  std::string where;                  ///< "" for the drawing, else the block definition's name
  EntityRef before, after;            ///< the old and the new entity (index -1 when absent)
  std::string what;                   ///< the entity as it was (removed, changed) or is (added)
  std::vector<std::string> changes;   ///< Changed: "colour 1 -> 3", one per attribute; Moved: "moved by (5, 0)"
  double dx = 0, dy = 0;              ///< Moved: by how much (paper mm)
};

struct Result {
  std::vector<std::string> header;  ///< "layer group 2 scale 1/100 -> 1/50", in header order
  std::vector<EntityChange> entities;
  std::vector<std::string> images;  ///< "image a.png removed", "image b.png content changed"
  size_t unchanged = 0, removed = 0, added = 0, changed = 0, moved = 0;  ///< entities and definitions
  bool Same() const { return header.empty() && entities.empty() && images.empty(); }
};

/// The arrow between an old and a new value in every message ("->" as U+2192).
inline constexpr const char* kArrow = "\xe2\x86\x92";

/// Compares drawing `a` (old) with `b` (new). Images are compared by content where their files
/// lie in each drawing's BindImageFolder (read with BindImageExp), else by size.
Result Compare(const jww::TJwwData& a, const jww::TJwwData& b, const Options& opt = {});

/// The drawing as lines of text, for diff tools: the header's named values first (in header
/// order), then one line per entity and per block definition's entity, sorted, then one per
/// bound image. Numbers are rounded to 1e-6; texts are quoted with control characters escaped,
/// so every line stays one line. Reordering entities does not change the form.
std::vector<std::string> TextForm(const jww::TJwwData& d);

/// The change picture as a drawing: the new drawing with every entity in the colour of what
/// happened to it (unchanged grey, added blue, changed orange) and the removed entities of the old
/// drawing added in red, on the new drawing's paper; a moved entity is purple where it now lies.
/// The five colours are extended colours 101 to 105 of the result, so any picture made of it (scene, painter) shows them when it prints in
/// colour. Entities inside block definitions take the colour of their own change; an insertion
/// that was added, removed or changed places a copy of its definition drawn wholly in that
/// insertion's colour. `r` is Compare(a, b).
jww::TJwwData ChangeDrawing(const jww::TJwwData& a, const jww::TJwwData& b, const Result& r);

/// How the reports call a kind: "line", "arc", "point", "text", "dimension", "solid", "block",
/// "block definition".
const char* KindLabel(jww::EntKind k);

/// A number as the reports write it: rounded to 1e-6, no trailing zeros, no "-0".
std::string Num(double v);

}  // namespace compare
