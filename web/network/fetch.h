#pragma once

#include <QElapsedTimer>
#include <QString>

#include <deque>
#include <utility>

class QNetworkReply;
class QNetworkRequest;
class QObject;
class QUrl;

// What every fetch of a page (PageFetch) or a picture (PictureDownloads) does alike. Fetches go
// out on the network lines (NetworkLines): answers on other lines go on while one hostile answer
// holds its line. Line 0 carries the pages; each slot of side-by-side pictures has its own.
namespace Fetch {
// One GET of `address` as every fetch sends it. Redirects wait for allowRedirect().
QNetworkRequest requestFor(const QString &address);
// Lets a reply follow a redirect to `target` when it stays on the same host (and port) with the
// same scheme; otherwise says why not, and the caller ends it. Every other host is another
// site's business.
QString followRedirect(QNetworkReply &reply, const QUrl &target);
// Why an answer cannot be trusted to carry its whole body, or empty: two different lengths
// announced, of which Qt would take the first.
QString distrustedLength(const QNetworkReply &reply);
// Whether a transfer still makes progress: it has run out once fewer than `progressBytes` arrived
// in the last `seconds`. The window starts at the request, so a server that never answers runs
// out exactly `seconds` after it, and one that trickles soon after; a steady one never does.
class Progress
{
public:
    Progress(double seconds, qint64 progressBytes);
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
