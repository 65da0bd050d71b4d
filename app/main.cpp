// The Dravik window: start the toolkit, show the one window, run until it closes.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/MainWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Dravik"));

  // The toolkit's own texts (file dialog buttons and the like) in the user's language, when the
  // desktop has the translations installed.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  dravik::MainWindow form;
  form.show();
  // The drawings a file manager opens with Dravik (the toolkit has taken its own options out).
  QStringList files;
  for (int i = 1; i < argc; ++i) files << QString::fromLocal8Bit(argv[i]);
  form.addCommandLineFiles(files);
  return app.exec();
}
