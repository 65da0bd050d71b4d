// The Dravik window: start the toolkit, show the one window, run until it closes.
#include <QApplication>
#include <QLocale>

#include "app/MainWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Dravik"));

  dravik::InstallToolkitTranslations(QLocale::system());

  dravik::MainWindow form;
  form.show();
  // The drawings a file manager opens with Dravik (the toolkit has taken its own options out).
  QStringList files;
  for (int i = 1; i < argc; ++i) files << QString::fromLocal8Bit(argv[i]);
  form.addCommandLineFiles(files);
  return app.exec();
}
