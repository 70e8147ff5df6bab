#include "job/records/statefile.h"

#include "web/files/atomicfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace StateFile {

QString replace(const QString &path, const QByteArray &bytes, FileCalls &calls)
{
    return AtomicFile::replace(path, bytes, AtomicFile::Sync::Yes, calls);
}

QString remove(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return QString();
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool isLink(const QString &path)
{
    struct stat info
    { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace StateFile
