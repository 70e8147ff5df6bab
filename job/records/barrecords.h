#pragma once

#include "job/jobwindow.h"
#include "job/records/albumfile.h"
#include "job/records/finishedalbums.h"
#include "job/records/resumerecord.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

struct FailureLists;
struct Hosts;

// What a bar folder keeps of the runs that filled it, for later runs of either front end: the
// resume record (which picture each file holds, which album each folder was given to, which
// albums a run finished), failed.txt and, when the front end asks for them, each album's
// album.json. One keeper serves every bar folder a front end's commands come to, and a front
// end reaches a bar's records only through it: the job hears from it which pictures need not be
// fetched and which albums need not be rendered, as the front end chose in its JobOptions, and
// tells it every album and picture; a retry tells it every picture it tried, and its end. A
// bar's record is locked and loaded on first use, once its folder exists; a bar whose record
// another process keeps is left alone.
//
// failed.txt holds the bar's pictures that failed and have not been saved since, whichever
// front end or run failed them: those an earlier run left for albums this one has not come to
// (yet), then this run's, in the order they failed. It is rewritten whole when an album ends
// (every picture of it has its outcome) and when a retry ends, and removed when none is left, so
// that a window closed or a run stopped at any moment leaves it as true as the last album.
// A picture without a usable identifier fails without an address: it counts among the bar's
// failures, but failed.txt, which is read back as a list of things to fetch, cannot name it.
class BarRecords final : public JobObserver
{
    Q_DISABLE_COPY_MOVE(BarRecords)

public:
    // Whether each album gets an album.json beside its pictures.
    enum class AlbumFiles { None, Written };
    // What went wrong with a bar's records, for a front end that says so: `path` is the file or
    // folder concerned, `reason` the system's words. Each is told at most once per bar, and none
    // of the record's after OldKept.
    enum class Problem {
        // The record is not a plain file, or the folder cannot be locked: nothing is read or
        // written (`reason` names the path).
        Unusable,
        // Loading could not rewrite the record: the old one stays, and nothing is recorded.
        OldKept,
        // A line could not be appended: those pictures are fetched again next time.
        NotUpdated,
        // The closing rewrite of the record failed: the old one stays.
        NotCompacted,
        // An album.json could not be written: the old one, if any, stays.
        AlbumFileNotWritten,
    };

    // The pictures' addresses are on the picture host of `hosts`, which outlive the keeper.
    explicit BarRecords(const Hosts &hosts, AlbumFiles albumFiles = AlbumFiles::None);
    ~BarRecords() override;

    // The folder the pictures of bar `barName` go to, in `pictureFolder`.
    static QString barFolder(const QString &pictureFolder, const QString &barName);

    void setOnProblem(std::function<void(Problem, const QString &path, const QString &reason)> onProblem)
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
    // lists for it are the job's again. An album without pictures ends here.
    void albumReady(const AlbumReady &album) override;
    // A saved or skipped picture is recorded and no longer failed; a failed one is listed. Also
    // for every picture a retry tried; a retried album may end finished. The album ends with its
    // last picture's outcome.
    void pictureFinished(const PictureOutcome &outcome) override;
    // A retry has given every picture it tried its outcome.
    void retryEnded();

    // What carryOver() did with failed.txt.
    struct CarryOver
    {
        QString file;         // failed.txt's path
        int carried = 0;      // entries put into the lists
        int dropped = 0;      // lines that name no picture of this bar
        bool refused = false; // the file is a link, and was not read
    };
    // Puts into `lists` the bar's failures that have an address and belong to albums this
    // command has not come to: what failed.txt listed of albums the job did not reach (the album
    // has gone from the list, the list broke off) or, outside a job, every picture it lists.
    // Those saved since are dropped, and each is put in once.
    CarryOver carryOver(const QString &barFolder, FailureLists &lists);

    struct Failure
    {
        QString url; // empty for a picture without a usable identifier: nothing to fetch
        QString path;
        QString reason; // why it failed last, when known
    };
    struct Failures
    {
        QString file;          // failed.txt's path
        QList<Failure> failed; // in the order they failed
        QString problem;       // why failed.txt could not be written or removed; empty if it was
    };
    // The bar's failures, failed.txt written.
    Failures failures(const QString &barFolder);

    // Writes every failed.txt that changed, compacts and lets go of every record, for other
    // processes to take; the next command starts afresh.
    void release();
    // The same for a program about to end, with a job perhaps suspended below: the records stay
    // readable for it, but nothing more is written.
    void letGo();

private:
    struct Failed
    {
        QString url;
        QString id;
        QString reason;
        quint64 order = 0; // failed.txt keeps them in the order they failed
    };
    struct Bar
    {
        std::unique_ptr<ResumeRecord> record;
        QHash<QString, Failed> failures; // by path: a bar may fail by the hundred thousand
        QSet<QString> visited;           // the album folders this command came to
        bool failuresRead = false;
        int dropped = 0;      // lines of failed.txt that named no picture of this bar
        bool refused = false; // failed.txt was a link
        bool changed = false;
        QString failureFileProblem; // why failed.txt could not be written last
        bool busy = false;          // another process keeps this bar: its files are not ours to write
        bool warned = false;        // the record's trouble has been told
        bool albumFileWarned = false;
    };
    // The album whose pictures are under way, until each has its outcome.
    struct Current
    {
        QString folder;
        qsizetype pictures = 0;
        qsizetype told = 0;
        std::optional<AlbumFile> file; // when album files are written
    };

    // Writes every failed.txt that changed since the last time, each whole or not at all.
    void flush();
    Bar &bar(const QString &barFolder);
    ResumeRecord *opened(const QString &barFolder);
    Bar &failuresOf(const QString &barFolder);
    void recorded(bool written, const QString &barFolder);
    void recordCompletion();
    void albumEnded();
    void writeAlbumFile(const AlbumFile &file);
    void tell(Problem problem, Bar &b);
    static bool ours(const QString &barFolder, const Bar &b);
    void writeFailureFile(const QString &barFolder, Bar &b);

    const Hosts &m_hosts;
    const AlbumFiles m_albumFiles;
    std::function<void(Problem, const QString &, const QString &)> m_onProblem;
    std::function<void()> m_onBusy;
    std::map<QString, Bar> m_bars; // by bar folder
    quint64 m_order = 0;
    AlbumCompletion m_completion;
    std::optional<Current> m_current;
    // The album.json of albums of this command that a retry may still change, by album folder;
    // `m_retried` those a retry under way has changed.
    QHash<QString, AlbumFile> m_albumFilesKept;
    QSet<QString> m_retried;
};
