// The painter backend of the scene: one drawing routine over QPainter, used for the window's
// preview, PNG (QImage), PDF (QPdfWriter) and SVG (QSvgGenerator). Needs a QGuiApplication for
// its fonts (the offscreen platform will do).
#pragma once

#include <QImage>
#include <QRectF>
#include <QString>

#include "scene/Scene.h"

class QPainter;

namespace scene {

/// Paints the paper (white) and the scene's primitives into `target` (device coordinates), the
/// paper fitted and centred. Pen widths, dash patterns and text sizes are true to the paper.
void Paint(const Scene& s, QPainter& p, const QRectF& target);

/// The scene as a picture of the paper at `dpi` (the paper's own proportions); a null image
/// when it would not fit in memory (over 2^28 pixels).
QImage RenderDpi(const Scene& s, double dpi);

/// The scene fitted into a picture of `size` (letterboxed on light grey).
QImage RenderFit(const Scene& s, QSize size);

/// Writers: the output goes to a temporary file beside `path`, which replaces `path` only once
/// complete; false (and `path` as it was) on failure.
bool WritePng(const Scene& s, const QString& path, double dpi);
bool WritePdf(const Scene& s, const QString& path);  ///< one page of the paper's size
bool WriteSvg(const Scene& s, const QString& path);  ///< millimetre-sized, texts stay text

/// The first `budget` items of a drawing file (a bounded preview read) fitted into `size`: the
/// entry point for previews and thumbnails. A null image when the file is no readable drawing.
QImage RenderDrawingFile(const QString& path, QSize size, int budget = 20000);

}  // namespace scene
