// One window per user and settings location. Two windows on one settings folder each keep the
// list of drawings when they close, and the one closing last overwrites the other's: so a second
// start (a file manager opening a second drawing) hands its files to the window already running,
// through a local socket in the user's own runtime folder, and ends.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

class QLocalServer;
class QLockFile;

namespace dravik {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Role {
    First,       ///< no window was running: this one serves the others
    HandedOver,  ///< the running window took the files; this start ends
    Alone,       ///< neither could be arranged (no private runtime folder, a window that does not answer)
  };

  /// The running window's server for the settings file `settingsFile`: a socket in the user's
  /// runtime folder ($XDG_RUNTIME_DIR, else a folder of the user's own in the temporary folder),
  /// named after the user and the settings file. Empty when there is no such folder.
  static QString ServerName(const std::u16string& settingsFile);

  explicit SingleInstance(QString serverName, QObject* parent = nullptr);
  ~SingleInstance() override;

  /// Becomes the server when no window runs for this name, or hands `files` (absolute paths) to the
  /// one that does, trying for up to `timeoutMs` (a window just starting has its lock before its
  /// server listens).
  Role claim(const QStringList& files, int timeoutMs = 5000);

 signals:
  /// Files a later start handed over (empty when it was started without files).
  void filesArrived(const QStringList& files);

 private:
  void acceptConnections();

  QString name_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};

/// Sends `files` to the server `name` and waits for its confirmation; true once confirmed. Blocks;
/// callable from any thread.
bool HandFilesOver(const QString& name, const QStringList& files, int timeoutMs);

/// The files a start was given — paths relative to the working folder, or file: URLs — as absolute
/// paths, so that another process can open them.
QStringList AbsoluteArguments(const QStringList& args);

}  // namespace dravik
