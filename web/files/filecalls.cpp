#include "web/files/filecalls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

int FileCalls::open(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

ssize_t FileCalls::write(int fd, const void *data, size_t size)
{
    return ::write(fd, data, size);
}

int FileCalls::fsync(int fd)
{
    return ::fsync(fd);
}

int FileCalls::link(const char *from, const char *to)
{
    return ::linkat(AT_FDCWD, from, AT_FDCWD, to, AT_SYMLINK_FOLLOW);
}

int FileCalls::rename(const char *from, const char *to)
{
    return std::rename(from, to);
}

int FileCalls::unlink(const char *path)
{
    return ::unlink(path);
}

int FileCalls::close(int fd)
{
    return ::close(fd);
}

FileCalls &FileCalls::system()
{
    static FileCalls calls;
    return calls;
}
