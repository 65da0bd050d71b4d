// What the window keeps of its layout between runs beyond the seven lines of the settings file
// (which keep the frame's left and top and the client area's width and height, and nothing else):
// the frame's margins as last seen, whether it was maximised, the preview's share of the width and
// the column widths the user set. An INI file beside the settings file (WindowStatePath).
#pragma once

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace dravik {

struct WindowState {
  /// The client area's distance from the frame's edges (the title bar is in `top`), as the window
  /// manager drew them the last time the window was not maximised.
  QMargins frame;
  bool frameKnown = false;  ///< false before any run has seen the frame
  bool maximized = false;
  double previewShare = 0.4;  ///< the preview's part of the width it shares with the list
  QList<int> columnWidths;    ///< per column of the list; 0 for a column that takes its share
};

/// The state kept in `path`; defaults for a missing file and for each missing or malformed value.
WindowState LoadWindowState(const QString& path);
/// Writes the state; a failure is silent (false).
bool SaveWindowState(const QString& path, const WindowState& state);

/// The client area of a window whose frame's top-left corner is kept at `frameTopLeft` and whose
/// client area is `clientSize`, with `frame` margins around it, brought onto `available`: no
/// larger than the area less the frame (no smaller than `minimum`), the whole frame inside when it
/// fits and the title bar always.
QRect PlaceOnScreen(QPoint frameTopLeft, QSize clientSize, QMargins frame, QRect available, QSize minimum);

}  // namespace dravik
