#include "app/HelpFlow.h"

#include <QFontMetrics>
#include <QPainter>

namespace dravik {

namespace {
constexpr QChar kEntrySeparator = QChar(0x3000);  // the ideographic space between help entries
}

HelpFlow::HelpFlow(const QStringList& lines, QWidget* parent) : QWidget(parent) {
  for (const QString& line : lines)
    for (const QString& entry : line.split(kEntrySeparator, Qt::SkipEmptyParts)) entries_ << entry;
}

// Entries go left to right, one ideographic space apart, and start a new row when the next would
// pass the right edge; an entry wider than a row has a row of its own.
int HelpFlow::layout(const QFont& font, int width, QVector<QRect>* rects) const {
  const QFontMetrics fm(font);
  const int gap = fm.horizontalAdvance(kEntrySeparator);
  const int rowHeight = fm.height();
  int x = 0, y = 0;
  rects->clear();
  for (const QString& entry : entries_) {
    const int w = fm.horizontalAdvance(entry);
    if (x > 0 && x + w > width) {
      x = 0;
      y += rowHeight;
    }
    rects->append(QRect(x, y, w, rowHeight));
    x += w + gap;
  }
  return entries_.isEmpty() ? 0 : y + rowHeight;
}

int HelpFlow::fit(int width, int maxHeight, std::initializer_list<int> pixelSizes) {
  QFont f = font();
  int height = 0;
  for (int size : pixelSizes) {
    f.setPixelSize(size);
    f.setStretch(QFont::Unstretched);
    height = layout(f, width, &rects_);
    if (height <= maxHeight) break;
  }
  setFont(f);
  update();
  return height;
}

void HelpFlow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setFont(font());
  p.setPen(palette().color(QPalette::WindowText));
  for (qsizetype i = 0; i < entries_.size() && i < rects_.size(); ++i)
    p.drawText(rects_[i], Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, entries_[i]);
}

}  // namespace dravik
