// jww convert to PDF, SVG, PNG or DXF: the drawing's scene, painted or written as DXF.
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "common/codepage.h"
#include "painter/ScenePainter.h"
#include "scene/DxfOut.h"
#include "tools/jww_commands.h"

namespace jwwtool {

std::string ExportFormat(const std::string& out) {
  const size_t dot = out.rfind('.');
  if (dot == std::string::npos || out.find('/', dot) != std::string::npos) return {};
  std::string ext = out.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == "pdf" || ext == "svg" || ext == "png" || ext == "dxf" ? ext : std::string();
}

int Export(const std::string& in, const std::string& out, const std::string& format, double dpi) {
  jww::TJwwData d;
  if (!ReadDrawing(d, in, std::nullopt)) return 1;
  const scene::Scene s = scene::Build(d);
  bool ok = false;
  if (format == "dxf") {
    ok = scene::WriteDxf(s, jww::Utf8ToStr(out));
  } else {
    // Fonts need a GUI application; no display is needed for drawing into files.
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The toolkit's own diagnostics (missing runtime folder and the like) are no concern of
    // the user's; the tool says what failed itself.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    int argc = 1;
    char name[] = "jww";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const QString path = QString::fromStdString(out);
    ok = format == "pdf" ? scene::WritePdf(s, path)
         : format == "svg" ? scene::WriteSvg(s, path)
                           : scene::WritePng(s, path, dpi);
  }
  if (!ok) {
    std::fprintf(stderr, "jww: %s: cannot write the %s file\n", out.c_str(), format.c_str());
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
