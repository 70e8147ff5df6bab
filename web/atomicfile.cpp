#include "web/atomicfile.h"

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

#ifdef Q_OS_LINUX

// Hidden and not named like a picture; it lives only between two system calls.
QByteArray replacementName(const QString &path)
{
    const QFileInfo info(path);
    return QFile::encodeName(
        info.path() + QStringLiteral("/.") + info.fileName() +
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

Writer::Writer(const QString &path)
    : m_path(path)
{ }

Writer::~Writer()
{
    discard();
}

bool Writer::open()
{
#ifdef Q_OS_LINUX
    // The bytes go into a file without a name and get one only once they are all written, so a
    // process killed half-way leaves nothing behind at all. No fsync: that guards against power
    // loss only, and would cost more than fetching the picture.
    m_fd = ::open(QFile::encodeName(QFileInfo(m_path).path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (m_fd >= 0)
        return true;
    // Only file systems without unnamed files get a named temporary file instead.
    if (errno != EOPNOTSUPP && errno != EISDIR)
        return false;
#endif
    m_fallback = std::make_unique<QSaveFile>(m_path);
    m_fallback->setDirectWriteFallback(false);
    if (m_fallback->open(QIODevice::WriteOnly))
        return true;
    m_fallback.reset();
    return false;
}

bool Writer::write(const char *data, qint64 size)
{
    if (m_failed || size < 0)
        return false;
    bool written = false;
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        written = AtomicFile::writeAll(m_fd, data, size);
#endif
    if (m_fallback)
        written = m_fallback->write(data, size) == size;
    m_failed = !written;
    if (written)
        m_size += size;
    return written;
}

bool Writer::commit()
{
    bool placed = false;
    if (!m_failed) {
#ifdef Q_OS_LINUX
        if (m_fd >= 0)
            placed = linkIntoPlace(m_fd, m_path);
#endif
        // commit() forgets an earlier write error, so only a clean write may get this far.
        if (m_fallback)
            placed = m_fallback->commit();
    }
    m_fallback.reset();
    discard();
    return placed;
}

void Writer::discard()
{
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
#endif
    if (m_fallback)
        m_fallback->cancelWriting();
    m_fallback.reset();
}

bool write(const QString &path, const QByteArray &bytes)
{
    Writer writer(path);
    return writer.open() && writer.write(bytes.constData(), bytes.size()) && writer.commit();
}

} // namespace AtomicFile

#ifdef Q_OS_LINUX
bool AtomicFile::writeAll(int fd, const char *data, qint64 left)
{
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return false;
        // A write that takes nothing means there is no room left.
        if (written == 0) {
            errno = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}
#endif
