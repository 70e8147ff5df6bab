#pragma once

#include <QString>

class BrowserAdapter;
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

    // True when `path` already holds the picture at `url`, so that it need not be fetched again.
    virtual bool pictureAlreadySaved(const QString &url, const QString &path)
    {
        Q_UNUSED(url)
        Q_UNUSED(path)
        return false;
    }
    // Every picture's outcome, in album and picture order, just before its log line.
    virtual void pictureDone(const PictureOutcome &outcome) { Q_UNUSED(outcome) }
    // An album's picture count once its page has settled, before any of its pictures is fetched.
    virtual void albumHarvested(int albumNo, int albumCount, const QString &title, int pictures)
    {
        Q_UNUSED(albumNo)
        Q_UNUSED(albumCount)
        Q_UNUSED(title)
        Q_UNUSED(pictures)
    }
    // False for a run that only counts: no picture is fetched, saved, logged or recorded.
    virtual bool savesPictures() const { return true; }
    // True when a failed picture's log line should also say why it failed.
    virtual bool explainsFailures() const { return false; }
};
