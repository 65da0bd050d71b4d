// The preview of the selected drawing beside the list: a picture of its paper drawn from a
// bounded preview read (the first items of the drawing), so that even very large drawings show
// at once. It also shows a scene handed to it, such as the change picture of two drawings.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <memory>

namespace scene {
struct Scene;
}

namespace dravik {

class DrawingPreview : public QWidget {
  Q_OBJECT

 public:
  /// Items read for a preview: enough for the look of most drawings, few enough to stay quick.
  static constexpr int kBudget = 20000;

  explicit DrawingPreview(QWidget* parent = nullptr);

  /// The drawing to show; an empty path shows nothing.
  void setPath(const QString& path);
  const QString& path() const { return path_; }
  /// Shows `picture` (fitted as a drawing is) until another drawing or picture is set.
  void setScene(std::shared_ptr<const scene::Scene> picture);
  /// The scene shown, null while a drawing file is.
  const scene::Scene* scene() const { return scene_.get(); }
  /// The picture last drawn (null when there is none or the file is no readable drawing).
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString path_;
  std::shared_ptr<const scene::Scene> scene_;
  QImage picture_;
  bool stale_ = true;
};

}  // namespace dravik
