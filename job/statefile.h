#pragma once

#include <QByteArray>
#include <QString>

// The files that outlive a run (the resume record, failed.txt) are small and are read back by a
// later run, which trusts them: a file cut short by a full disk would make that run fetch a bar
// again or forget its failures. So they are only ever replaced whole.
namespace StateFile {

// Puts `bytes` at `path` once they are all on disk; until then, and when anything fails, the old
// file stays as it was. A symbolic link at `path` is itself replaced, never the file it points
// to. Returns the system's reason when the file was not replaced, empty when it was.
QString replace(const QString &path, const QByteArray &bytes);

// Removes the file (a link itself, not its target); the system's reason when it is still there.
QString remove(const QString &path);

// True when `path` is a symbolic link: a state file that is one is not ours to read or follow.
bool isLink(const QString &path);

} // namespace StateFile
