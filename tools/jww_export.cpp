// jww convert to PDF, SVG, PNG or DXF: the drawing's scene, painted or written as DXF.
#include <CLI/CLI.hpp>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

using PaintFn = decltype(&jww_paint_job);

PaintFn LoadPainter(std::string& why) { return reinterpret_cast<PaintFn>(PaintEntry("jww_paint_job", why)); }

}  // namespace

// The painting module: beside the program in a build folder, in the library folder of an
// installed one (its path relative to the program's folder is set at build time).
void* PaintEntry(const char* symbol, std::string& why) {
  std::string self(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", self.data(), self.size() - 1);
  const std::string dir = n > 0 ? self.substr(0, self.find_last_of('/', static_cast<size_t>(n)) + 1) : "./";
  for (const std::string& path : {dir + JWW_PAINT_MODULE, dir + DRAVIK_PAINT_MODULE_REL "/" JWW_PAINT_MODULE}) {
    if (void* lib = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (void* fn = ::dlsym(lib, symbol)) return fn;
      why = ::dlerror();
      return nullptr;
    }
    if (why.empty()) why = ::dlerror();
  }
  return nullptr;
}

// Signs of life for long work: the stage and how far it got, on standard error when that is a
// terminal, a few times a second at most, rewritten in place and cleared at the end.
Progress::Progress(bool quiet) : on_(!quiet && ::isatty(STDERR_FILENO)) {}

Progress::~Progress() { Clear(); }

void Progress::Show(const char* stage, double fraction) {
  if (!on_) return;
  const auto now = std::chrono::steady_clock::now();
  if (stage == stage_ && now - last_ < std::chrono::milliseconds(250)) return;
  last_ = now;
  stage_ = stage;
  // The cursor goes back to the line's start, so that a message printed meanwhile (a failed
  // read) overwrites the line rather than follow it.
  if (fraction < 0) std::fprintf(stderr, "\rjww: %s...\033[K\r", stage);
  else std::fprintf(stderr, "\rjww: %s %3d%%\033[K\r", stage, int(std::clamp(fraction, 0.0, 1.0) * 100));
  shown_ = true;
}

void Progress::Clear() {
  if (shown_) std::fputs("\r\033[K", stderr);
  shown_ = false;
}

void Progress::Callback(void* self, const char* stage, double fraction) {
  static_cast<Progress*>(self)->Show(stage, fraction);
}

void AddPictureOptions(CLI::App& app, ExportOptions& o) {
  app.add_option("--dpi", o.dpi, "Resolution of a PNG, 10..1200 (default 150)")->check(CLI::Range(10.0, 1200.0));
  AddLookOptions(app, o.look);
  app.add_option_function<std::string>(
         "--fit", [&o](const std::string& fit) { o.fitDrawing = fit == "drawing"; },
         "What a PDF, SVG or PNG shows: the whole paper (paper, the default) or the drawn content plus a "
         "margin (drawing)")
      ->check(CLI::IsMember({"paper", "drawing"}));
  app.add_option("--budget", o.budget, "Most work a PDF, SVG or PNG may take, in items (each "
                 "primitive, character, curve segment, dash and insertion is one; default "
                 + std::to_string(scene::kDefaultBudget) + ")")->check(CLI::Range(size_t(1), size_t(1) << 40));
  app.add_flag("-q,--quiet", o.quiet, "No progress on a terminal");
}

void FillPaintJob(JwwPaintJob& job, const ExportOptions& o) {
  job.dpi = o.dpi;
  if (o.budget) job.budget = o.budget;
  job.fitDrawing = o.fitDrawing;
}

std::string PaintFailure(const JwwPaintJob& job, const std::string& out, const std::string& format, double dpi) {
  char line[512];
  if (job.refusedJob)
    std::snprintf(line, sizeof line, "the %s export module belongs to another build of jww", format.c_str());
  else if (job.overBudget)
    std::snprintf(line, sizeof line, "%s: the picture would hold more than %zu items; nothing written "
                  "(--budget sets the limit)", Shown(out).c_str(), job.budget);
  else if (job.tooManyPixels && job.maxDpi >= 1)
    std::snprintf(line, sizeof line, "%s: at %g dpi the picture would have %.0f million pixels, more than "
                  "the %.0f million a picture may have; %g dpi is the most that fits (or use --fit drawing)",
                  Shown(out).c_str(), dpi, job.pixels / 1e6, job.maxPixels / 1e6, job.maxDpi);
  else if (job.tooManyPixels)
    std::snprintf(line, sizeof line, "%s: the picture would have more than the %.0f million pixels a picture may have",
                  Shown(out).c_str(), job.maxPixels / 1e6);
  else
    std::snprintf(line, sizeof line, "%s: cannot write the %s file: %s", Shown(out).c_str(), format.c_str(),
                  job.reason[0] ? job.reason : "the picture could not be made");
  return line;
}

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

int Export(const std::string& in, const std::string& out, const std::string& format,
           const ExportOptions& o) {
  Progress progress(o.quiet);
  progress.Show("reading");
  jww::TJwwData d;
  if (!ReadDrawing(d, in, std::nullopt)) {
    progress.Clear();
    return 1;
  }
  progress.Clear();
  return ExportDrawing(d, out, format, o);
}

int ExportDrawing(const jww::TJwwData& d, const std::string& out, const std::string& format,
                  const ExportOptions& o) {
  Progress progress(o.quiet);
  progress.Show("building the picture");
  // The DXF is for exchange: it keeps the pens' print colours whatever the colour printing says.
  scene::Look how = o.look;
  if (format == "dxf") how.colour = scene::Look::Colour::Colour;
  const scene::Scene s = scene::Build(d, how);
  bool ok = false;
  size_t leftOut = 0;
  JwwPaintJob job;
  std::string reason;  // why the DXF could not be written
  if (format == "dxf") {
    ok = scene::WriteDxf(s, jww::PathFromNative(out), &leftOut, &reason);
  } else {
    std::string why;
    PaintFn paint = LoadPainter(why);
    if (!paint) {
      progress.Clear();
      std::fprintf(stderr, "jww: cannot load the %s export: %s\n", format.c_str(), why.c_str());
      return 1;
    }
    job.scene = &s;
    job.out = out.c_str();
    job.format = format.c_str();
    FillPaintJob(job, o);
    job.progress = &Progress::Callback;
    job.context = &progress;
    ok = paint(&job);
    leftOut = job.unrepresentable;
    reason = job.reason;
  }
  progress.Clear();
  if (!ok) {
    if (format == "dxf")
      std::fprintf(stderr, "jww: %s: cannot write the dxf file: %s\n", Shown(out).c_str(),
                   reason.empty() ? "the picture could not be made" : reason.c_str());
    else
      std::fprintf(stderr, "jww: %s\n", PaintFailure(job, out, format, o.dpi).c_str());
    return 1;
  }
  if (leftOut)
    std::fprintf(stderr, "jww: %s: %zu primitive%s left out: beyond the coordinates the file can hold\n",
                 Shown(out).c_str(), leftOut, leftOut == 1 ? "" : "s");
  return 0;
}

}  // namespace jwwtool
