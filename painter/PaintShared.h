// What the painter's writers share inside the module: the faces texts are drawn in, how a text's
// glyphs sit in their cells, how a picture's walk is set up and the one way a file is committed.
#pragma once

#include <QFont>
#include <QRectF>
#include <QString>

#include <string>

#include "painter/ScenePainter.h"

namespace scene::paint {

/// Reference font size in pixels; texts are scaled from it.
inline constexpr int kRefPx = 64;
/// The em box's lower edge below the baseline, in em: a text cell's lower edge lies there.
inline constexpr double kEmBottom = 0.12;

/// The face a drawing's face name is drawn in, at the reference size (see ScenePainter.cpp).
QFont Face(const std::u16string& name);

/// The walk of a picture of `view` at `k` device units per paper millimetre; vector outputs count
/// curves as a picture at 150 dpi does.
WalkOptions Walking(const QRectF& view, double k, size_t budget, bool vector);

/// Writes `bytes` to `path` through the project's one output routine; the system's reason in
/// `report` on failure.
bool Commit(const QString& path, std::string_view bytes, PaintReport* report);

}  // namespace scene::paint
