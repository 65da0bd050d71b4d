// The picture a file manager shows for a drawing: the paper and what is drawn on it, from a
// bounded preview read, so any file costs bounded time and memory.
#pragma once

#include <QImage>
#include <QString>

namespace dravik {

/// Items read from the drawing (entities and block definitions) for a thumbnail. The largest
/// drawings of real use hold a few thousand; a bigger one shows its first items.
inline constexpr int kThumbnailBudget = 20000;

/// The drawing at `path` as a picture whose longer side is `size` pixels, in the paper's
/// proportions. A null image when the file is no drawing (its check or header read fails); a
/// drawing cut short shows what was read of it.
QImage DrawingThumbnail(const QString& path, int size, int budget = kThumbnailBudget);

}  // namespace dravik
