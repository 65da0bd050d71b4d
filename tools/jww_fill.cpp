// jww fill: the drawing index sheet. A template drawing whose texts hold list-file keys, filled
// from a list file, written as drawings (one per sheet) or straight as pictures or DXF.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/Func_2.h"
#include "common/codepage.h"
#include "list/Fill.h"
#include "scene/DxfOut.h"
#include "tools/jww_commands.h"
#include "tools/jww_paint.h"

namespace jwwtool {

namespace {

// Writes the sheets as pictures or DXF: one file a sheet, or one PDF of a page a sheet. All or
// nothing: files written before a failure are deleted.
bool ExportSheets(jww::TJwwData& doc, dravik::FillPlan& plan, const std::string& out, const std::string& format,
                  const ExportOptions& o, dravik::FillAnchor anchor, Progress& progress, std::string& why) {
  scene::Look look = o.look;
  if (format == "dxf") look.colour = scene::Look::Colour::Colour;
  using Paint = decltype(&jww_paint_job);
  Paint paint = nullptr;
  if (format != "dxf") {
    paint = reinterpret_cast<Paint>(PaintEntry("jww_paint_job", why));
    if (!paint) {
      why = "cannot load the " + format + " export: " + why;
      return false;
    }
  }
  const std::u16string out16 = jww::PathFromNative(out);
  const int64_t sheets = plan.SheetCount();
  std::vector<scene::Scene> scenes;
  std::vector<std::u16string> written;
  size_t leftOut = 0;
  bool ok = true;
  for (int64_t k = 1; ok && k <= sheets; ++k) {
    progress.Show("filling the sheets", static_cast<double>(k - 1) / static_cast<double>(sheets));
    plan.Apply(k, anchor);
    scene::Scene s = scene::Build(doc, look);
    if (format == "pdf") {
      scenes.push_back(std::move(s));
      continue;
    }
    const std::u16string name = dravik::SheetName(out16, k);
    const std::string name8 = jww::NativePath(name);
    if (format == "dxf") {
      size_t n = 0;
      std::string reason;
      ok = scene::WriteDxf(s, name, &n, &reason);
      leftOut += n;
      if (!ok) why = Shown(name8) + ": cannot write the dxf file: " + reason;
    } else {
      JwwPaintJob job;
      job.scene = &s;
      job.out = name8.c_str();
      job.format = format.c_str();
      FillPaintJob(job, o);
      ok = paint(&job);
      leftOut += job.unrepresentable;
      if (!ok) why = PaintFailure(job, name8, format, o.dpi);
    }
    if (ok) written.push_back(name);
  }
  plan.Restore();
  if (ok && format == "pdf") {
    std::vector<const scene::Scene*> pages;
    for (const scene::Scene& s : scenes) pages.push_back(&s);
    JwwPaintJob job;
    job.pages = pages.data();
    job.pageCount = static_cast<int>(pages.size());
    job.out = out.c_str();
    job.format = "pdf";
    FillPaintJob(job, o);
    job.progress = &Progress::Callback;
    job.context = &progress;
    ok = paint(&job);
    leftOut = job.unrepresentable;
    if (!ok) why = PaintFailure(job, out, format, o.dpi);
  }
  progress.Clear();
  if (!ok)
    for (const std::u16string& name : written) jww::DeleteFileIfExists(name);
  else if (leftOut)
    std::fprintf(stderr, "jww: %s: %zu primitive%s left out: beyond the coordinates the file can hold\n",
                 Shown(out).c_str(), leftOut, leftOut == 1 ? "" : "s");
  return ok;
}

}  // namespace

int Fill(int argc, char** argv) {
  CLI::App app{"Fills a template drawing from a list file (dravik-list): every key of the list in the "
               "template's texts (its own, its block definitions', its dimensions') is replaced by its "
               "value. Rows per sheet are the largest slot number in the template; more drawings than "
               "rows give more sheets: out.jww, out-2.jww, ... (one page a sheet in a PDF). The "
               "template is never changed."};
  std::string tpl, list, out, anchorName = "start", format;
  std::optional<int> version;
  app.add_option("template", tpl, "The template drawing (.jww) whose texts hold keys such as %%1f, %%1DT, %%PA")->required();
  app.add_option("list", list, "The list file (code page 932, key TAB value)")->required();
  app.add_option("output", out, "The file to write (.jww .pdf .svg .png .dxf); existing files are replaced only on success")->required();
  app.add_option("--anchor", anchorName, "The point of a changed text that stays in place: start (default), centre or end")
      ->check(CLI::IsMember({"start", "centre", "center", "end"}));
  app.add_option("--version", version, "Format version of .jww output, 220..700 (default the template's)")
      ->check(CLI::Range(220, 700));
  app.add_option("--format", format, "What to write whatever the output's extension: jww, pdf, svg, png or dxf")
      ->check(CLI::IsMember(std::vector<std::string>(std::begin(kOutputFormats), std::end(kOutputFormats))));
  ExportOptions picture;
  AddPictureOptions(app, picture);
  if (int status; !ParseOptions(app, argc, argv, status)) return status;
  if (format.empty()) format = ExportFormat(out);
  if (format.empty()) {
    std::fprintf(stderr, "jww: %s: unknown output type (known: .jww .pdf .svg .png .dxf; or give --format)\n",
                 Shown(out).c_str());
    return 2;
  }
  if (format != "jww" && version) {
    std::fprintf(stderr, "jww: --version applies to .jww output only\n");
    return 2;
  }
  // Every sheet goes to the output's folder: a mistyped one is told before anything is read.
  if (!OutputPossible(out, OutputNoun(format))) return 1;
  const dravik::FillAnchor anchor = anchorName == "end"     ? dravik::FillAnchor::kEnd
                                    : anchorName == "start" ? dravik::FillAnchor::kStart
                                                            : dravik::FillAnchor::kCentre;

  Progress progress(picture.quiet);
  progress.Show("reading the list");
  dravik::ListValues values;
  std::string why;
  const bool listRead = dravik::ReadListFile(jww::PathFromNative(list), values, why);
  progress.Clear();
  if (!listRead) {
    std::fprintf(stderr, "jww: %s: not a list file: %s\n", Shown(list).c_str(), why.c_str());
    return 2;
  }

  jww::TJwwData doc;
  dravik::TemplateImages images;
  progress.Show("reading the template");
  const bool templateRead = dravik::ReadTemplate(jww::PathFromNative(tpl), doc, images, why);
  progress.Clear();
  if (!templateRead) {
    if (!why.empty()) {
      std::fprintf(stderr, "jww: %s\n", why.c_str());
      return 1;
    }
    return ReportRead(doc, tpl, false) ? 0 : 2;
  }

  dravik::FillPlan plan(doc, values);
  if (plan.KeyCount() == 0) {
    std::fprintf(stderr, "jww: no %%%% key in the template\n");
    return 1;
  }
  const std::u16string tpl16 = jww::PathFromNative(tpl), out16 = jww::PathFromNative(out);
  const int64_t sheets = format == "pdf" ? 1 : plan.SheetCount();
  for (int64_t k = 1; k <= sheets; ++k)
    if (dravik::SameFile(tpl16, dravik::SheetName(out16, k))) {
      std::fprintf(stderr, "jww: %s: is the template itself, which is never replaced\n",
                   Shown(jww::NativePath(dravik::SheetName(out16, k))).c_str());
      return 2;
    }

  bool ok;
  if (format == "jww") {
    const int ver = version.value_or(doc.Enthd.jwVer);
    ok = dravik::WriteFilledSheets(doc, plan, out16, ver, anchor, why, [&progress](int64_t done, int64_t n) {
      progress.Show("writing the sheets", static_cast<double>(done) / static_cast<double>(n));
    });
    progress.Clear();
  } else {
    ok = ExportSheets(doc, plan, out, format, picture, anchor, progress, why);
  }
  if (!ok) {
    std::fprintf(stderr, "jww: %s\n", why.c_str());
    return 1;
  }
  if (const int64_t stale = format == "pdf" ? 0 : dravik::StaleSheets(out16, sheets))
    std::fprintf(stderr, "jww: %s\n", Shown(dravik::StaleSheetsNote(out16, sheets, stale)).c_str());
  return 0;
}

}  // namespace jwwtool
