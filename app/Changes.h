// The change picture of two listed drawings for the window's 比較: both drawings read whole,
// compared (compare/), and the change drawing turned into a scene that the preview pane paints.
#pragma once

#include <QString>

#include <cstddef>
#include <memory>

#include "scene/Scene.h"

namespace dravik {

struct DrawingChanges {
  /// Empty when both drawings were read; else the one that could not be (the old one first).
  QString unreadable;
  size_t removed = 0, added = 0, changed = 0, moved = 0;
  size_t other = 0;   ///< header values and bound images that differ
  bool same = false;  ///< nothing differs at all
  /// The change picture: unchanged grey, removed red, added blue, changed orange, moved purple; null when a
  /// drawing was unreadable.
  std::shared_ptr<const scene::Scene> picture;
};

/// Compares the drawing at `oldPath` with the one at `newPath`. Never throws: running out of
/// memory counts as the new drawing being unreadable.
DrawingChanges CompareDrawings(const QString& oldPath, const QString& newPath);

}  // namespace dravik
