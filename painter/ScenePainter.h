// The painter backend of the scene: one drawing routine over QPainter, used for the window's
// preview, PNG (QImage) and SVG (QSvgGenerator), and a PDF writer of its own that draws texts
// with the same glyphs (PdfOut.cpp). Needs a QGuiApplication for its fonts (the offscreen
// platform will do).
#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <string>

#include <functional>
#include <vector>

#include "scene/Scene.h"

class QPainter;

namespace scene {

/// Work (in the scene walk's units) a thumbnail or the window's preview draws at most: what fits
/// is drawn, the rest left out.
inline constexpr size_t kPictureWork = 200'000;

/// How a picture is made.
struct PaintOptions {
  /// Work the picture may take (the scene walk's units). Paint draws what fits; the Write*
  /// functions and RenderDpi refuse a picture that would need more (PaintReport::overBudget).
  size_t budget = kDefaultBudget;
  /// The picture shows the drawn content (on the paper) plus a margin rather than the whole
  /// paper.
  bool fitDrawing = false;
  /// Called with a stage ("painting", "writing") and the fraction of it done, now and then.
  std::function<void(const char* stage, double fraction)> progress;
};

/// What became of a picture.
struct PaintReport {
  WalkResult walk;              ///< work, primitives left out, whether all of it fitted
  bool overBudget = false;      ///< refused: the picture would need more than the budget
  bool tooManyPixels = false;   ///< refused: the PNG would be larger than kMaxPixels
  double pixels = 0;            ///< pixels the PNG would have had
  double maxDpi = 0;            ///< the largest resolution whose PNG fits kMaxPixels
  std::string reason;           ///< why the file could not be written (the system's words)
};

/// Pixels a picture may have (it is held in memory whole).
inline constexpr double kMaxPixels = double(1 << 28);

/// The part of the paper a picture shows, in millimetres from the paper's centre: the paper, or
/// the drawn content on it plus a margin.
QRectF View(const Scene& s, bool fitDrawing);

/// Paints the view (white paper) and the scene's primitives into `target` (device coordinates),
/// fitted and centred, until the budget is spent. Pen widths, dash patterns and text sizes are
/// true to the paper.
WalkResult Paint(const Scene& s, QPainter& p, const QRectF& target, const PaintOptions& o = {});

/// The scene as a picture of the view at `dpi`; a null image when it would have more than
/// kMaxPixels pixels or need more than the budget (see `report`).
QImage RenderDpi(const Scene& s, double dpi, const PaintOptions& o = {}, PaintReport* report = nullptr);

/// The scene fitted into a picture of `size` (letterboxed on light grey), as much as the budget
/// allows.
QImage RenderFit(const Scene& s, QSize size, size_t budget = kPictureWork);

/// Writers, through jww::TOutputFile: the output goes to a temporary file beside `path`, which
/// replaces `path` only once complete (a device or pipe is written in place); false (and `path`
/// as it was) on failure, which `report` tells apart when the picture itself was refused, and
/// otherwise gives the reason of. `path` is UTF-16 as jww::PathFromNative gives it, so a name
/// that is not UTF-8 keeps its bytes.
bool WritePng(const Scene& s, const QString& path, double dpi, const PaintOptions& o = {},
              PaintReport* report = nullptr);
/// One page of the view's size; texts stay text (their characters come back from the file).
bool WritePdf(const Scene& s, const QString& path, const PaintOptions& o = {}, PaintReport* report = nullptr);
/// One page a scene, each of its own view's size; false for no scene, or when one page would need
/// more than the budget.
bool WritePdfPages(const std::vector<const Scene*>& pages, const QString& path, const PaintOptions& o = {},
                   PaintReport* report = nullptr);
/// Millimetre-sized, texts stay text.
bool WriteSvg(const Scene& s, const QString& path, const PaintOptions& o = {}, PaintReport* report = nullptr);

/// The first `budget` items of a drawing file (a bounded preview read) fitted into `size`: the
/// entry point for previews and thumbnails. A null image when the file is no readable drawing.
QImage RenderDrawingFile(const QString& path, QSize size, int budget = 20000);

}  // namespace scene
