#pragma once

#include "web/files/filecalls.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QSaveFile;

// Puts bytes at a path in one step: afterwards the file is either exactly the new bytes or
// exactly what it was before, also when the process is killed half-way, and no partial file is
// left behind. Failures (folder missing, access denied, disk full) are reported, never hidden.
// A symbolic link at the path is itself replaced, never the file it points to. The one way the
// program writes a file whole: pictures, the files that outlive a run, album.json.
namespace AtomicFile {

// Whether the bytes must be on disk before the file takes its place, and its name on disk after.
// A picture can be fetched again, so it is spared the cost; a file a later run trusts is not (a
// disk may report its lack of room only then, and a crash must not leave a name without data).
enum class Sync { No, Yes };

// Takes the bytes as they arrive, so that a picture never has to be held in memory whole.
class Writer final
{
public:
    explicit Writer(const QString &path, Sync sync = Sync::No, FileCalls &calls = FileCalls::system());
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
    // Why the last open, write or commit failed, in the system's words.
    QString errorString() const { return m_error; }

private:
    void discard();
    void failed(int error);

    QString m_path;
    Sync m_sync;
    FileCalls &m_calls;
    int m_fd = -1;
    QByteArray m_named; // a named temporary file, only where the file system has no unnamed ones
    std::unique_ptr<QSaveFile> m_fallback;
    qint64 m_size = 0;
    bool m_failed = false;
    QString m_error;
};

// Puts `bytes` at `path`, synced as asked; the system's reason when the file was not replaced,
// empty when it was.
QString replace(const QString &path, const QByteArray &bytes, Sync sync, FileCalls &calls = FileCalls::system());

} // namespace AtomicFile
