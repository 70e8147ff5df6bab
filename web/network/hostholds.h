#pragma once

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

class QNetworkReply;
class QUrl;
struct Timings;

// A server that answers 429 or 503 with "Retry-After" asks for a rest: its host gets no new
// request from this engine until the time it named has passed (cut to
// Timings::retryAfterLimitSeconds). Whoever got such an answer holds the host and tries once more.
// A host that asks for rest after rest (Timings::restsBeforeGivingUp in a row, with nothing
// answered in between) is given up: its pictures fail at once until the next job begins.
class HostHolds final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostHolds)

public:
    // Its limits are those of `timings`, which outlive it.
    explicit HostHolds(const Timings &timings, QObject *parent = nullptr);

    // The rest an answer asks for, in ms, cut to the limit; -1 when it asks none: a status other
    // than 429 and 503, or no "Retry-After" that reads as seconds or as an HTTP date.
    qint64 askedRestMs(const QNetworkReply &reply) const;
    static qint64 askedRestMs(int status, const QByteArray &retryAfter, const QDateTime &now, qint64 limitMs);
    // "host" or "host:port", as requests name it.
    static QString hostOf(const QUrl &url);

    // `host` asked for a rest of `ms`: holds it that long from now, or longer if it is held
    // longer already, and counts the rest towards giving the host up. A hold that starts is
    // announced through holding(); one that only grows is not, so each rest is said once. The
    // rest that gives the host up is announced through givingUp() instead, once.
    void hold(const QString &host, qint64 ms);
    // `host` answered without asking for a rest: its rests so far no longer count.
    void answered(const QString &host);
    bool givenUp(const QString &host) const { return m_givenUp.contains(host); }
    // A job begins: every host is asked again.
    void forgetGivenUp();
    // How long `host` is still held; 0 when it is free.
    qint64 msLeft(const QString &host) const;

signals:
    void holding(const QString &host, int seconds);
    void givingUp(const QString &host);

private:
    const Timings &m_timings;
    QHash<QString, QDeadlineTimer> m_until;
    QHash<QString, int> m_restsInARow;
    QSet<QString> m_givenUp;
};
