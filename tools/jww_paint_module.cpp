// The painted exports of jww convert (PDF, SVG, PNG), built as a module that jww loads only when
// a picture is asked for: the toolkit they need takes about ten milliseconds of every start of a
// program linked with it, which every other jww command would otherwise pay.
#include <QGuiApplication>

#include <cstdlib>

#include "painter/ScenePainter.h"
#include "tools/jww_paint.h"

extern "C" bool jww_paint(const scene::Scene* s, const char* out, const char* format, double dpi) {
  // Fonts need a GUI application; no display is needed for drawing into files.
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The toolkit's own diagnostics (missing runtime folder and the like) are no concern of
  // the user's; the tool says what failed itself.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  int argc = 1;
  char name[] = "jww";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  const QString path = QString::fromUtf8(out);
  const std::string f = format;
  return f == "pdf" ? scene::WritePdf(*s, path)
         : f == "svg" ? scene::WriteSvg(*s, path)
                      : scene::WritePng(*s, path, dpi);
}
