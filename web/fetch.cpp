#include "web/fetch.h"

#include "web/hostholds.h"
#include "web/limits.h"
#include "web/networklines.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <limits>
#include <memory>

#include <atomic>
#include <cmath>
#include <vector>

QString FetchResult::text() const
{
    return kind == Kind::TimeoutText ? QStringLiteral("获取内容超时") : QString();
}

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

QNetworkAccessManager *manager(int line)
{
    return NetworkLines::shared().manager(line);
}

void retire(QNetworkAccessManager *used)
{
    NetworkLines::shared().retire(used);
}

void abandon(QNetworkReply *reply)
{
    NetworkLines::shared().abandon(reply);
}

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

Progress::Progress(double seconds)
    : m_windowMs(seconds > 0 ? qint64(std::ceil(std::min(seconds * 1000.0, 2e9))) : 0)
    , m_need(std::max<qint64>(1, Settings::timings().progressBytes))
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

namespace {

// Takes what has arrived into `body`; false once the body is over the page cap. Reading as the
// bytes arrive is what makes a compressed body unpack bit by bit, so a small bomb stops here too.
bool takeWithinCap(QNetworkReply &reply, QByteArray &body)
{
    const qint64 cap = Settings::timings().maxPageBytes;
    if (reply.header(QNetworkRequest::ContentLengthHeader).toLongLong() > cap)
        return false;
    for (;;) {
        const QByteArray chunk = reply.read(std::min<qint64>(cap + 1 - body.size(), 1 << 20));
        if (chunk.isEmpty())
            return body.size() <= cap;
        body += chunk;
        if (body.size() > cap)
            return false;
    }
}

// One request of a page fetch, on the event loop: ends with `done` once the answer is whole, the
// transfer stops making progress, or the answer is refused. `askedRestMs` then says how long the
// server asked to be left alone (-1: not).
class OneGet final : public QObject
{
public:
    OneGet(const QString &Weburl, double chaoshi, std::function<void(const FetchResult &, qint64, bool)> done)
        : m_manager(Fetch::manager())
        , m_reply(m_manager->get(Fetch::requestFor(Weburl)))
        , m_progress(chaoshi)
        , m_done(std::move(done))
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &OneGet::check);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &OneGet::take);
        connect(m_reply, &QNetworkReply::readyRead, this, &OneGet::take);
        connect(m_reply, &QNetworkReply::redirected, this, [this](const QUrl &target) {
            if (m_reply)
                m_refused = Fetch::followRedirect(*m_reply, target);
            check();
        });
        connect(m_reply, &QNetworkReply::finished, this, &OneGet::check);
        connect(m_reply, &QNetworkReply::errorOccurred, this, &OneGet::check);
        connect(m_reply, &QObject::destroyed, this, &OneGet::check);
        m_timer.start(int(std::min<qint64>(m_progress.msLeft(), 2'000'000'000)));
    }
    ~OneGet() override
    {
        if (m_reply) {
            m_reply->disconnect(this);
            Fetch::abandon(m_reply.data());
        }
    }

private:
    void take()
    {
        if (!m_reply || m_tooLarge || !m_refused.isEmpty())
            return;
        m_refused = Fetch::distrustedLength(*m_reply);
        const qint64 before = m_body.size();
        if (m_refused.isEmpty() && !takeWithinCap(*m_reply, m_body))
            m_tooLarge = true;
        m_progress.received(m_body.size() - before);
        if (m_tooLarge || !m_refused.isEmpty())
            check();
    }

    void check()
    {
        if (m_ended)
            return;
        if (m_reply && !m_reply->isFinished() && m_reply->error() == QNetworkReply::NoError && !m_tooLarge &&
            m_refused.isEmpty() && m_progress.msLeft() > 0) {
            m_timer.start(int(std::min<qint64>(m_progress.msLeft(), 2'000'000'000)));
            return;
        }
        m_ended = true;
        m_timer.stop();
        take();
        qint64 askedRestMs = -1;
        const FetchResult result = outcome(askedRestMs);
        const bool answered = m_reply && m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 0;
        // Not deleted here, inside a signal of its own.
        if (m_reply) {
            m_reply->disconnect(this);
            Fetch::abandon(m_reply.data());
        }
        const auto done = std::move(m_done);
        done(result, askedRestMs, answered);
    }

    FetchResult outcome(qint64 &askedRestMs)
    {
        FetchResult result;
        if (!m_reply) {
            result.reason = QStringLiteral("网络错误");
            return result;
        }
        if (m_tooLarge || !m_refused.isEmpty()) {
            // Over the cap, or not to be trusted, it fails at once, whatever the status: the
            // rest is never read.
            if (!m_reply->isFinished() && m_reply->error() == QNetworkReply::NoError)
                m_reply->abort();
            result.reason = m_tooLarge ? QStringLiteral("内容过大") : m_refused;
            // Qt reads a body by the first of two lengths and may take the connection back with
            // the rest of the answer still on it, which the next request there would read as
            // its own.
            if (!m_refused.isEmpty())
                Fetch::retire(m_manager);
            return result;
        }
        if (m_progress.msLeft() == 0)
            result.kind = FetchResult::Kind::TimeoutText;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!m_reply->isFinished() && m_reply->error() == QNetworkReply::NoError) {
            m_reply->abort();
            // The network thread may be stuck in an answer that never ends (a flood of interim
            // answers keeps it from ever seeing the abort); later fetches must not queue behind it.
            Fetch::retire(m_manager);
            result.kind = FetchResult::Kind::EmptyText;
            result.reason = QStringLiteral("超时");
        } else if (status == 200 && m_reply->error() == QNetworkReply::NoError) {
            // A 200 whose connection broke off carries only part of the body: never a success.
            result = FetchResult::fromBytes(m_body);
        } else if (status != 0 && status != 200) {
            result.reason = QStringLiteral("HTTP ") + QString::number(status);
            askedRestMs = HostHolds::askedRestMs(*m_reply);
        } else {
            result.reason = QStringLiteral("网络错误：") + m_reply->errorString();
        }
        return result;
    }

    QPointer<QNetworkAccessManager> m_manager;
    QPointer<QNetworkReply> m_reply;
    Fetch::Progress m_progress;
    std::function<void(const FetchResult &, qint64, bool)> m_done;
    QTimer m_timer;
    QByteArray m_body;
    bool m_tooLarge = false;
    bool m_ended = false;
    QString m_refused;
};

} // namespace

PageFetch::PageFetch(const QString &Weburl, double chaoshi, QObject *parent)
    : QObject(parent)
    , m_url(Weburl)
    , m_host(HostHolds::hostOf(QUrl(Weburl)))
    , m_seconds(chaoshi)
{
    m_rest.setSingleShot(true);
    m_rest.setTimerType(Qt::PreciseTimer);
    connect(&m_rest, &QTimer::timeout, this, &PageFetch::next);
}

PageFetch::~PageFetch() = default;

void PageFetch::start()
{
    next();
}

void PageFetch::next()
{
    // A host that asked for a rest gets no request until it is over.
    if (const qint64 left = HostHolds::shared().msLeft(m_host); left > 0) {
        m_rest.start(int(std::min<qint64>(left, 2'000'000'000)));
        return;
    }
    m_get = std::make_unique<OneGet>(
        m_url, m_seconds, [this](const FetchResult &result, qint64 askedRestMs, bool statusCame) {
            // Not from inside the request's own handler, which is still on the stack.
            QMetaObject::invokeMethod(
                this, [this, result, askedRestMs, statusCame] { answered(result, askedRestMs, statusCame); },
                Qt::QueuedConnection);
        });
}

void PageFetch::answered(const FetchResult &result, qint64 askedRestMs, bool statusCame)
{
    m_get.reset();
    // A server that asked for a rest gets it, then one more try; a second refusal stands, and
    // the rest it asked for holds the requests after it.
    if (askedRestMs >= 0)
        HostHolds::shared().hold(m_host, askedRestMs);
    else if (statusCame)
        HostHolds::shared().answered(m_host);
    if (askedRestMs >= 0 && !m_again) {
        m_again = true;
        return next();
    }
    m_result = result;
    m_finished = true;
    emit finished();
}

void GetBody(const QString &Weburl, double chaoshi, QObject *context, std::function<void(const FetchResult &)> done)
{
    auto *fetch = new PageFetch(Weburl, chaoshi, context);
    QObject::connect(fetch, &PageFetch::finished, context, [fetch, done = std::move(done)] {
        // `done` may end `context`, and the fetch with it.
        const FetchResult result = fetch->result();
        fetch->deleteLater();
        done(result);
    });
    fetch->start();
}

namespace {

// The "gb2312" label means GBK in practice: browsers and the pages' own servers use it that
// way, and ICU's strict GB 2312 turns GBK-only characters into U+001A. GB18030 is the superset.
QByteArray converterName(const QString &charset)
{
    const QString name = charset.trimmed().toLower();
    static const QStringList gbkLabels = {QStringLiteral("gb2312"),     QStringLiteral("gbk"),
                                          QStringLiteral("gb_2312-80"), QStringLiteral("x-gbk"),
                                          QStringLiteral("cp936"),      QStringLiteral("windows-936")};
    if (gbkLabels.contains(name))
        return QByteArrayLiteral("GB18030");
    return name.toLatin1();
}

} // namespace

QString BytesToBstr(const FetchResult &body, const QString &charset)
{
    if (!body.hasBytes())
        return QString();
    const QByteArray name = converterName(charset);
    // A character cut off by the end of the body must end as U+FFFD, like an invalid sequence
    // inside it. Qt's own decoders do so in their stateless mode. Those that Qt takes from ICU
    // (GB18030 among them) drop it silently in that mode, and otherwise keep it for a next call
    // that never comes, as there is no call that ends the stream.
    if (QStringConverter::encodingForName(name.constData()))
        return QStringDecoder(name.constData(), QStringConverter::Flag::Stateless).decode(body.bytes);
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return QString();
    QString text = decoder.decode(body.bytes);
    // Line breaks end such a character: no multi-byte character holds one, so the decoder turns
    // the pending bytes into U+FFFD as it does inside the body, then yields the breaks. Several
    // of them, because the decoder sizes its output by the input of the call alone. In a
    // character set where they come out as something else, nothing is added.
    const QByteArray ends(16, '\n');
    const QString tail = decoder.decode(ends);
    if (tail.size() > ends.size() && tail.endsWith(QString(ends.size(), u'\n')))
        text += QStringView(tail).first(tail.size() - ends.size());
    return text;
}
