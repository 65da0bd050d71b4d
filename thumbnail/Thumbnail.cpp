// Reads the drawing under an item budget, turns it into the scene and paints it at thumbnail size.
#include "thumbnail/Thumbnail.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "jww/JwwUnit.h"
#include "painter/ScenePainter.h"
#include "scene/Scene.h"

namespace dravik {

namespace {

// Placed primitives a thumbnail paints at most. The scene's own placement limit is sized for
// exports (4,000,000); nested insertions reach it from a few dozen items, and painting that many
// takes seconds (1.5 s of processor time for the block bomb in thumbnail_bench). The largest
// corpus drawing places a few thousand.
constexpr size_t kThumbnailPlaced = 200'000;

// Keeps the scene's primitives up to the first insertion that would take the placed count past
// `budget`, so that the thumbnail shows the drawing's first primitives in drawing order. Counting
// visits no more than `budget` primitives in all.
void LimitPlaced(scene::Scene& s, size_t budget) {
  scene::Scene one;
  one.defs = std::move(s.defs);
  one.prims.resize(1);
  size_t used = 0, keep = 0;
  for (; keep < s.prims.size() && used < budget; ++keep) {
    scene::Prim& p = s.prims[keep];
    if (p.layer < s.layers.size() && s.layers[p.layer].hidden) continue;  // kept, never painted
    if (p.kind != scene::Kind::Insert) {
      ++used;
      continue;
    }
    std::swap(one.prims[0], p);
    size_t placed = 0;
    const bool whole = scene::ForEachPlaced(
        one, [&placed](const scene::Prim&, const scene::Placement&) { ++placed; }, budget - used);
    std::swap(one.prims[0], p);
    if (!whole) break;
    used += placed;
  }
  s.prims.resize(keep);
  s.defs = std::move(one.defs);
}

}  // namespace

QImage DrawingThumbnail(const QString& path, int size, int budget) {
  if (size < 1) return {};
  jww::TJwwData d;  // bound images are neither written out nor listed: both options stay off
  const std::u16string file = path.toStdU16String();
  if (!d.FileCheck(file)) return {};
  // A preview read that ran out of budget or met a cut file still leaves a picture of what it
  // read; only a header that cannot be read means no drawing.
  if (!d.FilePrevIn(file, budget) && d.LastError().message != "File I/O Error") return {};
  scene::Scene s = scene::Build(d);
  LimitPlaced(s, kThumbnailPlaced);
  double w = s.paperW, h = s.paperH;
  if (!(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h)) w = h = 1;
  const double k = size / std::max(w, h);
  const QSize px(std::max(1, int(std::lround(w * k))), std::max(1, int(std::lround(h * k))));
  return scene::RenderFit(s, px);
}

}  // namespace dravik
