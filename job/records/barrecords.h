#pragma once

#include "job/jobwindow.h"
#include "job/records/failurefile.h"
#include "job/records/finishedalbums.h"
#include "job/records/resumerecord.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <memory>

struct FailureLists;

// What a bar folder keeps of the runs that filled it, for later runs of either front end: the
// resume record (which picture each file holds, which album each folder was given to, which
// albums a run finished) and failed.txt. One keeper serves every bar folder a front end's
// commands come to: the job hears from it which pictures need not be fetched and which albums
// need not be rendered, as the front end chose in its JobOptions, and tells it every album and
// picture. A bar's record is locked and loaded on first use, once its folder exists; a bar
// whose record another process keeps is left alone.
class BarRecords final : public JobObserver
{
    Q_DISABLE_COPY_MOVE(BarRecords)

public:
    // When failed.txt is written. The window may be closed at any moment, so it keeps the file up
    // to date album by album; quillory-cli writes it once per bar, after its retries, from the
    // lists it reports.
    enum class FailureFileWrites { AlbumByAlbum, AtTheEnd };
    // What went wrong with a bar's record, for a front end that says so. Each is told at most
    // once per bar, and none after OldKept.
    enum class Problem {
        Unusable,     // not a plain file, or the folder cannot be locked: nothing read or written
        OldKept,      // loading could not rewrite it: the old one stays, and nothing is recorded
        NotUpdated,   // a line could not be appended: those pictures are fetched again next time
        NotCompacted, // the closing rewrite failed: the old one stays
    };

    explicit BarRecords(FailureFileWrites writes);
    ~BarRecords() override;

    void setOnProblem(std::function<void(Problem, const ResumeRecord &)> onProblem)
    {
        m_onProblem = std::move(onProblem);
    }
    // Called when a bar's record turns out to be another process's only once the job has made
    // the bar folder and asks for what earlier jobs knew of it.
    void setOnBusy(std::function<void()> onBusy) { m_onBusy = std::move(onBusy); }

    // Locks and loads the record of `barFolder` once; later calls return the same. A folder that
    // is not there yet has no record: Unusable, and asked again next time.
    ResumeRecord::Access open(const QString &barFolder);
    // The bar's record when it is open, null otherwise.
    const ResumeRecord *record(const QString &barFolder) const;

    // What earlier jobs left known of the album folders in `barFolder`; null when nothing is
    // kept. It lasts until release().
    const EarlierAlbumFolders *earlierAlbumFolders(const QString &barFolder);
    // True when the record of the picture's bar holds picture `id` at `path`, there whole.
    bool holds(const QString &path, const QString &id);
    // True when an earlier run finished album `albumId` of `barFolder` and the disk still shows
    // every picture of it as recorded.
    bool finished(const QString &barFolder, const QString &albumId);

    // The album's folder is its own from now on, also for later runs; the failures failed.txt
    // lists for it are the job's again.
    void albumReady(const AlbumReady &album) override;
    // A saved picture is recorded and no longer failed; a failed one is listed. Also for every
    // picture a retry tried; a retried album may end finished.
    void pictureFinished(const PictureOutcome &outcome) override;

    // What carryOver() did with failed.txt.
    struct CarryOver
    {
        int carried = 0;      // entries put into the lists
        int dropped = 0;      // lines that name no picture of this bar
        bool refused = false; // the file is a link, and was not read
    };
    // Puts into `lists` the pictures failed.txt lists for albums the job did not come to (the
    // album has gone from the list, or the list broke off), each once, unless saved since. Those
    // of the albums it came to were tried by the job itself.
    CarryOver carryOver(const QString &barFolder, FailureLists &lists);

    struct Failure
    {
        FailureFile::Entry entry;
        QString reason; // why it failed last, when known
    };
    struct Report
    {
        QList<Failure> failed; // in the lists' order
        QString problem;       // why failed.txt could not be written or removed; empty if it was
    };
    // Writes `lists` to the bar's failed.txt, or removes a stale one when they are empty.
    Report report(const QString &barFolder, const FailureLists &lists);

    // Writes every failed.txt that changed since the last time, each whole or not at all.
    void flush();
    // Flushes, compacts and lets go of every record, for other processes to take; the next
    // command starts afresh.
    void release();
    // The same for a program about to end, with a job perhaps suspended below: the records stay
    // readable for it, but nothing more is written.
    void letGo();

private:
    struct Failed
    {
        FailureFile::Entry entry;
        quint64 order = 0; // failed.txt keeps them in the order they failed
    };
    struct Bar
    {
        std::unique_ptr<ResumeRecord> record;
        QHash<QString, Failed> failures; // by path: a bar may fail by the hundred thousand
        QSet<QString> visited;           // the album folders this command came to
        bool failuresRead = false;
        bool changed = false;
        bool busy = false;   // another process keeps this bar: its files are not ours to write
        bool warned = false; // the record's trouble has been told
    };

    Bar &bar(const QString &barFolder);
    ResumeRecord *opened(const QString &barFolder);
    Bar &failuresOf(const QString &barFolder);
    void recorded(bool written, const QString &barFolder);
    void recordCompletion();
    void tell(Problem problem, Bar &b);

    const FailureFileWrites m_writes;
    std::function<void(Problem, const ResumeRecord &)> m_onProblem;
    std::function<void()> m_onBusy;
    std::map<QString, Bar> m_bars;     // by bar folder
    QHash<QString, QString> m_reasons; // by path
    quint64 m_order = 0;
    AlbumCompletion m_completion;
};
