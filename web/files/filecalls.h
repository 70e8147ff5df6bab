#pragma once

#include <cstddef>
#include <sys/types.h>

// The system calls by which AtomicFile puts a file in place, behind one seam: the program makes
// the system's own, and a test hands a recorder to what writes, to see the order they come in
// (the data synced before the file takes its name, say). Each forwards to the call of its name.
class FileCalls
{
public:
    FileCalls() = default;
    virtual ~FileCalls() = default;
    FileCalls(const FileCalls &) = delete;
    FileCalls &operator=(const FileCalls &) = delete;

    virtual int open(const char *path, int flags, mode_t mode);
    virtual ssize_t write(int fd, const void *data, size_t size);
    virtual int fsync(int fd);
    // linkat() from and to paths relative to the working folder, following a link at `from`.
    virtual int link(const char *from, const char *to);
    virtual int rename(const char *from, const char *to);
    virtual int unlink(const char *path);
    virtual int close(int fd);

    // The system's own; it keeps nothing.
    static FileCalls &system();
};
