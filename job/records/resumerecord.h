#pragma once

#include "web/files/filecalls.h"

#include "job/albums/albumfolders.h"

#include <QFile>
#include <QHash>
#include <QString>

// Which picture each saved file of a bar folder holds, and which album each album folder was
// given to, kept in a hidden file in that folder so that a later run, of either front end, can
// skip what is already there and never gives one album's folder to another.
//
// The file is a journal of lines, appended as pictures land and albums get their folders; a
// later line for the same file or folder replaces an earlier one:
//   "<album folder>/<n>.jpg TAB <picture id> TAB <size>"   a saved picture
//   "<album folder>/ TAB <album id>"                        the album a folder was given to
//   "<album folder>/ TAB <album id> TAB <count> TAB done"   an album a run ended with all its
//                                                           <count> pictures saved; 0: not so
// Earlier versions of the program skip the four-field lines, and lose them when they rewrite.
// A record written before albums were recorded holds picture lines only; it loads as it is,
// and each of its folders counts as given to no album yet, so the first album of a later job
// that asks for it gets it (as it did in the job that filled it) and is recorded from then on.
// A process killed in the middle of an append leaves at most a torn last line, which loading
// ignores, and loading rewrites the journal in one atomic step without it, so nothing is ever
// appended behind a torn line. A bar of thousands of pictures thus costs one small append per
// picture and one rewrite per run. Without the file everything is simply fetched again.
//
// One process at a time keeps a bar's record: open() locks the bar folder itself with flock(2),
// which the system lets go of when the process ends however it ends, so there is no lock file
// to leave behind, nor a stale one to guess about (QLockFile guesses by process name, which
// the window's application name does not match).
class ResumeRecord final : public EarlierAlbumFolders
{
    Q_DISABLE_COPY_MOVE(ResumeRecord)

public:
    static const QString fileName;

    // `calls` put its file in place when it is written anew.
    explicit ResumeRecord(const QString &barFolder, FileCalls &calls = FileCalls::system());
    ~ResumeRecord() override;

    enum class Access {
        Ready,    // locked and loaded
        Busy,     // another process keeps this bar's record
        Unusable, // not a plain file, or the folder cannot be locked: nothing is read or written
    };
    // Locks and loads the record, once; later calls return the same. The bar folder must exist.
    // Until it is Ready the record knows nothing and writes nothing.
    Access open();
    bool isOpen() const { return m_access == Access::Ready; }
    // Lets go of the lock; also for a process about to end on the spot, which skips destructors.
    void close();
    // Why the record is unusable, or why its last write failed, in the system's words.
    QString problem() const { return m_problem; }
    QString barFolder() const { return m_folder; }
    QString journalPath() const;

    // True when `path` was recorded as holding picture `id` and the file is there with the
    // recorded size.
    bool holds(const QString &path, const QString &id) const;
    // Records that `path` now holds picture `id`, `size` bytes long. False when the journal
    // could not be written (the picture is then merely fetched again next time).
    bool add(const QString &path, const QString &id, qint64 size);
    // Records that the job gave the folder `folder` to album `albumId`; false when the journal
    // could not be written.
    bool addFolder(const QString &folder, const QString &albumId);
    // Records that album `albumId`, in `folder`, ended a run with all its `pictures` saved; 0
    // takes that back (the album ended a later run with a picture missing). False when the
    // journal could not be written.
    bool addFinished(const QString &folder, const QString &albumId, int pictures);
    // True when album `albumId` was recorded as finished, its folder is still its own and there,
    // and every picture the record holds for it is there with its recorded size.
    bool finished(const QString &albumId) const;

    // Rewrites the journal with one line per file and folder, when replaced lines have piled
    // up; false (with the reason in problem()) when the old journal had to stay.
    bool compact();

    // The key of `path` inside the bar folder, or empty for a path outside it.
    QString keyOf(const QString &path) const;

    QString albumOf(const QString &folderName) const override { return m_owners.value(folderName); }
    QString folderOf(const QString &albumId) const override { return m_folders.value(albumId); }
    qsizetype folderCount() const override { return m_owners.size(); }

private:
    struct Entry
    {
        QString id;
        qint64 size = 0;
    };

    void load();
    bool rewrite();
    bool append(const QByteArray &line);
    void own(const QString &folder, const QString &albumId);

    QString m_folder;
    FileCalls &m_calls;
    Access m_access = Access::Unusable;
    bool m_opened = false;
    int m_lock = -1; // the bar folder, open and locked
    QHash<QString, Entry> m_entries;
    QHash<QString, QString> m_owners;  // album folder -> album id
    QHash<QString, QString> m_folders; // album id -> the folder it was last given
    struct Finished
    {
        QString folder;
        int pictures = 0;
    };
    QHash<QString, Finished> m_finished; // album id -> where it was finished, and with how many
    QFile m_journal;
    QString m_problem;
    int m_replaced = 0;
    bool m_broken = false;
};
