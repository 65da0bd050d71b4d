// A drawing as placed primitives on its paper, in millimetres: what every picture and exchange
// format is made from (the painter's PNG, PDF, SVG and window preview, and the DXF writer), so
// none of them reads the drawing model itself.
//
// The drawing's own tables decide the look: print colours and widths of the pens and extended
// colours, dash patterns of the line types and the paper size of the paper code. A drawing holds
// its coordinates as they lie on the paper, in millimetres from the paper's centre (a text's end
// point lies its printed length from its start; a plan at 1 : 100 keeps a 9.1 m module as 9.1),
// so the scene takes them as they are; each layer group's scale (1 : adScale) says what they
// measure in reality, which the DXF writer uses. Layers and layer groups the drawing hides keep
// their primitives, marked by `Layer::hidden`: pictures leave them out (`ForEachPlaced` skips
// them), the DXF writer keeps them on layers switched off. Block definitions are kept once, in block coordinates, and placed by insertion
// primitives; `ForEachPlaced` expands them (under a budget) for whoever needs every primitive
// where it lands.
//
// Hostile drawings: primitives with non-finite numbers are dropped, a layer group scale that is
// 0, negative or not finite counts as 1, primitives that land beyond what outputs can represent
// are left out (and counted), and expansion stops after a budget of work, so nothing here grows
// beyond what was read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jww/JwwUnit.h"

