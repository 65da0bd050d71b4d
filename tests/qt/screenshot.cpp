// Shows the Dravik window on the current X display, adds the drawings named on the command line
// through the add button, waits until their details are read, and saves a picture of the window
// as a PNG.
//   dravik-screenshot OUT.png DRAWING.jww...
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>

#include <cstdio>

#include "app/DrawingList.h"
#include "app/MainWindow.h"

namespace {

// Answers the add dialog with the drawings given; the list is never written.
class Chosen final : public dravik::FileDialogs {
 public:
  explicit Chosen(QStringList files) : files_(std::move(files)) {}
  QStringList chooseDrawings(QWidget*, const QString&) override { return files_; }
  QString chooseListFile(QWidget*, const QString&, const QString&) override { return {}; }
  QString chooseDrawingListToOpen(QWidget*, const QString&) override { return {}; }
  QString chooseDrawingListToSave(QWidget*, const QString&) override { return {}; }

 private:
  QStringList files_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: dravik-screenshot OUT.png DRAWING.jww...\n");
    return 2;
  }
  QStringList drawings;
  for (qsizetype i = 2; i < args.size(); ++i) drawings << QDir(args[i]).absolutePath();

  // A settings file of its own; a size that shows every column of the list.
  QTemporaryDir home;
  dravik::MainWindow form(std::make_unique<Chosen>(drawings), home.filePath(QStringLiteral("dravik")));
  form.show();
  form.resize(900, 510);
  form.move(0, 0);
  form.addFiles();
  form.selectRows({0});
  if (!QTest::qWaitForWindowExposed(&form)) return 1;
  for (int waited = 0; form.drawings()->pending() > 0 && waited < 60000; waited += 50) QTest::qWait(50);
  // DRAVIK_SCREENSHOT_PREVIEW=N: the preview shown beside the list, of the drawing in row N.
  if (const QByteArray row = qgetenv("DRAVIK_SCREENSHOT_PREVIEW"); !row.isEmpty()) {
    form.resize(1020, 560);
    form.selectRows({row.toInt()});
    form.previewButton->click();
  }
  // DRAVIK_SCREENSHOT_SIZE=WxH: the window at that size instead.
  if (const QList<QByteArray> size = qgetenv("DRAVIK_SCREENSHOT_SIZE").split('x'); size.size() == 2)
    form.resize(size[0].toInt(), size[1].toInt());
  QTest::qWait(300);

  const QPixmap shot = form.screen()->grabWindow(form.winId());
  form.close();
  if (shot.isNull() || !shot.save(args[1], "PNG")) {
    std::fprintf(stderr, "dravik-screenshot: cannot save %s\n", qPrintable(args[1]));
    return 1;
  }
  return 0;
}
