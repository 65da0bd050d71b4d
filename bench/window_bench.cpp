// The window's list button against what dravik-list does for the same list, and both against the
// baseline of writing the same number of bytes in one write from a buffer made beforehand.
// Compare BM_WindowList/N and BM_ToolList/N with BM_WriteBytes/N. The counter peak_mem_x_file is
// the growth of the process's peak resident memory during one list output, divided by the list
// file's size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "app/DrawingList.h"
#include "app/MainWindow.h"
#include "list/ListFile.h"
#include "tests/jww_bytes.h"

namespace {

jwwtest::TempDir& Dir() {
  static jwwtest::TempDir dir;
  return dir;
}

// Twenty drawing headers; the rest of the slots are empty, as in a list with spare slots.
const std::vector<std::u16string>& Drawings() {
  static const std::vector<std::u16string> files = [] {
    std::vector<std::u16string> f;
    for (int i = 0; i < 20; ++i) {
      jww::TJwwData d;
      jwwtest::Bytes::SizeTables(d);
      d.Enthd.strMemo = u"基準階平面図\r\n縮尺 1/100";
      d.Enthd.nZumen = 3;
      for (int g = 0; g < 16; ++g) d.EntLgrp[g].adScale = 100;
      f.push_back(jwwtest::Bytes().Header(d, 600).WriteTo(Dir().path("d" + std::to_string(i) + ".jww")));
    }
    return f;
  }();
  return files;
}

long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::strtol(line.c_str() + std::strlen(key), nullptr, 10);
  return 0;
}

// Resets the peak resident size to the current one (Linux 4.0 and later).
void ResetPeak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

class Answers final : public dravik::FileDialogs {
 public:
  explicit Answers(QString list) : list_(std::move(list)) {}
  QStringList chooseDrawings(QWidget*, const QString&) override { return {}; }
  QString chooseListFile(QWidget*, const QString&, const QString&) override { return list_; }
  QString chooseDrawingListToOpen(QWidget*, const QString&) override { return {}; }
  QString chooseDrawingListToSave(QWidget*, const QString&) override { return {}; }

 private:
  QString list_;
};

uint64_t FileSize(const std::u16string& path) { return static_cast<uint64_t>(jww::FileDateSize(path).size); }

void BM_WindowList(benchmark::State& state) {
  const int slotCount = static_cast<int>(state.range(0));
  const std::u16string out = jww::Utf8ToStr(Dir().path("window.txt"));
  QTemporaryDir home;
  dravik::MainWindow w(std::make_unique<Answers>(QString::fromStdU16String(out)),
                       home.filePath(QStringLiteral("dravik")));
  w.show();
  QStringList paths;
  for (const auto& f : Drawings()) paths << QString::fromStdU16String(f);
  w.appendFiles(paths);
  while (w.drawings()->pending() > 0) QApplication::processEvents(QEventLoop::AllEvents, 50);
  w.slotCountEdit->setText(QString::number(slotCount));
  double peak = 0;
  for (auto _ : state) {
    const long before = StatusKb("VmRSS:");
    ResetPeak();
    w.writeList();
    peak = std::max(peak, static_cast<double>(StatusKb("VmHWM:") - before) * 1024);
  }
  const uint64_t size = FileSize(out);
  state.counters["peak_mem_x_file"] = peak / static_cast<double>(size);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
  w.close();
}

void BM_ToolList(benchmark::State& state) {
  const int slotCount = static_cast<int>(state.range(0));
  const std::u16string out = jww::Utf8ToStr(Dir().path("tool.txt"));
  jww::TJwwData doc;
  const jww::TRegional regional = jww::RegionalFromLocale();
  double peak = 0;
  for (auto _ : state) {
    const long before = StatusKb("VmRSS:");
    ResetPeak();
    benchmark::DoNotOptimize(dravik::WriteListFile(out, Drawings(), slotCount, doc, regional));
    peak = std::max(peak, static_cast<double>(StatusKb("VmHWM:") - before) * 1024);
  }
  const uint64_t size = FileSize(out);
  state.counters["peak_mem_x_file"] = peak / static_cast<double>(size);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

// The same number of bytes as the list, in one write of a buffer filled beforehand.
void BM_WriteBytes(benchmark::State& state) {
  const uint64_t size = dravik::ListFileMinimumSize(20, static_cast<int>(state.range(0))) * 6 / 5;
  const std::string bytes(size, 'x');
  const std::string path = Dir().path("raw.txt");
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    benchmark::DoNotOptimize(::write(fd, bytes.data(), bytes.size()));
    ::fsync(fd);
    ::close(fd);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(size));
}

}  // namespace

BENCHMARK(BM_WindowList)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ToolList)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteBytes)->Arg(20000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
