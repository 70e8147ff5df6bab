#pragma once

#include "web/files/filecalls.h"

#include <QByteArray>
#include <QString>

// The files that outlive a run (the resume record, failed.txt, album.json) are small and are read
// back by a later run or another program, which trust them: a file cut short by a full disk
// would make a run fetch a bar again or forget its failures. So they are only ever replaced
// whole, through replace(); a link in their place is never followed.
namespace StateFile {

// Puts `bytes` at `path` whole, on disk before it takes the name; the system's reason when the
// old file had to stay, empty when it was replaced.
QString replace(const QString &path, const QByteArray &bytes, FileCalls &calls = FileCalls::system());

// Removes the file (a link itself, not its target); the system's reason when it is still there.
QString remove(const QString &path);

// True when `path` is a symbolic link: a state file that is one is not ours to read or follow.
bool isLink(const QString &path);

} // namespace StateFile
