#include "app/WindowState.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace dravik {

namespace {

// Integers written as one comma-separated value ("1,20,1,1"); a malformed list reads as none.
QString IntsText(const QList<int>& values) {
  QStringList parts;
  for (int v : values) parts << QString::number(v);
  return parts.join(QLatin1Char(','));
}

QList<int> IntsOf(const QString& text) {
  QList<int> out;
  for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    bool ok = false;
    const int v = part.trimmed().toInt(&ok);
    if (!ok) return {};
    out << v;
  }
  return out;
}

}  // namespace

WindowState LoadWindowState(const QString& path) {
  WindowState s;
  QSettings file(path, QSettings::IniFormat);
  file.beginGroup(QStringLiteral("window"));
  const QList<int> frame = IntsOf(file.value(QStringLiteral("frame")).toString());
  // Margins beyond any real frame are a damaged file: the window would open far from its place.
  if (frame.size() == 4 && std::all_of(frame.begin(), frame.end(), [](int m) { return m >= 0 && m <= 200; })) {
    s.frame = QMargins(frame[0], frame[1], frame[2], frame[3]);
    s.frameKnown = true;
  }
  s.maximized = file.value(QStringLiteral("maximized")).toString() == QLatin1String("true");
  bool ok = false;
  const double share = file.value(QStringLiteral("previewShare")).toString().toDouble(&ok);
  if (ok && std::isfinite(share)) s.previewShare = std::clamp(share, 0.05, 0.95);
  file.endGroup();
  file.beginGroup(QStringLiteral("list"));
  for (int w : IntsOf(file.value(QStringLiteral("columnWidths")).toString())) s.columnWidths << std::clamp(w, 0, 10000);
  file.endGroup();
  return s;
}

bool SaveWindowState(const QString& path, const WindowState& s) {
  QSettings file(path, QSettings::IniFormat);
  file.clear();
  file.beginGroup(QStringLiteral("window"));
  if (s.frameKnown)
    file.setValue(QStringLiteral("frame"),
                  IntsText({s.frame.left(), s.frame.top(), s.frame.right(), s.frame.bottom()}));
  file.setValue(QStringLiteral("maximized"), s.maximized ? QStringLiteral("true") : QStringLiteral("false"));
  file.setValue(QStringLiteral("previewShare"), QString::number(s.previewShare, 'f', 3));
  file.endGroup();
  file.beginGroup(QStringLiteral("list"));
  file.setValue(QStringLiteral("columnWidths"), IntsText(s.columnWidths));
  file.endGroup();
  file.sync();
  return file.status() == QSettings::NoError;
}

QRect PlaceOnScreen(QPoint frameTopLeft, QSize clientSize, QMargins frame, QRect available, QSize minimum) {
  const int frameW = frame.left() + frame.right(), frameH = frame.top() + frame.bottom();
  const QSize size(std::clamp(clientSize.width(), minimum.width(), std::max(minimum.width(), available.width() - frameW)),
                   std::clamp(clientSize.height(), minimum.height(),
                              std::max(minimum.height(), available.height() - frameH)));
  // The frame's corner: inside the area where the frame fits, else at its top left, so that the
  // title bar (the frame's top) can always be reached.
  const int left = std::clamp(frameTopLeft.x(), available.left(),
                              std::max(available.left(), available.right() + 1 - size.width() - frameW));
  const int top = std::clamp(frameTopLeft.y(), available.top(),
                             std::max(available.top(), available.bottom() + 1 - size.height() - frameH));
  return {QPoint(left + frame.left(), top + frame.top()), size};
}

}  // namespace dravik
