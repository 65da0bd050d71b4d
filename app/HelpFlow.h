// HelpFlow: the key help of the window's bottom area, flowed into as many rows as a narrow window
// needs. The three help lines are wider than the window's first-run width; this widget keeps every
// entry ("%%1DT：日時", …) whole and readable there instead of cutting the lines at the edge.
#pragma once

#include <QFont>
#include <QRect>
#include <QStringList>
#include <QVector>
#include <QWidget>

#include <initializer_list>

namespace dravik {

class HelpFlow : public QWidget {
 public:
  /// `lines`: the help lines; each is split into its entries at the ideographic spaces between them.
  explicit HelpFlow(const QStringList& lines, QWidget* parent = nullptr);

  /// Chooses the largest font of `pixelSizes` (tried in order) whose flow at `width` is no taller
  /// than `maxHeight`, or the last one; lays the entries out and returns the height they need.
  int fit(int width, int maxHeight, std::initializer_list<int> pixelSizes);

  const QStringList& entries() const { return entries_; }
  /// Where each entry is drawn, in the widget's coordinates (after the last fit).
  const QVector<QRect>& entryRects() const { return rects_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int layout(const QFont& font, int width, QVector<QRect>* rects) const;

  QStringList entries_;
  QVector<QRect> rects_;
};

}  // namespace dravik
