// jww convert to PDF, SVG, PNG or DXF: the drawing's scene, painted or written as DXF.
#include <CLI/CLI.hpp>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/codepage.h"
#include "scene/DxfOut.h"
#include "tools/jww_commands.h"
#include "tools/jww_paint.h"

namespace jwwtool {

std::string ExportFormat(const std::string& out) {
  const size_t dot = out.rfind('.');
  if (dot == std::string::npos || out.find('/', dot) != std::string::npos) return {};
  std::string ext = out.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* known : kOutputFormats)
    if (ext == known) return ext;
  return {};
}

namespace {

using PaintFn = decltype(&jww_paint);

// The painting module: beside the program in a build folder, in the library folder of an
// installed one (its path relative to the program's folder is set at build time).
PaintFn LoadPainter(std::string& why) {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  const std::string dir = n > 0 ? self.substr(0, self.find_last_of('/', static_cast<size_t>(n)) + 1) : "./";
  for (const std::string& path : {dir + JWW_PAINT_MODULE, dir + DRAVIK_PAINT_MODULE_REL "/" JWW_PAINT_MODULE}) {
    if (void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (auto fn = reinterpret_cast<PaintFn>(::dlsym(lib, "jww_paint"))) return fn;
      why = ::dlerror();
      return nullptr;
    }
    if (why.empty()) why = ::dlerror();
  }
  return nullptr;
}

}  // namespace

void AddLookOptions(CLI::App& app, scene::Look& look) {
  auto* color = app.add_flag_callback("--color", [&look] { look.colour = scene::Look::Colour::Colour; },
                                      "Print colours even when the drawing's colour printing is off");
  auto* mono = app.add_flag_callback("--mono", [&look] { look.colour = scene::Look::Colour::Mono; },
                                     "Print in black (solids in grey) even when the drawing prints in colour");
  color->excludes(mono);
  app.add_flag("--aux", look.aux, "Draw the auxiliary lines and texts too (never printed by default)");
  app.add_option("--dot-mm", look.dotMm,
                 "Size of a printer dot in mm, for drawings whose pen widths are in dots (default 0.085, 300 dpi)")
      ->check(CLI::Range(0.01, 1.0));
}

int Export(const std::string& in, const std::string& out, const std::string& format, double dpi,
           const scene::Look& look) {
  jww::TJwwData d;
  if (!ReadDrawing(d, in, std::nullopt)) return 1;
  // The DXF is for exchange: it keeps the pens' print colours whatever the colour printing says.
  scene::Look how = look;
  if (format == "dxf") how.colour = scene::Look::Colour::Colour;
  const scene::Scene s = scene::Build(d, how);
  bool ok = false;
  if (format == "dxf") {
    ok = scene::WriteDxf(s, jww::Utf8ToStr(out));
  } else {
    std::string why;
    PaintFn paint = LoadPainter(why);
    if (!paint) {
      std::fprintf(stderr, "jww: cannot load the %s export: %s\n", format.c_str(), why.c_str());
      return 1;
    }
    ok = paint(&s, out.c_str(), format.c_str(), dpi);
  }
  if (!ok) {
    std::fprintf(stderr, "jww: %s: cannot write the %s file\n", out.c_str(), format.c_str());
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
