#include "desktop/runtime_dir.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

namespace ornivox::desktop {

QString runtimeDirectory() {
  const QString fromEnv = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!fromEnv.isEmpty() && QFileInfo(fromEnv).isDir()) return QDir::cleanPath(fromEnv);
  // Qt creates the folder itself when it can; the mkpath covers the
  // platforms where it only names it.
  const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty() || !QDir().mkpath(dir)) return {};
  return QDir::cleanPath(dir);
}

QString handoverSocketPath(const QString& name) {
  const QString dir = runtimeDirectory();
  if (dir.isEmpty()) return {};
  return dir + u'/' + name + QStringLiteral(".socket");
}

QByteArray handoverFrame(const QByteArray& argument) {
  QByteArray frame(4, '\0');
  qToBigEndian(static_cast<quint32>(argument.size()), frame.data());
  frame += argument;
  return frame;
}

}  // namespace ornivox::desktop
