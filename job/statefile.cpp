#include "job/statefile.h"

#include "web/atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Hidden, and gone again within a few system calls.
QByteArray temporaryName(const QString &path)
{
    const QFileInfo info(path);
    return QFile::encodeName(
        info.path() + QStringLiteral("/.") + info.fileName() +
        QStringLiteral(".%1.new").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

} // namespace

namespace StateFile {

QString replace(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).path());
    // A file without a name until it is whole: a process killed half-way leaves nothing behind.
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    QByteArray named; // only where the file system has no unnamed files
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        named = temporaryName(path);
        fd = ::open(named.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    }
    if (fd < 0)
        return reason(errno);
    const auto fail = [&](int error) {
        ::close(fd);
        if (!named.isEmpty())
            ::unlink(named.constData());
        return reason(error);
    };
    // fsync, so that "whole on disk" holds also for a disk that reports its lack of room late.
    if (!AtomicFile::writeAll(fd, bytes.constData(), bytes.size()) || ::fsync(fd) != 0)
        return fail(errno);
    if (named.isEmpty()) {
        named = temporaryName(path);
        const QByteArray source = "/proc/self/fd/" + QByteArray::number(fd);
        if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, named.constData(), AT_SYMLINK_FOLLOW) != 0) {
            named.clear();
            return fail(errno);
        }
    }
    // rename() replaces a link at the target rather than following it.
    if (::rename(named.constData(), target.constData()) != 0)
        return fail(errno);
    ::close(fd);
    return QString();
}

QString remove(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return QString();
    return reason(errno);
}

bool isLink(const QString &path)
{
    struct stat info
    { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace StateFile
