// jww convert: a drawing read and written again, as the same or another format version.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/codepage.h"
#include "scene/Scene.h"
#include "tools/jww_commands.h"

namespace jwwtool {

int Convert(int argc, char** argv) {
  CLI::App app{"Reads a drawing and writes it as a JWW file of the given format version (by default "
               "its own; bound images go along when both drawings are version 700), or, by the "
               "output's extension or --format, as PDF, SVG or PNG at its paper size and scales, or as DXF."};
  std::string in, out;
  std::optional<int> version;
  app.add_option("input", in, "The drawing to read (.jww, or .dxf to convert from DXF)")->required();
  app.add_option("output", out, "The file to write (.jww .pdf .svg .png .dxf); an existing file is replaced only on success")->required();
  app.add_option("--version", version, "Format version to write, 220..700")->check(CLI::Range(220, 700));
  std::string format;
  app.add_option("--format", format, "What to write whatever the output's extension: jww, pdf, svg, png or dxf")
      ->check(CLI::IsMember(std::vector<std::string>(std::begin(kOutputFormats), std::end(kOutputFormats))));
  ExportOptions picture;
  AddPictureOptions(app, picture);
  std::string scale, paper;
  app.add_option("--scale", scale, "DXF input: the scale, as 1:50 or 50 (default: the smallest that fits the paper)");
  app.add_option("--paper", paper, "DXF input: the paper, A4..A0 landscape (default: chosen from the extents)");
  if (int status; !ParseOptions(app, argc, argv, status)) return status;
  const bool dxfIn = IsDxfInput(in);
  if (!dxfIn && (!scale.empty() || !paper.empty())) {
    std::fprintf(stderr, "jww: --scale and --paper apply to DXF input only\n");
    return 2;
  }
  // An output named out.jpg is not silently written as a drawing: the extension must say what to write.
  if (format.empty()) format = ExportFormat(out);
  if (format.empty()) {
    std::string known;
    for (const char* f : kOutputFormats) known += std::string(" .") + f;
    std::fprintf(stderr, "jww: %s: unknown output type (known:%s; or give --format)\n", Shown(out).c_str(),
                 known.c_str());
    return 2;
  }
  // A mistyped folder is told before the drawing is read and painted.
  if (!OutputPossible(out, OutputNoun(format))) return 1;
  if (dxfIn) return ConvertDxf(in, out, format, version, scale, paper, picture);
  if (format != "jww") {
    if (version) {
      std::fprintf(stderr, "jww: --version applies to .jww output only\n");
      return 2;
    }
    return Export(in, out, format, picture);
  }
  for (const char* o : {"--color", "--mono", "--aux", "--dot-mm"})
    if (app.count(o)) {
      std::fprintf(stderr, "jww: %s applies to picture and DXF output only\n", o);
      return 2;
    }

  jww::TJwwData d;
  // Bound images are carried in memory, under no file name: a name too long for the file system,
  // one that is no valid text, two images of one name and a full temporary folder cannot lose
  // one on the way. Only version 700 drawings hold images.
  d.BindImageKeep = true;
  if (!ReadDrawing(d, in, std::nullopt)) return 1;
  const int ver = version.value_or(d.Enthd.jwVer);
  if (!d.FileOut(jww::PathFromNative(out), ver)) {
    std::fprintf(stderr, "jww: %s: cannot write a version %d drawing: %s\n", out.c_str(), ver,
                 d.LastError().message.c_str());
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
