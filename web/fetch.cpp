#include "fetch.h"

#include "eventwait.h"
#include "settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QScopeGuard>
#include <QStringDecoder>

#include <cmath>
#include <deque>

QString FetchResult::text() const
{
    return kind == Kind::TimeoutText ? QStringLiteral("获取内容超时") : QString();
}

namespace Fetch {

namespace {

QPointer<QNetworkAccessManager> &current()
{
    static QPointer<QNetworkAccessManager> shared;
    return shared;
}

// Managers whose network thread may still be busy with a hostile answer. Deleting one waits for
// that thread, so only the oldest goes, once there are more than a few.
std::deque<QPointer<QNetworkAccessManager>> &retired()
{
    static std::deque<QPointer<QNetworkAccessManager>> managers;
    return managers;
}

constexpr size_t keptRetired = 8;

} // namespace

QNetworkAccessManager *manager()
{
    if (!current())
        current() = new QNetworkAccessManager(QCoreApplication::instance());
    return current();
}

void retire(QNetworkAccessManager *used)
{
    if (!used || used != current())
        return;
    current() = nullptr;
    retired().push_back(used);
    while (retired().size() > keptRetired) {
        delete retired().front().data();
        retired().pop_front();
    }
}

QNetworkRequest requestFor(const QString &address)
{
    QNetworkRequest request{QUrl(address)};
    request.setRawHeader("If-Modified-Since", "0");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Qt's own check on compressed bodies ends such a reply with an error but never finishes it
    // (Qt 6.4), which would hold every fetch to its full time limit. Our callers read the body as
    // it unpacks and stop at their own caps instead.
    request.setDecompressedSafetyCheckThreshold(-1);
    return request;
}

void release(QObject *object)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [object = QPointer<QObject>(object)] { delete object.data(); },
        Qt::QueuedConnection);
}

} // namespace Fetch

namespace {

int limitInMs(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return int(std::ceil(std::min(seconds * 1000.0, 2e9)));
}

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

} // namespace

FetchResult GetBody(const QString &Weburl, double chaoshi)
{
    QNetworkAccessManager *manager = Fetch::manager();
    // Deleted when this call ends, not later: a later delete waits for the outermost event loop,
    // which a job never returns to while it runs. Guarded, as the manager may go meanwhile.
    const QPointer<QNetworkReply> reply(manager->get(Fetch::requestFor(Weburl)));
    const auto cleanup = qScopeGuard([&reply] { delete reply.data(); });
    QElapsedTimer clock;
    clock.start();
    QByteArray body;
    bool tooLarge = false;
    QEventLoop loop;
    const auto take = [&] {
        if (reply && !tooLarge && !takeWithinCap(*reply, body)) {
            tooLarge = true;
            loop.quit();
        }
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, take);
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (!reply->isFinished() && chaoshi > 0)
        EventWait::run(loop, limitInMs(chaoshi));
    take();

    FetchResult result;
    if (!reply) {
        result.reason = QStringLiteral("网络错误");
        return result;
    }
    if (tooLarge) {
        // Over the cap it fails at once, whatever the status: the rest is never read.
        reply->abort();
        result.reason = QStringLiteral("内容过大");
        return result;
    }
    if (double(clock.nsecsElapsed()) / 1e9 > chaoshi)
        result.kind = FetchResult::Kind::TimeoutText;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!reply->isFinished() && reply->error() == QNetworkReply::NoError) {
        reply->abort();
        // The network thread may be stuck in an answer that never ends (a flood of interim
        // answers keeps it from ever seeing the abort); later fetches must not queue behind it.
        Fetch::retire(manager);
        result.kind = FetchResult::Kind::EmptyText;
        result.reason = QStringLiteral("超时");
    } else if (status == 200 && reply->error() == QNetworkReply::NoError) {
        // A 200 whose connection broke off carries only part of the body: never a success.
        result = FetchResult::fromBytes(body);
    } else if (status != 0 && status != 200) {
        result.reason = QStringLiteral("HTTP ") + QString::number(status);
    } else {
        result.reason = QStringLiteral("网络错误：") + reply->errorString();
    }
    return result;
}

namespace {

// The "gb2312" label means GBK in practice: browsers and the pages' own servers use it that
// way, and ICU's strict GB 2312 turns GBK-only characters into U+001A. GB18030 is the superset.
QByteArray converterName(const QString &charset)
{
    const QString name = charset.trimmed().toLower();
    static const QStringList gbkLabels = {QStringLiteral("gb2312"), QStringLiteral("gbk"),
                                          QStringLiteral("gb_2312-80"), QStringLiteral("x-gbk"),
                                          QStringLiteral("cp936"), QStringLiteral("windows-936")};
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