namespace scene {

/// 2-D affine map: x' = a x + b y + e, y' = c x + d y + f.
struct Xform {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  void Apply(double x, double y, double& ox, double& oy) const {
    ox = a * x + b * y + e;
    oy = c * x + d * y + f;
  }
  /// this * o (o applied first).
  Xform Then(const Xform& o) const {
    return {a * o.a + b * o.c, a * o.b + b * o.d, c * o.a + d * o.c, c * o.b + d * o.d,
            a * o.e + b * o.f + e, c * o.e + d * o.f + f};
  }
};

/// A line type as drawn: dash and gap lengths in paper millimetres, alternating, starting with a
/// dash. Empty means continuous.
struct LineType {
  std::string name;  ///< ASCII name for exchange formats ("JW_2", "JW_32")
  std::vector<double> dashes;
};

struct Layer {
  std::u16string name;  ///< "group-layer" plus the drawing's names where it has them
  std::u16string groupName;  ///< the layer group's own name ("" when it has none)
  int group = 0, layer = 0;
  bool hidden = false;  ///< the drawing hides the layer or its group: not drawn in pictures
};

enum class Kind : uint8_t {
  Line,    ///< p[0] -> p[1]
  Arc,     ///< elliptic arc or full ellipse: centre, radius, flatness, tilt, start, sweep
  Fill,    ///< a filled region: `ring` (a polygon; curved solids are flattened)
  Point,   ///< a dot of `radius` paper millimetres at p[0]
  Text,    ///< a text line from p[0] along `angle`
  Insert,  ///< a block definition placed by `place`
};

/// One primitive. Coordinates are paper millimetres, in block coordinates for primitives inside a
/// block definition.
struct Prim {
  Kind kind = Kind::Line;
  bool quad = false;      ///< Fill: a plain four-corner solid (not a flattened curve)
  bool full = false;      ///< Arc: a whole ellipse or circle
  bool vertical = false;  ///< Text: vertical writing
  /// An auxiliary primitive (the auxiliary line type or colour): a construction aid that prints
  /// never; pictures leave it out unless the scene's `printAux` says otherwise, exchange formats
  /// keep it.
  bool aux = false;
  /// Fill: the box a text with a background is printed over, in the paper's colour, placed just
  /// before its text. Pictures paint it as any fill; exchange formats leave it out (it would not
  /// follow its text when edited, and a white entity shows in the pen colour of a dark screen).
  bool mask = false;
  uint16_t layer = 0;     ///< index into Scene::layers (group * 16 + layer)
  uint16_t lineType = 0;  ///< index into Scene::lineTypes
  uint32_t rgb = 0;       ///< 0xRRGGBB
  float width = 0;        ///< pen width in paper millimetres
  double p[4] = {0, 0, 0, 0};  ///< Line: x1 y1 x2 y2; Text: start and end; others: x y in p[0], p[1]
  // Arc
  double radius = 0, flat = 1, tilt = 0, start = 0, sweep = 0;
  // Text: character width and height (paper mm), spacing, angle in radians
  double sizeX = 0, sizeY = 0, spacing = 0, angle = 0;
  std::u16string text, font;
  // Fill
  std::vector<double> ring;  ///< x0 y0 x1 y1 ...
  // Insert
  int def = -1;  ///< index into Scene::defs
  Xform place;   ///< definition coordinates -> the coordinates of the primitive's owner
};

struct Definition {
  std::u16string name;
  std::vector<Prim> prims;
};

struct Scene {
  double paperW = 0, paperH = 0;  ///< millimetres, landscape
  /// Per layer group: the group's scale denominator (real size = paper size * scale); 0, negative
  /// and non-finite scales count as 1.
  double groupScale[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
  std::vector<Layer> layers;      ///< 256: index group * 16 + layer
  std::vector<LineType> lineTypes;
  std::vector<Definition> defs;
  std::vector<Prim> prims;  ///< in drawing order, paper millimetres, y up from the paper's centre
  bool printAux = false;    ///< pictures draw the auxiliary primitives too
};

/// How the drawing's print settings become colours and widths; the defaults are a print as the
/// drawing's own settings make it.
///  - Colours: the header's colour printing switch (nColorPrint). Off, every line, curve, point
///    and text prints black whatever its pen's print colour, and a solid prints in the grey of
///    its colour's lightness (a white masking solid stays white, a coloured area keeps its tone
///    instead of becoming a black slab over what lies on it). `Colour` and `Mono` override.
///  - Widths: print widths are 1/100 mm in a drawing that says so (bSenHaba100), printer dots
///    otherwise, `dotMm` each (0.085 mm, a 300 dpi printer).
///  - Auxiliary primitives (line type 9 or colour 9) are kept but marked; `aux` prints them.
struct Look {
  enum class Colour : uint8_t { Drawing, Colour, Mono };
  Colour colour = Colour::Drawing;
  bool aux = false;
  double dotMm = 0.085;
};

/// Builds the scene of a drawing that has header tables (a failed header read gives an empty
/// scene). Scene coordinates put the paper's centre at (0, 0), as the drawing's origin lies.
Scene Build(const jww::TJwwData& d, const Look& look = {});

/// True when a picture draws `p`.
inline bool Printed(const Scene& s, const Prim& p) { return !p.aux || s.printAux; }

/// Where a primitive lands: `toPaper` maps its coordinates to paper millimetres (the placements of
/// the insertions it lies in); texts scale with it, pen widths and point marks do not.
struct Placement {
  Xform toPaper;
  int depth = 0;
};

/// What a walk over the placed primitives may spend, and how finely it is drawn.
///
/// The budget counts work, not primitives: every insertion visited, every primitive, every
/// character of a text, every curve segment and every dash drawn is one unit, so that neither
/// nested insertions nor long texts or fine dash patterns placed many times can make a picture
/// take hours or its file gigabytes.
// Enough for a drawing of a million entities (about 23 million units at 150 dpi), small enough
// that no SVG or PDF reaches gigabytes.
inline constexpr size_t kDefaultBudget = 32'000'000;
/// Coordinates beyond this many paper millimetres from the paper's centre (after placement)
/// cannot be represented by the outputs: such primitives are left out and counted.
inline constexpr double kMaxCoordinate = 1e9;
/// What walks of a scene learn about its definitions before they start: which hold something
/// drawable in their expansion, and how deeply the insertions below each nest (-1 for one that
/// reaches a definition inserting itself). Worked out once (`SurveyOf`) and handed to the walks
/// of the same scene (`WalkOptions::survey`), it spares each a pass over every definition.
struct Survey {
  std::vector<bool> drawable;
  std::vector<int> height;
};

struct WalkOptions {
  size_t budget = kDefaultBudget;
  /// Device units per paper millimetre: how many segments a curve is drawn with.
  double pxPerMm = 150 / 25.4;
  /// The part of the paper that is drawn (millimetres from the paper's centre); dashes beyond it
  /// cost nothing. Empty (x0 >= x1): the whole paper.
  double clip[4] = {0, 0, 0, 0};
  /// Called with the work spent so far, every few thousand units (and not at all when empty).
  std::function<void(size_t)> progress;
  /// Insertions the visitor draws whole instead of being handed what they place. Asked (with the
  /// placement of the insertion's owner) of each insertion the walk would expand whose expansion
  /// is the same wherever it lies - its definition reaches no definition that inserts itself, and
  /// its nesting stays within the depth limit - and whose placement keeps lengths (see
  /// KeepsLengths). When it answers true, the walk charges a bound of what the expansion would
  /// spend at any such placement and hands the insertion itself to the visitor (a Kind::Insert
  /// primitive); when that bound does not fit what is left of the budget, the insertion is
  /// expanded as usual instead. Empty: every insertion is expanded.
  std::function<bool(const Prim& insert, const Placement& at)> whole;
  /// The scene's survey, when the caller keeps one (null: the walk works it out).
  const Survey* survey = nullptr;
};

Survey SurveyOf(const Scene& s);

struct WalkResult {
  bool complete = true;        ///< false: stopped at the budget
  size_t work = 0;             ///< units spent
  size_t unrepresentable = 0;  ///< primitives left out: not finite or beyond kMaxCoordinate
};

/// Visits every non-insertion primitive where it lands, in drawing order, expanding insertions
/// depth first (primitives of hidden layers, and what their insertions place, are skipped),
/// until the budget is spent (the primitive that would overspend it is not
/// visited). A definition that inserts itself (directly or not) is not expanded below itself;
/// one whose expansion holds nothing drawable is not expanded at all.
WalkResult Walk(const Scene& s, const std::function<void(const Prim&, const Placement&)>& fn,
                const WalkOptions& o);

/// Visits what definition `def` places, as a walk expanding an insertion of it would: `at` places
/// the definition's coordinates (its depth that of an insertion's contents, at least 1), the
/// definition counts as on the way down (it is not expanded below itself), and `whole` applies to
/// the insertions inside. Nothing is visited for an index out of range or a definition with
/// nothing drawable.
WalkResult WalkDefinition(const Scene& s, int def, const Placement& at,
                          const std::function<void(const Prim&, const Placement&)>& fn, const WalkOptions& o);

/// True when `m` keeps lengths and angles: a rotation, possibly mirrored, and a translation
/// (within rounding).
bool KeepsLengths(const Xform& m);

/// Walk with no more than a budget; false when it stopped there.
bool ForEachPlaced(const Scene& s, const std::function<void(const Prim&, const Placement&)>& fn,
                   size_t budget = kDefaultBudget);

/// What a whole walk would spend (nothing is visited); `complete` false when over the budget.
WalkResult Measure(const Scene& s, const WalkOptions& o);

/// The work units of one primitive where it lands (see WalkOptions).
size_t Work(const Scene& s, const Prim& p, const Placement& at, const WalkOptions& o);

/// Segments a curve primitive is drawn with at `pxPerMm` device units per paper millimetre.
int CurveSegments(const Prim& a, const Xform& toPaper, double pxPerMm);

/// True when a primitive where it lands has finite coordinates within kMaxCoordinate.
bool Representable(const Prim& p, const Placement& at);

/// Bounding box of the placed primitives' defining points (arc extents included) that a picture
/// prints, in paper millimetres; false when there is nothing.
bool Bounds(const Scene& s, double& x0, double& y0, double& x1, double& y1);

/// n + 1 points (x y pairs, appended to `out`) along an arc primitive from `start` over `sweep`
/// (over the whole ellipse when `full`), in the primitive's own coordinates.
void ArcPoints(const Prim& a, int n, std::vector<double>& out);

/// Advance of a text line in character widths: a half-width character counts half.
double TextUnits(const std::u16string& text);

/// A text placed on the paper: start point, angle (radians), character width and height and
/// spacing in paper millimetres.
struct PlacedText {
  double x = 0, y = 0, angle = 0, sizeX = 0, sizeY = 0, spacing = 0;
};
PlacedText PlaceText(const Prim& t, const Placement& at);

/// The direction a text runs, in its own coordinates (radians): its angle, or for vertical
/// writing the way from its start point to its end point (its angle less a right angle when
/// the two coincide). Vertical characters stand at this direction plus a right angle.
double RunAngle(const Prim& t);

/// One piece of a text as it is drawn: `text` in cells of `cellW` x `cellH` paper millimetres,
/// `gap` between neighbouring cells (a half-width character takes half a cell), the lower-left
/// corner of the first cell at (x, y) on the paper, the characters upright in a frame turned by
/// `angle` (radians). A glyph fills its cell as a character fills its em box.
struct TextRun {
  double x = 0, y = 0, angle = 0, cellW = 0, cellH = 0, gap = 0;
  std::u16string text;
};

/// A text laid out for drawing, the one place that decides it for every picture: a horizontal
/// text is one run from its start point (more where the control codes ^u and ^d raise or lower
/// the characters after them, up to the next space or code, at half size); a vertical text is
/// one run per character, from its start point towards its end point, one under the other.
/// Other ^ sequences are drawn as written; the stored text is never changed.
std::vector<TextRun> LayoutText(const Prim& t, const Placement& at);
/// The same into `runs`, whose storage is reused: for walks that lay out text after text.
void LayoutText(const Prim& t, const Placement& at, std::vector<TextRun>& runs);

/// The four corners (x y pairs, counter-clockwise in the text's own frame) of the box the
/// characters of a text take where it lands, grown by `margin` paper millimetres on every side;
/// false when the text draws nothing. The box is the one the text's background covers.
bool TextBox(const Prim& t, const Placement& at, double margin, double corners[8]);

/// The primitive counts of a scene as placed (insertions expanded, insertions themselves not
/// counted); Fill is split into four-corner solids and curved fills, as exchange formats tell
/// them apart, and text backgrounds, which they leave out, are not counted.
struct Counts {
  size_t lines = 0, curves = 0, solids = 0, hatches = 0, points = 0, texts = 0;
};
Counts CountPlaced(const Scene& s);

/// True when an arc primitive is circular (flatness 1 within rounding).
bool IsCircular(const Prim& a);

}  // namespace scene
