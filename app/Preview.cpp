#include "app/Preview.h"

#include <QPainter>

#include "painter/ScenePainter.h"

namespace dravik {

DrawingPreview::DrawingPreview(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("previewPane"));
  setMinimumSize(160, 120);
}

void DrawingPreview::setPath(const QString& path) {
  if (path == path_ && !scene_) return;
  path_ = path;
  scene_.reset();
  stale_ = true;
  update();
}

void DrawingPreview::setScene(std::shared_ptr<const scene::Scene> picture) {
  scene_ = std::move(picture);
  path_.clear();
  stale_ = true;
  update();
}

void DrawingPreview::paintEvent(QPaintEvent*) {
  // Drawn when shown at a new size or for a new drawing, never for a hidden pane.
  const QSize want = size() * devicePixelRatioF();
  if (stale_ || (!picture_.isNull() && picture_.size() != want)) {
    picture_ = scene_            ? scene::RenderFit(*scene_, want)
               : path_.isEmpty() ? QImage()
                                 : scene::RenderDrawingFile(path_, want, kBudget);
    picture_.setDevicePixelRatio(devicePixelRatioF());
    stale_ = false;
  }
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  if (!picture_.isNull()) {
    p.drawImage(QPointF(0, 0), picture_);
  } else if (!path_.isEmpty()) {
    p.drawText(rect(), Qt::AlignCenter, QStringLiteral("プレビューなし"));
  }
}

}  // namespace dravik
