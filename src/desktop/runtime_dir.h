// Where the instance lock and the hand-over socket live.
//
// Threads: any thread, no QCoreApplication needed.
#pragma once

#include <QByteArray>
#include <QString>

namespace ornivox::desktop {

// $XDG_RUNTIME_DIR when it names a directory, else Qt's runtime location
// (which it creates, owned by us, mode 0700). Empty when neither is usable.
QString runtimeDirectory();

// <runtimeDirectory()>/<name>.socket; empty without a runtime directory.
QString handoverSocketPath(const QString& name);

// The hand-over message on the wire: a 4-byte big-endian length, then the
// argument's bytes. One message per connection; the player answers with the
// single byte kHandoverAck once its open routine has returned, then closes.
inline constexpr qsizetype kHandoverMaxBytes = 64 * 1024;
inline constexpr char kHandoverAck = '\x06';

QByteArray handoverFrame(const QByteArray& argument);

}  // namespace ornivox::desktop
