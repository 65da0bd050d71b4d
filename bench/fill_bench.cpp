// The index sheet: a template of 200 rows filled from the list file of 10,000 drawings (50 sheets),
// beside writing the same 50 filled sheets with FileOut alone, measured in the same run.
// BM_FillSheets reports `x_fileout`: its time (list file read and parsed, template read, keys
// found, 50 sheets filled and written) divided by BM_FileOutSheets's.
#include <benchmark/benchmark.h>

#include "bench/baseline.h"
#include "common/Func_2.h"
#include "common/codepage.h"
#include "list/Fill.h"
#include "tests/jww_bytes.h"

namespace {

constexpr int kRows = 200;
constexpr int kDrawings = 10000;
const char* const kColumns[] = {"f", "DT", "SZ", "p", "SS0", "m1", "fs1", "e"};

jwwtest::TempDir& Dir() {
  static jwwtest::TempDir dir;
  return dir;
}

// A table of kRows rows of eight keys with its ruled lines, and a title with the folder.
const std::u16string& TemplateFile() {
  static const std::u16string path = [] {
    jww::TJwwData d;
    d.DataDefaultSet();
    d.AddEntPre();
    for (int r = 1; r <= kRows; ++r) {
      const double y = 280 - r * 1.3;
      d.AddEntLine(0, 0, 0, 1, 1, 0, 0, -400.0, y, 400.0, y);
      for (size_t c = 0; c < std::size(kColumns); ++c)
        d.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 0, -400.0 + 100 * c, y + 0.2, 1.0, 1.0, 0.0, 0.0, u"",
                     jww::Utf8ToStr("%%" + std::to_string(r) + kColumns[c]));
    }
    d.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 0, -400.0, 290.0, 5.0, 5.0, 0.0, 0.0, u"", u"図面目録 %%PA");
    d.AddEntPost();
    const std::u16string p = jww::Utf8ToStr(Dir().path("template.jww"));
    d.FileOut(p, 600);
    return p;
  }();
  return path;
}

// The list file of kDrawings drawings, values as the generator makes them.
const std::u16string& ListPath() {
  static const std::u16string path = [] {
    std::vector<std::u16string> lines{u"%%PA\t/home/user/project/図面/"};
    static const char* const kCodes[] = {"F", "e", "f", "fs1", "fs2", "fs3", "fs4", "fs5", "fs6", "fs7",
                                         "fs8", "fs9", "DT", "D", "T", "J", "SZ", "mm", "m1", "m2",
                                         "p", "SS0", "SS1", "SS2", "SS3", "SS4", "SS5", "SS6", "SS7", "SS8",
                                         "SS9", "SSa", "SSb", "SSc", "SSd", "SSe", "SSf"};
    for (int s = 1; s <= kDrawings; ++s) {
      const std::string n = std::to_string(s);
      for (const char* code : kCodes) {
        std::string v = " ";
        const std::string c = code;
        if (c == "F") v = "/home/user/project/図面/A-" + n + " 平面図.jww";
        else if (c == "e") v = "A-" + n + " 平面図.jww";
        else if (c == "f") v = "A-" + n + " 平面図";
        else if (c == "fs1") v = "A-" + n;
        else if (c == "fs2") v = "平面図";
        else if (c == "DT") v = "2026/12/10 15:54:20";
        else if (c == "SZ") v = "112,788";
        else if (c == "p") v = "A3";
        else if (c.rfind("SS", 0) == 0) v = "1/100";
        else if (c == "m1" || c == "mm") v = "基準階";
        lines.push_back(jww::Utf8ToStr("%%" + n + c + "\t" + v));
      }
    }
    lines.push_back(u" ");
    const std::u16string p = jww::Utf8ToStr(Dir().path("List.txt"));
    dravik::SaveListFile(p, lines);
    return p;
  }();
  return path;
}

// The baseline: the 50 sheets, filled beforehand, written with FileOut.
void BM_FileOutSheets(benchmark::State& state) {
  jww::TJwwData doc;
  doc.FileIn(TemplateFile());
  dravik::ListValues values;
  std::string why;
  dravik::ReadListFile(ListPath(), values, why);
  dravik::FillPlan plan(doc, values);
  std::vector<jww::TJwwData> sheets;
  for (int64_t k = 1; k <= plan.SheetCount(); ++k) {
    plan.Apply(k, dravik::FillAnchor::kStart);
    sheets.push_back(doc);
  }
  const std::u16string out = jww::Utf8ToStr(Dir().path("plain.jww"));
  jwwbench::Timed t("fileout");
  for (auto _ : state)
    for (size_t k = 0; k < sheets.size(); ++k) benchmark::DoNotOptimize(sheets[k].FileOut(dravik::SheetName(out, k + 1), 600));
  t.Done(state);
  state.counters["sheets"] = static_cast<double>(sheets.size());
}
BENCHMARK(BM_FileOutSheets)->Unit(benchmark::kMillisecond);

// The whole of jww fill's work for a .jww output.
void BM_FillSheets(benchmark::State& state) {
  const std::u16string out = jww::Utf8ToStr(Dir().path("index.jww"));
  jwwbench::Timed t("fill");
  for (auto _ : state) {
    dravik::ListValues values;
    std::string why;
    jww::TJwwData doc;
    dravik::TemplateImages images;
    if (!dravik::ReadListFile(ListPath(), values, why) || !dravik::ReadTemplate(TemplateFile(), doc, images, why)) {
      state.SkipWithError("cannot read the fixtures");
      return;
    }
    dravik::FillPlan plan(doc, values);
    if (!dravik::WriteFilledSheets(doc, plan, out, 600, dravik::FillAnchor::kStart, why)) {
      state.SkipWithError(why.c_str());
      return;
    }
  }
  jwwbench::ReportRatio(state, "x_fileout", t.Done(state), {"fileout"});
}
BENCHMARK(BM_FillSheets)->Unit(benchmark::kMillisecond);

// Its parts: the list file read and parsed, and the 50 sheets filled in memory (no writing).
void BM_ReadList(benchmark::State& state) {
  for (auto _ : state) {
    dravik::ListValues values;
    std::string why;
    if (!dravik::ReadListFile(ListPath(), values, why)) {
      state.SkipWithError(why.c_str());
      return;
    }
    benchmark::DoNotOptimize(values.LastFilledSlot());
  }
}
BENCHMARK(BM_ReadList)->Unit(benchmark::kMillisecond);

void BM_ApplySheets(benchmark::State& state) {
  jww::TJwwData doc;
  doc.FileIn(TemplateFile());
  dravik::ListValues values;
  std::string why;
  dravik::ReadListFile(ListPath(), values, why);
  dravik::FillPlan plan(doc, values);
  for (auto _ : state)
    for (int64_t k = 1; k <= plan.SheetCount(); ++k) plan.Apply(k, dravik::FillAnchor::kStart);
}
BENCHMARK(BM_ApplySheets)->Unit(benchmark::kMillisecond);

}  // namespace
