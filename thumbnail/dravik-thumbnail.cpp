// dravik-thumbnail: the picture file managers show for a drawing (a freedesktop thumbnailer, see
// dravik.thumbnailer): dravik-thumbnail --size 256 drawing.jww out.png
#include <CLI/CLI.hpp>
#include <QGuiApplication>
#include <QBuffer>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "common/Func_2.h"

#include "thumbnail/Thumbnail.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The file a path or a file:// URI names, as bytes: "%E9" gives the byte 0xE9 whatever text it is
// part of. A host other than "localhost" is kept in the path and will not be found.
std::string LocalPath(const std::string& arg) {
  if (arg.compare(0, 5, "file:") != 0) return arg;
  std::string rest = arg.substr(5);
  if (rest.compare(0, 2, "//") == 0) {
    rest.erase(0, 2);
    if (rest.compare(0, 9, "localhost") == 0) rest.erase(0, 9);
  }
  std::string out;
  for (size_t i = 0; i < rest.size(); ++i) {
    int hi, lo;
    if (rest[i] == '%' && i + 2 < rest.size() && (hi = HexDigit(rest[i + 1])) >= 0 &&
        (lo = HexDigit(rest[i + 2])) >= 0) {
      out.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else if (rest[i] == '?' || rest[i] == '#') {
      break;  // a query or fragment names no part of the file
    } else {
      out.push_back(rest[i]);
    }
  }
  return out;
}

// Why no picture came from `file`: the system's reason when it cannot be opened.
std::string Unreadable(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::strerror(errno);
  ::close(fd);
  return "not a readable drawing";
}

}  // namespace

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
    std::fprintf(stderr, "dravik-thumbnail: %s (see 'dravik-thumbnail --help')\n", e.what());
    return 2;
  }

  // File managers run thumbnailers without a display; fonts are all the painter needs. The
  // toolkit's own notices (a missing runtime folder and the like) are no concern of the caller's.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  int qtArgc = 1;
  QGuiApplication gui(qtArgc, argv);

  // Names are bytes: a Shift-JIS name must reach the same file, so paths go through the
  // byte-preserving conversion, never through UTF-8 decoding.
  const std::string file = LocalPath(input);
  const QString path = QString::fromStdU16String(jww::PathFromNative(file));
  const QImage picture = dravik::DrawingThumbnail(path, size);
  if (picture.isNull()) {
    std::fprintf(stderr, "dravik-thumbnail: %s: %s\n", input.c_str(), Unreadable(file).c_str());
    return 1;
  }
  QByteArray png;
  QBuffer buffer(&png);
  if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "PNG")) {
    std::fprintf(stderr, "dravik-thumbnail: cannot write %s: the PNG encoder failed\n", output.c_str());
    return 1;
  }
  // Every write, the sync and the close are checked before the picture replaces an old one: a full
  // disk keeps the old thumbnail rather than leaving an empty or cut one.
  std::string why;
  if (!jww::WriteFileAtomic(jww::PathFromNative(output), std::string_view(png.constData(), static_cast<size_t>(png.size())),
                            &why)) {
    std::fprintf(stderr, "dravik-thumbnail: cannot write %s: %s\n", output.c_str(), why.c_str());
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
