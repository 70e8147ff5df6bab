#pragma once

#include "job/albumcompletion.h"
#include "job/failurefile.h"
#include "job/resumerecord.h"

#include <QHash>
#include <QString>

#include <map>
#include <memory>

#include "job/jobwindow.h"

// The resume record and failed.txt of every bar folder the window's commands fill, kept as
// quillory-cli keeps them, so that quillory-cli can later finish or retry a bar the window
// began without fetching what the window saved. The window itself reads nothing back: it
// neither skips pictures nor retries earlier runs' failures.
class KeptBars final : public JobObserver
{
    Q_DISABLE_COPY_MOVE(KeptBars)

public:
    KeptBars();
    ~KeptBars() override;

    // The record of `barFolder`, locked and loaded on first use; null when another process
    // keeps it, or it cannot be used (the window then simply records nothing there).
    ResumeRecord *record(const QString &barFolder);
    // The album's folder is its own from now on; the earlier failures in it are the job's again.
    void albumReady(const AlbumReady &album) override;
    // A saved picture is recorded and no longer failed; a failed one is listed.
    void pictureFinished(const PictureOutcome &outcome) override;
    // Writes every failed.txt that changed since the last time, each whole or not at all.
    void flush();
    // Flushes and lets go of every record, for other processes to take.
    void release();
    // The same for a program about to end, with a job perhaps suspended below: the records stay
    // readable for it, but nothing more is written.
    void letGo();

private:
    struct Failure
    {
        FailureFile::Entry entry;
        quint64 order = 0; // failed.txt keeps them in the order they failed
    };
    struct Bar
    {
        std::unique_ptr<ResumeRecord> record;
        QHash<QString, Failure> failures; // by path: a bar may fail by the hundred thousand
        bool failuresRead = false;
        bool changed = false;
        bool busy = false; // another process keeps this bar: its files are not ours to write
    };

    Bar &bar(const QString &barFolder);
    Bar &failuresOf(const QString &barFolder);
    void recordCompletion();

    std::map<QString, Bar> m_bars; // by bar folder
    quint64 m_order = 0;
    AlbumCompletion m_completion;
};
