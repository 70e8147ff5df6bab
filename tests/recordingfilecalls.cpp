#include "tests/recordingfilecalls.h"

#include <cerrno>
#include <fcntl.h>

RecordingFileCalls::RecordingFileCalls(bool unnamedFiles)
    : m_unnamedFiles(unnamedFiles)
{ }

void RecordingFileCalls::note(const QString &call)
{
    // The caller reads errno after the call it made.
    const int error = errno;
    if (call != u"write" || m_calls.isEmpty() || m_calls.last() != call)
        m_calls << call;
    errno = error;
}

int RecordingFileCalls::open(const char *path, int flags, mode_t mode)
{
    // O_TMPFILE holds the bits of O_DIRECTORY.
    const bool unnamed = (flags & O_TMPFILE) == O_TMPFILE;
    if (unnamed && !m_unnamedFiles) {
        errno = EOPNOTSUPP;
        return -1;
    }
    const int fd = FileCalls::open(path, flags, mode);
    if (fd >= 0 && !unnamed && (flags & O_DIRECTORY) != 0)
        m_folders.insert(fd);
    return fd;
}

ssize_t RecordingFileCalls::write(int fd, const void *data, size_t size)
{
    const ssize_t written = FileCalls::write(fd, data, size);
    note(QStringLiteral("write"));
    return written;
}

int RecordingFileCalls::fsync(int fd)
{
    const int result = FileCalls::fsync(fd);
    note(m_folders.contains(fd) ? QStringLiteral("sync folder") : QStringLiteral("sync"));
    return result;
}

int RecordingFileCalls::link(const char *from, const char *to)
{
    const int result = FileCalls::link(from, to);
    note(QStringLiteral("link"));
    return result;
}

int RecordingFileCalls::rename(const char *from, const char *to)
{
    const int result = FileCalls::rename(from, to);
    note(QStringLiteral("rename"));
    return result;
}

int RecordingFileCalls::close(int fd)
{
    m_folders.remove(fd);
    return FileCalls::close(fd);
}
