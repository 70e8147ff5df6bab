#pragma once

#include <QList>
#include <QString>

#include <optional>

class BrowserAdapter;
class EarlierAlbumFolders;
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
    QString id;     // the picture's identifier; empty for one the page gave no usable one
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
};

// Everything a command may ask of the window it runs in.
class JobWindow
{
public:
    virtual ~JobWindow() = default;

    // The name box's text as it is now; the job reads it afresh at each step that needs it.
    virtual QString barName() const = 0;
    // Tells the user that no name was given; returns when the user has closed the message.
    virtual void showNameMissing() = 0;
    virtual void AppendLog(const QString &line) = 0;
    virtual void ShowLastLogLine() = 0;
    virtual BrowserAdapter &browser() = 0;
    virtual FailureLists &failures() = 0;

    // Hooks for front ends other than the window; the window keeps these defaults.

    // True when `path` already holds picture `id` (fetched from `url`), so that it need not be
    // fetched again.
    virtual bool pictureAlreadySaved(const QString &id, const QString &url, const QString &path)
    {
        Q_UNUSED(id)
        Q_UNUSED(url)
        Q_UNUSED(path)
        return false;
    }
    // Every picture's outcome, in album and picture order, just before its log line.
    virtual void pictureDone(const PictureOutcome &outcome) { Q_UNUSED(outcome) }
    // An album once its page has settled, before any of its pictures is fetched.
    virtual void albumHarvested(const AlbumReady &album) { Q_UNUSED(album) }
    // What earlier jobs left known of the album folders in `barFolder`, which the job is about
    // to fill; null when nothing is kept. Asked once per job, once the bar folder exists; what
    // it returns must last until the job ends.
    virtual const EarlierAlbumFolders *earlierAlbumFolders(const QString &barFolder)
    {
        Q_UNUSED(barFolder)
        return nullptr;
    }
    // False when album `albumId` (at `url`) need not be rendered in this job at all: an earlier
    // run finished it. Asked before each album's page is loaded; the window renders them all.
    virtual bool rendersAlbum(const QString &albumId, const QString &url)
    {
        Q_UNUSED(albumId)
        Q_UNUSED(url)
        return true;
    }
    // False for a run that only counts: no picture is fetched, saved, logged or recorded.
    virtual bool savesPictures() const { return true; }
    // True when a failed picture's log line should also say why it failed.
    virtual bool explainsFailures() const { return false; }
    // True when the front end has a button that downloads the failed pictures again, which the
    // job's closing line then points to; a front end without one reports failures its own way.
    virtual bool hasRetryButton() const { return true; }
};
