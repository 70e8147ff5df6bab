#include "web/files/atomicfile.h"

#include "web/files/filecalls.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
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

// rename() replaces a link at the target rather than following it, and so does this.
bool linkIntoPlace(FileCalls &calls, int fd, const QString &path)
{
    const QByteArray source = "/proc/self/fd/" + QByteArray::number(fd);
    const QByteArray target = QFile::encodeName(path);
    if (calls.link(source.constData(), target.constData()) == 0)
        return true;
    if (errno != EEXIST)
        return false;
    const QByteArray temporary = replacementName(path);
    if (calls.link(source.constData(), temporary.constData()) != 0)
        return false;
    if (calls.rename(temporary.constData(), target.constData()) == 0)
        return true;
    const int error = errno;
    calls.unlink(temporary.constData());
    errno = error;
    return false;
}

// Writes all `left` bytes to `fd`, going on after interrupted calls; false, with errno set, when
// the system takes no more.
bool writeAll(FileCalls &calls, int fd, const char *data, qint64 left)
{
    while (left > 0) {
        const ssize_t written = calls.write(fd, data, size_t(left));
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

// The new name lasts only once the folder that holds it is on disk too. A folder that cannot be
// synced (some file systems refuse) still holds the file, which is what the caller asked.
void syncFolder(FileCalls &calls, const QString &path)
{
    const int folder =
        calls.open(QFile::encodeName(QFileInfo(path).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (folder < 0)
        return;
    calls.fsync(folder);
    calls.close(folder);
}

#endif

} // namespace

namespace AtomicFile {

Writer::Writer(const QString &path, Sync sync, FileCalls &calls)
    : m_path(path)
    , m_sync(sync)
    , m_calls(calls)
{ }

Writer::~Writer()
{
    discard();
}

void Writer::failed(int error)
{
    m_failed = true;
#ifdef Q_OS_LINUX
    m_error = QString::fromLocal8Bit(std::strerror(error));
#else
    Q_UNUSED(error)
    if (m_fallback)
        m_error = m_fallback->errorString();
#endif
}

bool Writer::open()
{
#ifdef Q_OS_LINUX
    // The bytes go into a file without a name and get one only once they are all written, so a
    // process killed half-way leaves nothing behind at all.
    FileCalls &calls = m_calls;
    m_fd = calls.open(QFile::encodeName(QFileInfo(m_path).path()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    // Only file systems without unnamed files get a hidden named one instead, gone again within
    // a few system calls.
    if (m_fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        m_named = replacementName(m_path);
        m_fd = calls.open(m_named.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd < 0)
            m_named.clear();
    }
    if (m_fd >= 0)
        return true;
    failed(errno);
    return false;
#else
    m_fallback = std::make_unique<QSaveFile>(m_path);
    m_fallback->setDirectWriteFallback(false);
    if (m_fallback->open(QIODevice::WriteOnly))
        return true;
    failed(0);
    m_fallback.reset();
    return false;
#endif
}

bool Writer::write(const char *data, qint64 size)
{
    if (m_failed || size < 0)
        return false;
    bool written = false;
#ifdef Q_OS_LINUX
    if (m_fd >= 0)
        written = writeAll(m_calls, m_fd, data, size);
#endif
    if (m_fallback)
        written = m_fallback->write(data, size) == size;
    if (!written) {
#ifdef Q_OS_LINUX
        failed(m_fd >= 0 ? errno : EBADF);
#else
        failed(0);
#endif
        return false;
    }
    m_size += size;
    return true;
}

bool Writer::commit()
{
    bool placed = false;
    if (!m_failed) {
#ifdef Q_OS_LINUX
        FileCalls &calls = m_calls;
        if (m_fd < 0)
            failed(EBADF);
        else if (m_sync == Sync::Yes && calls.fsync(m_fd) != 0)
            failed(errno);
        else if (m_named.isEmpty())
            placed = linkIntoPlace(calls, m_fd, m_path);
        else
            placed = calls.rename(m_named.constData(), QFile::encodeName(m_path).constData()) == 0;
        if (!placed && !m_failed)
            failed(errno);
        if (placed)
            m_named.clear();
        if (placed && m_sync == Sync::Yes)
            syncFolder(calls, m_path);
#else
        // commit() forgets an earlier write error, so only a clean write may get this far.
        if (m_fallback)
            placed = m_fallback->commit();
        if (!placed)
            failed(0);
#endif
    }
    m_fallback.reset();
    discard();
    return placed;
}

void Writer::discard()
{
#ifdef Q_OS_LINUX
    FileCalls &calls = m_calls;
    if (m_fd >= 0)
        calls.close(m_fd);
    m_fd = -1;
    if (!m_named.isEmpty())
        calls.unlink(m_named.constData());
    m_named.clear();
#endif
    if (m_fallback)
        m_fallback->cancelWriting();
    m_fallback.reset();
}

QString replace(const QString &path, const QByteArray &bytes, Sync sync, FileCalls &calls)
{
    Writer writer(path, sync, calls);
    if (writer.open() && writer.write(bytes.constData(), bytes.size()) && writer.commit())
        return QString();
    return writer.errorString().isEmpty() ? QStringLiteral("unknown error") : writer.errorString();
}

} // namespace AtomicFile
