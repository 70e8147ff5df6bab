#pragma once

#include "job/render/paceclock.h"
#include "job/settingsfile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class BarRecords;
class BrowserAdapter;
class Engine;
struct FailureLists;

// What became of one picture of a job or a retry.
struct PictureOutcome
{
    enum class Kind { Saved, Skipped, Failed };
    Kind kind = Kind::Failed;
    QString url;
    QString path;
    QString reason; // why it failed, in a few words; empty otherwise
    qint64 bytes = 0;
    // The picture's identifier; empty for one the page gave no usable one, which has no url
    // either, but still its place in the album's folder.
    QString id;
    int number = 0; // its number in its album, from 1; 0 for a retried picture
};

// An album whose page has settled, as the job found it, before any of its pictures is fetched.
struct AlbumReady
{
    int albumNo = 0; // from 1
    int albumCount = 0;
    QString url;
    QString id;
    QString title;
    QString folder; // where its pictures go, as the job chose it
    // Picture n's identifier at index n - 1; none where the page gave no usable one.
    QList<std::optional<QString>> pictureIds;
    // False when the page was read before it settled (its load or its scrolling ran out of
    // time, or it was cut short): it may show fewer pictures than the album has.
    bool whole = true;
    QString bar; // as the forum shows it: the bar's name and 吧
};

// The counts of a job, a retry or a front end's whole run, and how a job ended.
struct JobSummary
{
    enum class End { Completed, NoName, ListUnreachable, NoBarFolder };
    End end = End::Completed;
    int albums = 0;
    int albumNo = 0;  // the album under way, from 1; 0 before the first album's page settled
    int pictures = 0; // counted on the album pages, saved or not
    int saved = 0;
    int skipped = 0;
    int failed = 0;
    int failedAlbums = 0; // albums whose page never loaded, or was cut short before any picture
    int passedOver = 0;   // albums not rendered, as the front end asked
};

// What a front end chooses for its jobs.
struct JobOptions
{
    // False for a run that only counts: no picture is fetched, saved, logged or recorded, and
    // no folder or file is made.
    bool savesPictures = true;
    // True when a failed picture's log line should also say why it failed.
    bool explainsFailures = false;
    // True when the front end has a button that downloads the failed pictures again, which the
    // job's closing line then points to; a front end without one reports failures its own way.
    bool hasRetryButton = true;
    // True when a picture the bar's records hold, there whole, is not fetched again.
    bool skipsSavedPictures = false;
    // True when an album an earlier run finished, its pictures all still there, is not rendered.
    bool passesOverFinishedAlbums = false;
};

// What a front end wants to hear of a job, besides its log.
class JobObserver
{
public:
    virtual ~JobObserver() = default;

    // An album once its page has settled, before any of its pictures is fetched.
    virtual void albumReady(const AlbumReady &album) { Q_UNUSED(album) }
    // Every picture's outcome, in album and picture order, just before its log line; also every
    // picture a retry tried.
    virtual void pictureFinished(const PictureOutcome &outcome) { Q_UNUSED(outcome) }
    // The job has ended (after its last log line).
    virtual void jobEnded(const JobSummary &summary) { Q_UNUSED(summary) }
};

// The browser pages the job renders album pages in.
class PageSource
{
public:
    virtual ~PageSource() = default;

    // How many pages the job may use at once; at least 1.
    virtual int pageCount() const { return 1; }
    // Page `index`, 0 <= index < pageCount(): the same page for the same index for the whole job.
    virtual BrowserAdapter &page(int index) = 0;
    // The time the pages settle by; none for the engine's own.
    virtual PaceClock *clock() { return nullptr; }
};

// A source of one page that another object owns.
class SinglePage final : public PageSource
{
public:
    explicit SinglePage(BrowserAdapter *page = nullptr)
        : m_page(page)
    { }
    void set(BrowserAdapter *page) { m_page = page; }
    BrowserAdapter &page(int index) override
    {
        Q_UNUSED(index)
        return *m_page;
    }

private:
    BrowserAdapter *m_page;
};

// Pages that another object owns and hands out on demand, up to a given number.
class PageList final : public PageSource
{
public:
    PageList(int count, std::function<BrowserAdapter &(int index)> page)
        : m_count(count)
        , m_page(std::move(page))
    { }
    int pageCount() const override { return m_count; }
    BrowserAdapter &page(int index) override { return m_page(index); }

private:
    int m_count;
    std::function<BrowserAdapter &(int index)> m_page;
};

// What one Start asks for, taken whole when it is pressed: nothing a user changes afterwards (the
// name box, the settings file, the folders) reaches the job it started. The job runs on the
// engine it names, with its network, hosts, page pace and clock.
struct JobRequest
{
    QString barName;
    QString pictureFolder; // the bar folder goes in here
    QString scratchFolder; // the scratch files go in here
    JobOptions options;
    JobChoices choices;
    // What the settings file got wrong, said first in the job's log.
    QStringList complaints;
    // Where the job renders album pages; the front end keeps them for the job's whole run.
    PageSource *pages = nullptr;
    Engine *engine = nullptr;

    // A request for bar `barName` with the folders and choices of `engine` as they are now.
    static JobRequest now(Engine &engine, const QString &barName, PageSource &pages, const JobOptions &options = {});
};

// Everything a command may ask of the front end it runs in.
class JobWindow
{
public:
    virtual ~JobWindow() = default;

    virtual void AppendLog(const QString &line) = 0;
    virtual void ShowLastLogLine() = 0;
    virtual FailureLists &failures() = 0;

    // Who hears of the job's albums, pictures and end; nobody by default.
    virtual JobObserver *observer() { return nullptr; }
    // The keeper of the records of the bars this front end's jobs fill; null when it keeps none.
    // The job consults it as the request's options say, and tells it every album and picture.
    // Only for jobs that save pictures.
    virtual BarRecords *records() { return nullptr; }
};
