#pragma once

#include "job/jobwindow.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>

// When the desktop hears of a job, and for how long.
struct DesktopNewsTimings
{
    // A job that ran at least this long tells of its end in a notification, when its window is
    // not the active one: a shorter job was most likely watched to its end.
    qint64 longJobMs = 60 * 1000;
    // How long the notification stays; -1 leaves it to the desktop.
    int notificationMs = -1;
};

// Tells the desktop of the window's jobs the way its docks and panels listen, over the session
// bus: the share of albums done on the program's launcher entry (the LauncherEntry progress that
// task managers and docks show), and a notification when a long job ends unseen. Without a
// session bus it says nothing. Everything it hears it hands on to the observer after it.
class DesktopNews final : public JobObserver
{
    Q_DISABLE_COPY_MOVE(DesktopNews)

public:
    DesktopNews(std::function<bool()> windowActive, JobObserver *next);
    ~DesktopNews() override;

    // The desktop entry the launcher shows the progress on.
    static QString launcherUri();

    // For tests: a "long" job without waiting a minute.
    void setTimings(const DesktopNewsTimings &timings) { m_timings = timings; }

    // A job of bar `barName` begins, its pictures going to `barFolder`.
    void jobStarting(const QString &barName, const QString &barFolder);

    void albumReady(const AlbumReady &album) override;
    void pictureFinished(const PictureOutcome &outcome) override;
    void jobEnded(const JobSummary &summary) override;

private:
    void showProgress(int albumsDone);
    void sendLauncherUpdate(double progress, bool visible);
    void notifyEnd(const JobSummary &summary);

    std::function<bool()> m_windowActive;
    JobObserver *m_next;
    DesktopNewsTimings m_timings;
    bool m_running = false;
    QElapsedTimer m_clock;
    QString m_barName;
    QString m_barFolder;
    int m_albumNo = 0;
    int m_albumCount = 0;
    qsizetype m_picturesLeft = 0; // of the album under way
    int m_shownDone = -1;         // albums done as the launcher last heard it; -1 for nothing shown
};
