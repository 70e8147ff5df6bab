#include "web/network/pagefetch.h"

#include "web/network/fetch.h"
#include "web/network/hostholds.h"
#include "web/network/network.h"
#include "web/network/networklines.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

namespace {

// Takes what has arrived into `body`; false once the body is over the page cap. Reading as the
// bytes arrive is what makes a compressed body unpack bit by bit, so a small bomb stops here too.
bool takeWithinCap(QNetworkReply &reply, QByteArray &body, qint64 cap)
{
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
    OneGet(Network &network, const QString &Weburl, double chaoshi,
           std::function<void(const FetchResult &, qint64, bool)> done)
        : m_network(network)
        , m_manager(network.lines().manager(0))
        , m_reply(m_manager->get(Fetch::requestFor(Weburl)))
        , m_progress(chaoshi, network.timings().progressBytes)
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
            m_network.lines().abandon(m_reply.data());
        }
    }

private:
    void take()
    {
        if (!m_reply || m_tooLarge || !m_refused.isEmpty())
            return;
        m_refused = Fetch::distrustedLength(*m_reply);
        const qint64 before = m_body.size();
        if (m_refused.isEmpty() && !takeWithinCap(*m_reply, m_body, m_network.timings().maxPageBytes))
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
            m_network.lines().abandon(m_reply.data());
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
                m_network.lines().retire(m_manager);
            return result;
        }
        if (m_progress.msLeft() == 0)
            result.kind = FetchResult::Kind::TimeoutText;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!m_reply->isFinished() && m_reply->error() == QNetworkReply::NoError) {
            m_reply->abort();
            // The network thread may be stuck in an answer that never ends (a flood of interim
            // answers keeps it from ever seeing the abort); later fetches must not queue behind it.
            m_network.lines().retire(m_manager);
            result.kind = FetchResult::Kind::EmptyText;
            result.reason = QStringLiteral("超时");
        } else if (status == 200 && m_reply->error() == QNetworkReply::NoError) {
            // A 200 whose connection broke off carries only part of the body: never a success.
            result = FetchResult::fromBytes(m_body);
        } else if (status != 0 && status != 200) {
            result.reason = QStringLiteral("HTTP ") + QString::number(status);
            askedRestMs = m_network.holds().askedRestMs(*m_reply);
        } else {
            result.reason = QStringLiteral("网络错误：") + m_reply->errorString();
        }
        return result;
    }

    Network &m_network;
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

PageFetch::PageFetch(Network &network, const QString &Weburl, double chaoshi, QObject *parent)
    : QObject(parent)
    , m_network(network)
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
    if (const qint64 left = m_network.holds().msLeft(m_host); left > 0) {
        m_rest.start(int(std::min<qint64>(left, 2'000'000'000)));
        return;
    }
    m_get = std::make_unique<OneGet>(
        m_network, m_url, m_seconds, [this](const FetchResult &result, qint64 askedRestMs, bool statusCame) {
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
        m_network.holds().hold(m_host, askedRestMs);
    else if (statusCame)
        m_network.holds().answered(m_host);
    if (askedRestMs >= 0 && !m_again) {
        m_again = true;
        return next();
    }
    m_result = result;
    m_finished = true;
    emit finished();
}

void GetBody(Network &network, const QString &Weburl, double chaoshi, QObject *context,
             std::function<void(const FetchResult &)> done)
{
    auto *fetch = new PageFetch(network, Weburl, chaoshi, context);
    QObject::connect(fetch, &PageFetch::finished, context, [fetch, done = std::move(done)] {
        // `done` may end `context`, and the fetch with it.
        const FetchResult result = fetch->result();
        fetch->deleteLater();
        done(result);
    });
    fetch->start();
}
