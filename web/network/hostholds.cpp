#include "web/network/hostholds.h"

#include "web/network/timings.h"

#include <QLocale>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>

HostHolds::HostHolds(const Timings &timings, QObject *parent)
    : QObject(parent)
    , m_timings(timings)
{ }

qint64 HostHolds::askedRestMs(const QNetworkReply &reply) const
{
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return askedRestMs(status, reply.rawHeader("Retry-After"), QDateTime::currentDateTimeUtc(),
                       qint64(std::max(0, m_timings.retryAfterLimitSeconds)) * 1000);
}

qint64 HostHolds::askedRestMs(int status, const QByteArray &retryAfter, const QDateTime &now, qint64 limitMs)
{
    if (status != 429 && status != 503)
        return -1;
    const QByteArray value = retryAfter.trimmed();
    if (value.isEmpty())
        return -1;
    bool isNumber = false;
    const qint64 seconds = value.toLongLong(&isNumber);
    if (isNumber)
        return seconds < 0 ? -1 : std::min(limitMs, seconds > limitMs ? limitMs : seconds * 1000);
    // Servers send the date in the one form HTTP prescribes; Qt's RFC 2822 reading refuses "GMT".
    QDateTime date =
        QLocale::c().toDateTime(QString::fromLatin1(value), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!date.isValid())
        return -1;
    date.setTimeSpec(Qt::UTC);
    return std::clamp<qint64>(now.msecsTo(date), 0, limitMs);
}

QString HostHolds::hostOf(const QUrl &url)
{
    const QString host = url.host().toLower();
    return url.port() < 0 ? host : host + u':' + QString::number(url.port());
}

void HostHolds::hold(const QString &host, qint64 ms)
{
    const bool givesUp =
        !m_givenUp.contains(host) && ++m_restsInARow[host] >= std::max(1, m_timings.restsBeforeGivingUp);
    if (givesUp)
        m_givenUp.insert(host);
    const bool wasHeld = msLeft(host) > 0;
    QDeadlineTimer until(std::max<qint64>(ms, 0), Qt::PreciseTimer);
    // A shorter rest asked meanwhile must not cut a longer one short.
    if (ms > 0 && !(wasHeld && m_until.value(host).deadline() >= until.deadline()))
        m_until.insert(host, until);
    if (givesUp)
        emit givingUp(host);
    else if (ms > 0 && !wasHeld && !m_givenUp.contains(host))
        emit holding(host, int((ms + 999) / 1000));
}

void HostHolds::answered(const QString &host)
{
    m_restsInARow.remove(host);
}

void HostHolds::forgetGivenUp()
{
    m_restsInARow.clear();
    m_givenUp.clear();
}

qint64 HostHolds::msLeft(const QString &host) const
{
    const auto at = m_until.constFind(host);
    return at == m_until.constEnd() ? 0 : std::max<qint64>(0, at->remainingTime());
}
