#pragma once

#include "web/files/filecalls.h"

#include <QSet>
#include <QStringList>

// Stands in for the system's file calls where it is handed, makes them all the same, and notes
// the ones that decide what reaches the disk, in order: "write" (a run of writes counts once),
// "sync", "link", "rename", "sync folder".
class RecordingFileCalls final : public FileCalls
{
public:
    // Without unnamed files, the file systems that have none are played: an unnamed file cannot
    // be opened.
    explicit RecordingFileCalls(bool unnamedFiles = true);

    const QStringList &calls() const { return m_calls; }

    int open(const char *path, int flags, mode_t mode) override;
    ssize_t write(int fd, const void *data, size_t size) override;
    int fsync(int fd) override;
    int link(const char *from, const char *to) override;
    int rename(const char *from, const char *to) override;
    int close(int fd) override;

private:
    void note(const QString &call);

    bool m_unnamedFiles;
    QSet<int> m_folders;
    QStringList m_calls;
};
