#include "web/network/picturedownloads.h"

#include "web/files/atomicfile.h"
#include "web/network/fetch.h"
#include "web/network/hostholds.h"
#include "web/network/network.h"
#include "web/network/networklines.h"
#include "web/network/pictureend.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

// One picture on its way to disk. It owns its reply and its unnamed file, and ends exactly once.
class Transfer final : public QObject
{
public:
    // With the rest the server asked for, in ms (-1 when it asked none), and whether the server
    // answered at all.
    using Ended = std::function<void(const SaveOutcome &, qint64 askedRestMs, bool answered)>;

    Transfer(Network &network, const QString &url, const QString &tpm, int line, Ended ended)
        : m_network(network)
        , m_writer(tpm, AtomicFile::Sync::No, network.fileCalls())
        , m_url(url)
        , m_line(line)
        , m_ended(std::move(ended))
        , m_progress(timings().pictureLimitSeconds, timings().progressBytes)
    { }
    // Its network goes: a picture still under way is given up, and nothing of it is kept.
    ~Transfer() override
    {
        if (m_reply) {
            m_reply->disconnect(this);
            m_network.lines().abandon(m_reply.data());
        }
    }

    // Whoever asked is gone: the picture is not wanted, and nothing of it is kept.
    void cancel() { end(QStringLiteral("已取消")); }

