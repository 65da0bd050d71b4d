// The Dravik window: start the toolkit, show the one window, run until it closes. A second start
// for the same user and settings hands its files to the window already running and ends.
#include <QApplication>
#include <QLocale>

#include "app/MainWindow.h"
#include "app/Places.h"
#include "app/SingleInstance.h"
#include "common/Func_2.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Dravik"));

  // The drawings a file manager opens with Dravik (the toolkit has taken its own options out).
  QStringList args;
  for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  const QStringList files = dravik::AbsoluteArguments(args);

  dravik::SingleInstance instance(
      dravik::SingleInstance::ServerName(dravik::PlacesOf(jww::ExecutablePath()).settingsFile));
  if (instance.claim(files) == dravik::SingleInstance::Role::HandedOver) return 0;

  dravik::InstallToolkitTranslations(QLocale::system());

  dravik::MainWindow form;
  form.show();
  form.addCommandLineFiles(files);
  QObject::connect(&instance, &dravik::SingleInstance::filesArrived, &form, &dravik::MainWindow::openFiles);
  return app.exec();
}
