#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QUrl>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace {

// Local sockets are named by a path, which the system limits to 107 bytes.
constexpr int kMaxSocketPath = 100;
// A message of more than this is no list of files; the connection is dropped.
constexpr qint64 kMaxMessage = 16 << 20;
constexpr auto kStreamVersion = QDataStream::Qt_6_0;

// A folder only this user can enter: $XDG_RUNTIME_DIR (made so by the login), else one made in
// the temporary folder, checked to be this user's own, not a link, and closed to others.
QString RuntimeFolder() {
  const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!xdg.isEmpty() && QFileInfo(xdg).isDir()) return QDir::cleanPath(xdg);
  const QString own = QDir::tempPath() + QStringLiteral("/dravik-%1").arg(::getuid());
  const QByteArray native = QFile::encodeName(own);
  ::mkdir(native.constData(), 0700);
  struct stat st {};
  if (::lstat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 077) != 0)
    return {};
  return own;
}

}  // namespace

QString SingleInstance::ServerName(const std::u16string& settingsFile) {
  const QString folder = RuntimeFolder();
  if (folder.isEmpty()) return {};
  QCryptographicHash hash(QCryptographicHash::Sha256);
  hash.addData(QByteArray::number(::getuid()) + '\n');
  hash.addData(QString::fromStdU16String(settingsFile).toUtf8());
  const QString name = folder + QStringLiteral("/dravik-") + QString::fromLatin1(hash.result().toHex().left(16));
  return QFile::encodeName(name).size() + 5 <= kMaxSocketPath ? name : QString();
}

SingleInstance::SingleInstance(QString serverName, QObject* parent) : QObject(parent), name_(std::move(serverName)) {}

SingleInstance::~SingleInstance() {
  // The server's socket goes before the lock, so that a start that gets the lock finds no socket
  // of this window.
  if (server_) server_->close();
}

SingleInstance::Role SingleInstance::claim(const QStringList& files, int timeoutMs) {
  if (name_.isEmpty()) return Role::Alone;
  // The lock decides who serves: it is held for the window's life, and a lock whose process has
  // ended (a crash) is taken over, never one merely old.
  lock_ = std::make_unique<QLockFile>(name_ + QStringLiteral(".lock"));
  lock_->setStaleLockTime(0);
  QElapsedTimer clock;
  clock.start();
  for (;;) {
    if (lock_->tryLock(0)) {
      QLocalServer::removeServer(name_);  // a socket left by a window that ended without closing it
      server_ = new QLocalServer(this);
      server_->setSocketOptions(QLocalServer::UserAccessOption);
      if (!server_->listen(name_)) {
        delete server_;
        server_ = nullptr;
        lock_->unlock();
        return Role::Alone;
      }
      connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
      return Role::First;
    }
    const int left = timeoutMs - static_cast<int>(clock.elapsed());
    if (left <= 0) return Role::Alone;
    if (HandFilesOver(name_, files, left)) return Role::HandedOver;
    QThread::msleep(50);
  }
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (socket->bytesAvailable() > kMaxMessage) {
        socket->abort();
        return;
      }
      QDataStream in(socket);
      in.setVersion(kStreamVersion);
      in.startTransaction();
      QStringList files;
      in >> files;
      if (!in.commitTransaction()) return;  // not all there yet
      socket->write("1");
      socket->flush();
      socket->disconnectFromServer();
      emit filesArrived(files);
    });
  }
}

bool HandFilesOver(const QString& name, const QStringList& files, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  auto left = [&] { return std::max(1, timeoutMs - static_cast<int>(clock.elapsed())); };
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(left())) return false;
  QByteArray message;
  QDataStream out(&message, QIODevice::WriteOnly);
  out.setVersion(kStreamVersion);
  out << files;
  socket.write(message);
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(left())) return false;
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(left())) return false;
  return socket.read(1) == "1";
}

QStringList AbsoluteArguments(const QStringList& args) {
  QStringList out;
  for (const QString& arg : args)
    out << QFileInfo(arg.startsWith(QLatin1String("file:")) ? QUrl(arg).toLocalFile() : arg).absoluteFilePath();
  return out;
}

}  // namespace dravik
