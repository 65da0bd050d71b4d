// Reads the drawing under an item budget, turns it into the scene and paints it at thumbnail size.
#include "thumbnail/Thumbnail.h"

#include <algorithm>
#include <cmath>

#include "jww/JwwUnit.h"
#include "painter/ScenePainter.h"
#include "scene/Scene.h"

namespace dravik {

QImage DrawingThumbnail(const QString& path, int size, int budget) {
  if (size < 1) return {};
  jww::TJwwData d;  // bound images are neither written out nor listed: both options stay off
  const std::u16string file = path.toStdU16String();
  if (!d.FileCheck(file)) return {};
  // A preview read that ran out of budget or met a cut file still leaves a picture of what it
  // read; only a header that cannot be read means no drawing.
  if (!d.FilePrevIn(file, budget) && d.LastError().message != "File I/O Error") return {};
  const scene::Scene s = scene::Build(d);
  double w = s.paperW, h = s.paperH;
  if (!(w > 0) || !(h > 0) || !std::isfinite(w) || !std::isfinite(h)) w = h = 1;
  const double k = size / std::max(w, h);
  const QSize px(std::max(1, int(std::lround(w * k))), std::max(1, int(std::lround(h * k))));
  // What fits the picture's work budget is drawn, in drawing order; nested insertions, long
  // texts and fine dashes placed many times cannot make a thumbnail take longer than that.
  return scene::RenderFit(s, px, scene::kPictureWork);
}

}  // namespace dravik
