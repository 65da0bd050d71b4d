#include "app/Places.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "common/Func_2.h"
#include "list/Settings.h"

namespace dravik {

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string U(const QString& s) { return s.toStdU16String(); }

// The folder as the file system resolves it (links followed) when it exists, else as written.
QString RealFolder(const QString& folder) {
  const QString real = QFileInfo(folder).canonicalFilePath();
  return real.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : real;
}

bool Under(const QString& folder, const QString& root) {
  return folder == root || folder.startsWith(root + QLatin1Char('/'));
}

bool OnSearchPath(const QString& folder) {
  for (const QString& entry : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts))
    if (QDir(entry).isAbsolute() && RealFolder(entry) == folder) return true;
  return false;
}

bool InBuildFolder(const QString& folder) {
  QDir d(folder);
  for (int up = 0; up <= 3; ++up) {
    if (d.exists(QStringLiteral("CMakeCache.txt"))) return true;
    if (!d.cdUp()) break;
  }
  return false;
}

}  // namespace

bool KeepsFilesBesideExecutable(const QString& exePath) {
  const QString folder = RealFolder(QFileInfo(exePath).absolutePath());
  if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable()) return false;
  if (InBuildFolder(folder)) return true;
  for (const char* system : {"/usr", "/bin", "/sbin"})
    if (Under(folder, QString::fromLatin1(system))) return false;
  if (OnSearchPath(folder)) return false;
  if (QFileInfo(folder).fileName() == QLatin1String("bin") && QFileInfo(folder + QStringLiteral("/../share")).isDir())
    return false;
  return true;
}

WindowPlaces PlacesOf(const std::u16string& exe) {
  const std::u16string exeFolder = jww::ExtractFileFolder(exe);
  if (KeepsFilesBesideExecutable(Q(exe)))
    return {SettingsFilePath(exe), exeFolder + u"TMP" + jww::kPathDelim, exeFolder, {}};
  const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  const std::u16string settingsName = jww::ExtractFileName(SettingsFilePath(exe));
  return {U(config) + jww::kPathDelim + settingsName, U(cache) + jww::kPathDelim + u"TMP" + jww::kPathDelim,
          U(QDir::homePath()) + jww::kPathDelim, config};
}

QString WindowStatePath(const std::u16string& settingsFile) { return Q(ChangeFileExt(settingsFile, u".ini")); }

}  // namespace dravik
