#include "fetch.h"

#include "eventwait.h"
#include "settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>

#include <cmath>
#include <memory>

QString FetchResult::text() const
{
    return kind == Kind::TimeoutText ? QStringLiteral("获取内容超时") : QString();
}

namespace Fetch {

QNetworkAccessManager *manager()
{
    static QPointer<QNetworkAccessManager> shared;
    if (!shared)
        shared = new QNetworkAccessManager(QCoreApplication::instance());
    return shared;
}

QNetworkRequest requestFor(const QString &address)
{
    QNetworkRequest request{QUrl(address)};
    request.setRawHeader("If-Modified-Since", "0");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    return request;
}

void release(QObject *object)
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [object] { delete object; }, Qt::QueuedConnection);
}

} // namespace Fetch

namespace {

int limitInMs(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return int(std::ceil(std::min(seconds * 1000.0, 2e9)));
}

bool overPageCap(const QNetworkReply &reply)
{
    const qint64 cap = Settings::timings().maxPageBytes;
    return reply.bytesAvailable() > cap || reply.header(QNetworkRequest::ContentLengthHeader).toLongLong() > cap;
}

} // namespace

FetchResult GetBody(const QString &Weburl, double chaoshi)
{
    // Deleted when this call ends, not later: a later delete waits for the outermost event loop,
    // which a job never returns to while it runs.
    const std::unique_ptr<QNetworkReply> reply(Fetch::manager()->get(Fetch::requestFor(Weburl)));
    QElapsedTimer clock;
    clock.start();
    bool tooLarge = false;
    QEventLoop loop;
    const auto checkSize = [&] {
        if (!tooLarge && overPageCap(*reply)) {
            tooLarge = true;
            loop.quit();
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, checkSize);
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, checkSize);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished() && chaoshi > 0)
        EventWait::run(loop, limitInMs(chaoshi));
    checkSize();

    FetchResult result;
    if (tooLarge) {
        // Over the cap it fails at once, whatever the status: the rest is never read.
        reply->abort();
        result.reason = QStringLiteral("内容过大");
        return result;
    }
    if (double(clock.nsecsElapsed()) / 1e9 > chaoshi)
        result.kind = FetchResult::Kind::TimeoutText;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!reply->isFinished()) {
        reply->abort();
        result.kind = FetchResult::Kind::EmptyText;
        result.reason = QStringLiteral("超时");
    } else if (status == 200 && reply->error() == QNetworkReply::NoError) {
        // A 200 whose connection broke off carries only part of the body: never a success.
        result = FetchResult::fromBytes(reply->readAll());
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
    QStringDecoder decoder(converterName(charset).constData());
    if (!decoder.isValid())
        return QString();
    return decoder.decode(body.bytes);
}
