#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QSaveFile;

// Puts bytes at a path in one step: afterwards the file is either exactly the new bytes or
// exactly what it was before, also when the process is killed half-way, and no partial file is
// left behind. Failures (folder missing, access denied, disk full) are reported, never hidden.
namespace AtomicFile {

// Takes the bytes as they arrive, so that a picture never has to be held in memory whole.
class Writer final
{
public:
    explicit Writer(const QString &path);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // False when nothing can be written beside `path`.
    bool open();
    // False once any write has failed; later writes are refused.
    bool write(const char *data, qint64 size);
    // Puts what was written in place; false when it is not there (the old file then stays).
    bool commit();
    qint64 size() const { return m_size; }

private:
    void discard();

    QString m_path;
    int m_fd = -1;
    std::unique_ptr<QSaveFile> m_fallback;
    qint64 m_size = 0;
    bool m_failed = false;
};

bool write(const QString &path, const QByteArray &bytes);

#ifdef Q_OS_LINUX
// Writes all `size` bytes to `fd`, going on after interrupted calls; false, with errno set, when
// the system takes no more.
bool writeAll(int fd, const char *data, qint64 size);
#endif

} // namespace AtomicFile
