#pragma once

#include <QString>

// The files that outlive a run (the resume record, failed.txt) are small and are read back by a
// later run, which trusts them: a file cut short by a full disk would make that run fetch a bar
// again or forget its failures. So they are only ever replaced whole, by AtomicFile::replace
// with Sync::Yes; a link in their place is never followed.
namespace StateFile {

// Removes the file (a link itself, not its target); the system's reason when it is still there.
QString remove(const QString &path);

// True when `path` is a symbolic link: a state file that is one is not ours to read or follow.
bool isLink(const QString &path);

} // namespace StateFile
