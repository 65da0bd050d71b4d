// dravik-thumbnail: the picture file managers show for a drawing (a freedesktop thumbnailer, see
// dravik.thumbnailer): dravik-thumbnail --size 256 drawing.jww out.png
#include <CLI/CLI.hpp>
#include <QGuiApplication>
#include <QSaveFile>
#include <QUrl>
#include <cstdio>
#include <exception>
#include <string>

#include "thumbnail/Thumbnail.h"

// Whatever was not foreseen (lack of memory among it) ends as one line and exit 1, never an abort.
int main(int argc, char** argv) try {
  CLI::App app{"Writes a PNG picture of a Jw_cad drawing (.jww) for file managers: the paper with\n"
               "what is drawn on it, the longer side SIZE pixels."};
  int size = 256;
  std::string input, output;
  app.add_option("-s,--size", size, "Longer side of the picture in pixels")
      ->capture_default_str()
      ->check(CLI::Range(16, 1024));
  app.add_option("input", input, "The drawing: a path or a file:// URI")->required();
  app.add_option("output", output, "The PNG to write; replaced only when the picture is complete")
      ->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "dravik-thumbnail: %s\nTry 'dravik-thumbnail --help' for more information.\n",
                 e.what());
    return 2;
  }

  // File managers run thumbnailers without a display; fonts are all the painter needs. The
  // toolkit's own notices (a missing runtime folder and the like) are no concern of the caller's.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  int qtArgc = 1;
  QGuiApplication gui(qtArgc, argv);

  QString path = QString::fromStdString(input);
  if (path.startsWith(QLatin1String("file:"))) path = QUrl(path).toLocalFile();
  const QImage picture = dravik::DrawingThumbnail(path, size);
  if (picture.isNull()) {
    std::fprintf(stderr, "dravik-thumbnail: %s: not a readable drawing\n", input.c_str());
    return 1;
  }
  QSaveFile out(QString::fromStdString(output));
  if (!out.open(QIODevice::WriteOnly) || !picture.save(&out, "PNG") || !out.commit()) {
    std::fprintf(stderr, "dravik-thumbnail: cannot write %s\n", output.c_str());
    return 1;
  }
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "dravik-thumbnail: %s\n", e.what());
  return 1;
} catch (...) {
  std::fprintf(stderr, "dravik-thumbnail: unexpected failure\n");
  return 1;
}
