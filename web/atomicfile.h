#pragma once

#include <QByteArray>
#include <QString>

// Puts `bytes` at `path` in one step: afterwards the file is either exactly the new bytes or
// exactly what it was before, also when the process is killed half-way. Returns false when the
// bytes are not in place (folder missing, access denied, disk full).
namespace AtomicFile {

bool write(const QString &path, const QByteArray &bytes);

}
