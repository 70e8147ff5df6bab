#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// commit() forgets an earlier write error, so the write's own result has to decide.
bool writeWithSaveFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

#ifdef Q_OS_LINUX

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

// Hidden and not named like a picture; it lives only between two system calls.
QByteArray replacementName(const QString &path)
{
    const QFileInfo info(path);
    return QFile::encodeName(info.path() + QStringLiteral("/.") + info.fileName() +
                             QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
}

bool linkIntoPlace(int fd, const QString &path)
{
    const QByteArray source = "/proc/self/fd/" + QByteArray::number(fd);
    const QByteArray target = QFile::encodeName(path);
    if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    const QByteArray temporary = replacementName(path);
    if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, temporary.constData(), AT_SYMLINK_FOLLOW) != 0)
        return false;
    if (::rename(temporary.constData(), target.constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

#endif

} // namespace

namespace AtomicFile {

bool write(const QString &path, const QByteArray &bytes)
{
#ifdef Q_OS_LINUX
    // The bytes go into a file without a name and get one only once they are all written, so a
    // process killed half-way leaves nothing behind at all. No fsync: that guards against power
    // loss only, and would cost more than fetching the picture.
    const int fd = ::open(QFile::encodeName(QFileInfo(path).path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        // File systems without unnamed files.
        if (errno == EOPNOTSUPP || errno == EISDIR)
            return writeWithSaveFile(path, bytes);
        return false;
    }
    const bool placed = writeAll(fd, bytes) && linkIntoPlace(fd, path);
    ::close(fd);
    return placed;
#else
    return writeWithSaveFile(path, bytes);
#endif
}

} // namespace AtomicFile
