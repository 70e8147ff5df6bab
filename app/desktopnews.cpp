#include "app/desktopnews.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

#include <utility>

namespace {

const QString desktopEntry = QStringLiteral("org.quillory.Quillory");

// Docks tell senders apart by the application URI alone; the path is ours to choose.
const QString launcherPath = QStringLiteral("/org/quillory/Quillory/LauncherEntry");

QDBusConnection sessionBus()
{
    return QDBusConnection::sessionBus();
}

} // namespace

DesktopNews::DesktopNews(std::function<bool()> windowActive, JobObserver *next)
    : m_windowActive(std::move(windowActive))
    , m_next(next)
{ }

DesktopNews::~DesktopNews() = default;

QString DesktopNews::launcherUri()
{
    return QStringLiteral("application://") + desktopEntry + QStringLiteral(".desktop");
}

void DesktopNews::jobStarting(const QString &barName, const QString &barFolder)
{
    m_running = true;
    m_clock.start();
    m_barName = barName;
    m_barFolder = barFolder;
    m_albumNo = 0;
    m_albumCount = 0;
    m_picturesLeft = 0;
    m_shownDone = -1;
}

void DesktopNews::albumReady(const AlbumReady &album)
{
    if (m_next)
        m_next->albumReady(album);
    if (!m_running || album.albumCount <= 0)
        return;
    // The job hands on an album once every picture of the one before it has been delivered.
    m_albumNo = album.albumNo;
    m_albumCount = album.albumCount;
    m_picturesLeft = album.pictureIds.size();
    showProgress(m_picturesLeft == 0 ? m_albumNo : m_albumNo - 1);
}

void DesktopNews::pictureFinished(const PictureOutcome &outcome)
{
    if (m_next)
        m_next->pictureFinished(outcome);
    // A retried picture (numbered 0) belongs to no album of the job.
    if (!m_running || outcome.number <= 0 || m_picturesLeft <= 0)
        return;
    if (--m_picturesLeft == 0)
        showProgress(m_albumNo);
}

void DesktopNews::jobEnded(const JobSummary &summary)
{
    if (m_running) {
        m_running = false;
        if (m_shownDone >= 0)
            sendLauncherUpdate(0.0, false);
        if (m_clock.elapsed() >= m_timings.longJobMs && !(m_windowActive && m_windowActive()))
            notifyEnd(summary);
    }
    if (m_next)
        m_next->jobEnded(summary);
}

void DesktopNews::showProgress(int albumsDone)
{
    if (albumsDone == m_shownDone || m_albumCount <= 0)
        return;
    m_shownDone = albumsDone;
    sendLauncherUpdate(double(albumsDone) / m_albumCount, true);
}

void DesktopNews::sendLauncherUpdate(double progress, bool visible)
{
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage update = QDBusMessage::createSignal(launcherPath, QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    QVariantMap properties;
    if (visible)
        properties.insert(QStringLiteral("progress"), progress);
    properties.insert(QStringLiteral("progress-visible"), visible);
    update << launcherUri() << properties;
    bus.send(update);
}

void DesktopNews::notifyEnd(const JobSummary &summary)
{
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected())
        return;
    const QString title = m_barName + (summary.end == JobSummary::End::Completed ? QStringLiteral("吧：下载完毕")
                                                                                 : QStringLiteral("吧：下载未完成"));
    // Servers that read markup in the body would take a path's "&" or "<" for it.
    const QString body = QStringLiteral("保存%1张图片，失败%2张\n%3")
                             .arg(summary.saved)
                             .arg(summary.failed)
                             .arg(m_barFolder.toHtmlEscaped());
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopEntry}};
    notify << QStringLiteral("Quillory") << uint(0) << desktopEntry << title << body << QStringList() << hints
           << m_timings.notificationMs;
    // Sent without waiting for the answer: the window goes on at once, whoever listens.
    bus.send(notify);
}
