// The preview of the selected drawing beside the list: a picture of its paper drawn from a
// bounded preview read (the first items of the drawing), so that even very large drawings show
// at once.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

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
  /// The picture last drawn (null when there is none or the file is no readable drawing).
  const QImage& picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString path_;
  QImage picture_;
  bool stale_ = true;
};

}  // namespace dravik
