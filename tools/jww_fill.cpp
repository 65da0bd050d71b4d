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
                  double dpi, scene::Look look, dravik::FillAnchor anchor, std::string& why) {
  if (format == "dxf") look.colour = scene::Look::Colour::Colour;
  using Paint = decltype(&jww_paint_job);
  using PaintPages = decltype(&jww_paint_pdf_pages);
  Paint paint = nullptr;
  PaintPages pages = nullptr;
  if (format == "pdf") pages = reinterpret_cast<PaintPages>(PaintEntry("jww_paint_pdf_pages", why));
  else if (format != "dxf") paint = reinterpret_cast<Paint>(PaintEntry("jww_paint_job", why));
  if (format != "dxf" && !paint && !pages) {
    why = "cannot load the " + format + " export: " + why;
    return false;
  }
  const std::u16string out16 = jww::PathFromNative(out);
  std::vector<scene::Scene> scenes;
  std::vector<std::u16string> written;
  bool ok = true;
  for (int64_t k = 1; ok && k <= plan.SheetCount(); ++k) {
    plan.Apply(k, anchor);
    scene::Scene s = scene::Build(doc, look);
    if (pages) {
      scenes.push_back(std::move(s));
      continue;
    }
    const std::u16string name = dravik::SheetName(out16, k);
    const std::string name8 = jww::NativePath(name);
    JwwPaintJob job;
    job.scene = &s;
    job.out = name8.c_str();
    job.format = format.c_str();
    job.dpi = dpi;
    ok = format == "dxf" ? scene::WriteDxf(s, name) : paint(&job);
    if (ok) written.push_back(name);
    else why = Shown(name8) + ": cannot write the " + format + " file" +
               (job.overBudget ? " (the picture would take more work than a picture may)"
                : job.tooManyPixels ? " (too many pixels; a lower --dpi fits)" : "");
  }
  plan.Restore();
  if (pages) {
    std::vector<const scene::Scene*> list;
    for (const scene::Scene& s : scenes) list.push_back(&s);
    ok = pages(list.data(), static_cast<int>(list.size()), out.c_str());
    if (!ok) why = out + ": cannot write the pdf file";
  }
  if (!ok)
    for (const std::u16string& name : written) jww::DeleteFileIfExists(name);
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
  double dpi = 150;
  app.add_option("template", tpl, "The template drawing (.jww) whose texts hold keys such as %%1f, %%1DT, %%PA")->required();
  app.add_option("list", list, "The list file (code page 932, key TAB value)")->required();
  app.add_option("output", out, "The file to write (.jww .pdf .svg .png .dxf); existing files are replaced only on success")->required();
  app.add_option("--anchor", anchorName, "The point of a changed text that stays in place: start (default), centre or end")
      ->check(CLI::IsMember({"start", "centre", "center", "end"}));
  app.add_option("--version", version, "Format version of .jww output, 220..700 (default the template's)")
      ->check(CLI::Range(220, 700));
  app.add_option("--dpi", dpi, "Resolution of a PNG, 10..1200 (default 150)")->check(CLI::Range(10.0, 1200.0));
  app.add_option("--format", format, "What to write whatever the output's extension: jww, pdf, svg, png or dxf")
      ->check(CLI::IsMember(std::vector<std::string>(std::begin(kOutputFormats), std::end(kOutputFormats))));
  scene::Look look;
  AddLookOptions(app, look);
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
  const dravik::FillAnchor anchor = anchorName == "end"     ? dravik::FillAnchor::kEnd
                                    : anchorName == "start" ? dravik::FillAnchor::kStart
                                                            : dravik::FillAnchor::kCentre;

  dravik::ListValues values;
  std::string why;
  if (!dravik::ReadListFile(jww::PathFromNative(list), values, why)) {
    std::fprintf(stderr, "jww: %s: not a list file: %s\n", Shown(list).c_str(), why.c_str());
    return 2;
  }

  jww::TJwwData doc;
  dravik::TemplateImages images;
  if (!dravik::ReadTemplate(jww::PathFromNative(tpl), doc, images, why)) {
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
    ok = dravik::WriteFilledSheets(doc, plan, out16, ver, anchor, why);
  } else {
    ok = ExportSheets(doc, plan, out, format, dpi, look, anchor, why);
  }
  if (!ok) {
    std::fprintf(stderr, "jww: %s\n", why.c_str());
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