    void begin()
    {
        if (!m_writer.open()) {
            // Nothing could be kept, so nothing is asked of the server either.
            QTimer::singleShot(0, this, [this] { end(QStringLiteral("无法写入文件")); });
            return;
        }
        m_manager = m_network.lines().manager(m_line);
        m_reply = m_manager->get(Fetch::requestFor(m_url));
        m_progress = Fetch::Progress(timings().pictureLimitSeconds, timings().progressBytes);
        // The bytes are taken as they come, so the reply never needs to hold many of them.
        m_reply->setReadBufferSize(256 * 1024);
        connect(m_reply, &QNetworkReply::metaDataChanged, this, &Transfer::checkAnnouncedSize);
        connect(m_reply, &QNetworkReply::readyRead, this, &Transfer::take);
        connect(m_reply, &QNetworkReply::redirected, this, [this](const QUrl &target) {
            if (const QString refused = Fetch::followRedirect(*m_reply, target); !refused.isEmpty())
                end(refused);
        });
        connect(m_reply, &QNetworkReply::finished, this, &Transfer::complete);
        connect(m_reply, &QNetworkReply::errorOccurred, this, &Transfer::complete);
        // The manager may go (with its replies) while this one waits.
        connect(m_reply, &QObject::destroyed, this, [this] { end(QStringLiteral("网络错误")); });
        m_limit.setSingleShot(true);
        m_limit.setTimerType(Qt::PreciseTimer);
        connect(&m_limit, &QTimer::timeout, this, [this] {
            // Bytes that came meanwhile moved the limit on; the timer only looks when it was due.
            if (const qint64 left = m_progress.msLeft(); left > 0)
                return m_limit.start(int(std::min<qint64>(left, 2'000'000'000)));
            // Its network thread may be stuck in an answer that never ends; the pictures that
            // start on its line once this one has ended must not queue behind it.
            m_network.lines().retire(m_manager);
            end(QStringLiteral("超时"));
        });
        m_limit.start(int(std::min<qint64>(m_progress.msLeft(), 2'000'000'000)));
    }

private:
    const Timings &timings() const { return m_network.timings(); }
    bool answeredOk() const { return m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200; }

    void checkAnnouncedSize()
    {
        if (const QString distrusted = Fetch::distrustedLength(*m_reply); !distrusted.isEmpty())
            return endDistrusted(distrusted);
        if (answeredOk() &&
            m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > timings().maxPictureBytes)
            end(QStringLiteral("图片过大"));
    }

    void take()
    {
        while (m_reply && m_reply->bytesAvailable() > 0) {
            char buffer[64 * 1024];
            const qint64 got = m_reply->read(buffer, sizeof buffer);
            if (got <= 0)
                return;
            m_progress.received(got);
            // An answer that is not the picture is read only to be dropped.
            if (!answeredOk())
                continue;
            if (m_writer.size() + got > timings().maxPictureBytes)
                return end(QStringLiteral("图片过大"));
            if (!m_writer.write(buffer, got))
                return end(QStringLiteral("无法写入文件"));
            m_end.feed(buffer, got);
        }
    }

    void complete()
    {
        if (!m_reply)
            return;
        take();
        if (!m_reply)
            return;
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200) {
            m_askedRestMs = m_network.holds().askedRestMs(*m_reply);
            return end(status != 0 ? QStringLiteral("HTTP ") + QString::number(status)
                                   : QStringLiteral("网络错误：") + m_reply->errorString());
        }
        // A 200 whose connection broke off carries only part of the picture: never a success.
        if (m_reply->error() != QNetworkReply::NoError)
            return end(QStringLiteral("网络错误：") + m_reply->errorString());
        if (const QString distrusted = Fetch::distrustedLength(*m_reply); !distrusted.isEmpty())
            return endDistrusted(distrusted);
        if (m_writer.size() == 0)
            return end(QStringLiteral("内容为空"));
        // Qt calls an answer whole once its announced length has come, or, without one, once the
        // server closed: a short length or an early close both look like success to it.
        if (m_end.verdict() == PictureEnd::Verdict::Cut) {
            // What the answer held beyond its length may still wait on the connection, where the
            // next request on this line would read it as its own answer.
            m_network.lines().retire(m_manager);
            return end(QStringLiteral("图片不完整"));
        }
        const qint64 size = m_writer.size();
        if (!m_writer.commit())
            return end(QStringLiteral("无法写入文件"));
        // A single byte is put in place but is no picture worth counting.
        end(size > 1 ? QString() : QStringLiteral("内容只有1个字节"), size);
    }

    void endDistrusted(const QString &reason)
    {
        // Qt reads the body by the first length and may take the connection back with the rest
        // of the answer still on it, which the next request there would read as its own.
        m_network.lines().retire(m_manager);
        end(reason);
    }

    void end(const QString &reason, qint64 placed = 0)
    {
        if (m_over)
            return;
        m_over = true;
        m_limit.stop();
        const bool answered = m_reply && m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 0;
        if (m_reply) {
            m_reply->disconnect(this);
            // A reply that has already ended or failed takes a second end as an internal error,
            // and says so on standard error.
            m_network.lines().abandon(m_reply.data());
            m_reply = nullptr;
        }
        SaveOutcome outcome;
        outcome.bytes = placed;
        outcome.reason = reason;
        Ended ended = std::move(m_ended);
        deleteLater();
        ended(outcome, m_askedRestMs, answered);
    }

    Network &m_network;
    AtomicFile::Writer m_writer;
    PictureEnd m_end;
    QString m_url;
    int m_line;
    Ended m_ended;
    Fetch::Progress m_progress;
    QPointer<QNetworkAccessManager> m_manager;
    QPointer<QNetworkReply> m_reply;
    QTimer m_limit;
    bool m_over = false;
    qint64 m_askedRestMs = -1;
};

} // namespace

PictureDownloads::PictureDownloads(Network &network)
    : m_network(network)
{
    m_resume.setSingleShot(true);
    connect(&m_resume, &QTimer::timeout, this, &PictureDownloads::startWaiting);
}

PictureDownloads::~PictureDownloads()
{
    // The pictures under way go while their network is whole: each gives up its reply, without a
    // word to whoever asked.
    qDeleteAll(children());
}

void PictureDownloads::fetch(const QString &url, const QString &tpm, QObject *context, Done done)
{
    m_waiting.push_back(Request{url, tpm, context, std::move(done)});
    startWaiting();
}

void PictureDownloads::startWaiting()
{
    // Pictures of a host that asked for a rest keep their places; the others go past them.
    qint64 firstFreeMs = 0;
    for (auto at = m_waiting.begin();
         at != m_waiting.end() && m_running < std::max(1, m_network.timings().parallelPictures);) {
        if (m_network.holds().givenUp(HostHolds::hostOf(QUrl(at->url)))) {
            failGivenUp(std::move(*at));
            at = m_waiting.erase(at);
            continue;
        }
        if (const qint64 held = m_network.holds().msLeft(HostHolds::hostOf(QUrl(at->url))); held > 0) {
            firstFreeMs = firstFreeMs == 0 ? held : std::min(firstFreeMs, held);
            ++at;
            continue;
        }
        Request next = std::move(*at);
        at = m_waiting.erase(at);
        start(std::move(next));
    }
    if (firstFreeMs > 0 && (!m_resume.isActive() || m_resume.remainingTime() > firstFreeMs))
        m_resume.start(int(std::min<qint64>(firstFreeMs, 2'000'000'000)));
}

void PictureDownloads::start(Request request)
{
    // Whoever asked has gone (a command that ended): the picture is not wanted any more.
    if (request.context.isNull())
        return;
    ++m_running;
    // Line 0 is the pages'; the pictures take the lowest free one after it.
    const auto free = std::find(m_busyLines.begin(), m_busyLines.end(), false);
    const int line = int(free - m_busyLines.begin());
    if (free == m_busyLines.end())
        m_busyLines.push_back(true);
    else
        *free = true;
    auto *transfer = new Transfer(m_network, request.url, request.tpm, line + 1,
                                  [this, request, line](const SaveOutcome &outcome, qint64 askedRestMs, bool answered) {
                                      finish(request, line, outcome, askedRestMs, answered);
                                  });
    transfer->setParent(this);
    connect(request.context, &QObject::destroyed, transfer, &Transfer::cancel);
    transfer->begin();
}

void PictureDownloads::failGivenUp(Request request)
{
    // Handed on from the event loop, as a fetch's outcome always is, never from inside fetch().
    QTimer::singleShot(0, this, [request = std::move(request)] {
        if (!request.context.isNull() && request.done)
            request.done(SaveOutcome{0, QStringLiteral("服务器一直要求暂停")});
    });
}

void PictureDownloads::finish(const Request &request, int line, const SaveOutcome &outcome, qint64 askedRestMs,
                              bool answered)
{
    --m_running;
    m_busyLines[size_t(line)] = false;
    const QString host = HostHolds::hostOf(QUrl(request.url));
    if (askedRestMs >= 0)
        m_network.holds().hold(host, askedRestMs);
    else if (answered)
        m_network.holds().answered(host);
    // A server that asked for a rest gets it, then one more try, ahead of the pictures that
    // waited beside it; a second refusal stands, and so does one that gave the host up.
    if (askedRestMs >= 0 && !request.again && !request.context.isNull() && !m_network.holds().givenUp(host)) {
        Request again = request;
        again.again = true;
        m_waiting.push_front(std::move(again));
        startWaiting();
        return;
    }
    startWaiting();
    if (!request.context.isNull() && request.done)
        request.done(outcome);
}
