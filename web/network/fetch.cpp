#include "web/network/fetch.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace Fetch {

namespace {

constexpr const char *lengthsBefore = "quilloryLengthsBeforeRedirect";

bool sameSite(const QUrl &a, const QUrl &b)
{
    const QString scheme = a.scheme().toLower();
    const int defaultPort = scheme == u"https" ? 443 : scheme == u"http" ? 80 : -1;
    return scheme == b.scheme().toLower() && a.host().toLower() == b.host().toLower() &&
           a.port(defaultPort) == b.port(defaultPort);
}

} // namespace

QNetworkRequest requestFor(const QString &address)
{
    QNetworkRequest request{QUrl(address)};
    request.setRawHeader("If-Modified-Since", "0");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    // Qt's own check on compressed bodies ends such a reply with an error but never finishes it
    // (Qt 6.4), which would hold every fetch to its full time limit. Our callers read the body as
    // it unpacks and stop at their own caps instead.
    request.setDecompressedSafetyCheckThreshold(-1);
    return request;
}

QString followRedirect(QNetworkReply &reply, const QUrl &target)
{
    // Every step of a chain is checked against the address asked for, so no chain leaves the site.
    if (!sameSite(reply.request().url(), target))
        return QStringLiteral("重定向到其他网站");
    // Qt may add the next answer's headers to this one's, so the lengths so far are not the
    // next answer's.
    reply.setProperty(lengthsBefore, reply.rawHeader("Content-Length"));
    emit reply.redirectAllowed();
    return QString();
}

QString distrustedLength(const QNetworkReply &reply)
{
    // Qt joins repeated headers with ", " and reads the length from the first of them.
    QByteArray lengths = reply.rawHeader("Content-Length");
    const QByteArray before = reply.property(lengthsBefore).toByteArray();
    if (!before.isEmpty() && lengths.startsWith(QByteArray(before).append(", ")))
        lengths.remove(0, before.size() + 2);
    if (!lengths.contains(','))
        return QString();
    const QList<QByteArray> each = lengths.split(',');
    for (const QByteArray &length : each) {
        if (length.trimmed() != each.first().trimmed())
            return QStringLiteral("内容长度矛盾");
    }
    return QString();
}

Progress::Progress(double seconds, qint64 progressBytes)
    : m_windowMs(seconds > 0 ? qint64(std::ceil(std::min(seconds * 1000.0, 2e9))) : 0)
    , m_need(std::max<qint64>(1, progressBytes))
    , m_deadlineMs(m_windowMs)
{
    m_clock.start();
}

void Progress::received(qint64 bytes)
{
    if (bytes <= 0 || msLeft() == 0)
        return;
    m_recent.emplace_back(m_clock.elapsed(), bytes);
    m_recentBytes += bytes;
    while (m_recentBytes - m_recent.front().second >= m_need) {
        m_recentBytes -= m_recent.front().second;
        m_recent.pop_front();
    }
    // Enough has come since the oldest arrival kept: the window is full until it slides past it.
    if (m_recentBytes >= m_need)
        m_deadlineMs = std::max(m_deadlineMs, m_recent.front().first + m_windowMs);
}

qint64 Progress::msLeft() const
{
    return std::max<qint64>(0, m_deadlineMs - m_clock.elapsed());
}

} // namespace Fetch
