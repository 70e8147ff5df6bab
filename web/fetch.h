#pragma once

#include "web/fetchresult.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <utility>

class QNetworkAccessManager;

// One GET of Weburl with "If-Modified-Since: 0", given up once it stops making progress: fewer
// than Timings::progressBytes arriving within chaoshi seconds. A request given up is aborted.
// A server that asks for a rest (HostHolds) gets it, and one more request after it.
class PageFetch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageFetch)

public:
    PageFetch(const QString &Weburl, double chaoshi, QObject *parent = nullptr);
    ~PageFetch() override;

    void start();
    bool isFinished() const { return m_finished; }
    const FetchResult &result() const { return m_result; }

signals:
    void finished();

private:
    void next();
    void answered(const FetchResult &result, qint64 askedRestMs, bool statusCame);

    const QString m_url;
    const QString m_host;
    const double m_seconds;
    QTimer m_rest;
    std::unique_ptr<QObject> m_get;
    bool m_again = false;
    bool m_finished = false;
    FetchResult m_result;
};

// The same, handing `done` its result once it has come, unless `context` is gone by then. The
// fetch belongs to `context`: deleting it stops the fetch.
void GetBody(const QString &Weburl, double chaoshi, QObject *context, std::function<void(const FetchResult &)> done);

// Decodes the bytes kind in the named character set; every other kind gives empty text.
QString BytesToBstr(const FetchResult &body, const QString &charset);

class QNetworkReply;
class QNetworkRequest;
class QObject;
class QUrl;

namespace Fetch {
// The manager of a network line (NetworkLines), created on first use; answers on other lines go on
// while one hostile answer holds its line. Line 0 carries the pages; each slot of side-by-side
// pictures has its own.
QNetworkAccessManager *manager(int line = 0);
// Stops handing out `used` for new fetches, if it is still a current manager.
void retire(QNetworkAccessManager *used);
// Gives up `reply`, aborting it when it has not finished, and deletes it later.
void abandon(QNetworkReply *reply);
// One GET of `address` as every fetch sends it. Redirects wait for allowRedirect().
QNetworkRequest requestFor(const QString &address);
// Lets a reply follow a redirect to `target` when it stays on the same host (and port) with the
// same scheme; otherwise says why not, and the caller ends it. Every other host is another
// site's business.
QString followRedirect(QNetworkReply &reply, const QUrl &target);
// Why an answer cannot be trusted to carry its whole body, or empty: two different lengths
// announced, of which Qt would take the first.
QString distrustedLength(const QNetworkReply &reply);
// Whether a transfer still makes progress: it has run out once fewer than progressBytes arrived
// in the last `seconds`. The window starts at the request, so a server that never answers runs
// out exactly `seconds` after it, and one that trickles soon after; a steady one never does.
class Progress
{
public:
    explicit Progress(double seconds);
    void received(qint64 bytes);
    // How long until it runs out if nothing more arrives; 0 once it has.
    qint64 msLeft() const;

private:
    QElapsedTimer m_clock;
    qint64 m_windowMs;
    qint64 m_need;
    qint64 m_deadlineMs;
    // The latest arrivals, as few as together make up m_need: only the oldest of them matters.
    std::deque<std::pair<qint64, qint64>> m_recent;
    qint64 m_recentBytes = 0;
};
} // namespace Fetch
