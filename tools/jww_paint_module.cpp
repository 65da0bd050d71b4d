// The painted exports of jww convert and jww fill (PDF, SVG, PNG), built as a module that jww loads only when
// a picture is asked for: the toolkit they need takes about ten milliseconds of every start of a
// program linked with it, which every other jww command would otherwise pay.
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/codepage.h"
#include "painter/ScenePainter.h"
#include "tools/jww_paint.h"

extern "C" bool jww_paint_job(JwwPaintJob* job) {
  if (job->size != sizeof(JwwPaintJob)) {
    job->refusedJob = true;
    return false;
  }
  // Fonts need a GUI application; no display is needed for drawing into files.
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The toolkit's own diagnostics (missing runtime folder and the like) are no concern of
  // the user's; the tool says what failed itself.
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  int argc = 1;
  char name[] = "jww";
  char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  // The name's bytes as UTF-16 that gives them back (UTF-8 decoding would turn a Shift-JIS name
  // into replacement characters).
  const QString path = QString::fromStdU16String(jww::PathFromNative(job->out));
  const std::string f = job->format;
  scene::PaintOptions o;
  o.budget = job->budget;
  o.fitDrawing = job->fitDrawing;
  if (job->progress)
    o.progress = [job](const char* stage, double fraction) { job->progress(job->context, stage, fraction); };
  scene::PaintReport r;
  const bool ok = job->pages  ? f == "pdf" && scene::WritePdfPages(std::vector<const scene::Scene*>(
                                                 job->pages, job->pages + std::max(job->pageCount, 0)),
                                             path, o, &r)
                  : f == "pdf" ? scene::WritePdf(*job->scene, path, o, &r)
                  : f == "svg" ? scene::WriteSvg(*job->scene, path, o, &r)
                               : scene::WritePng(*job->scene, path, job->dpi, o, &r);
  job->overBudget = r.overBudget;
  job->tooManyPixels = r.tooManyPixels;
  job->pixels = r.pixels;
  job->maxPixels = scene::kMaxPixels;
  job->maxDpi = r.maxDpi;
  job->work = r.walk.work;
  job->unrepresentable = r.walk.unrepresentable;
  std::snprintf(job->reason, sizeof job->reason, "%s", r.reason.c_str());
  return ok;
}
