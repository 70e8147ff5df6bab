#include "tools/forumsim/forumrouter.h"

#include "tools/forumsim/librarygallery.h"
#include "tools/forumsim/pagerenderer.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QUrl>
#include <QUrlQuery>

namespace {

const QByteArray GbkHtml = QByteArrayLiteral("text/html; charset=GBK");

// Qt 6's left() returns nothing for a negative length, and indexOf() reports "absent" as -1.
QByteArray beforeFirst(const QByteArray &bytes, char separator)
{
    const qsizetype at = bytes.indexOf(separator);
    return at < 0 ? bytes : bytes.left(at);
}

QByteArray afterFirst(const QByteArray &bytes, char separator)
{
    const qsizetype at = bytes.indexOf(separator);
    return at < 0 ? QByteArray() : bytes.mid(at + 1);
}

QString decodedTail(const QByteArray &path, qsizetype from)
{
    return QUrl::fromPercentEncoding(path.mid(from));
}

// "/forum/pic/item/<id>.jpg" -> id, or an empty string when the name does not fit.
QString pictureIdIn(const QByteArray &path, const QByteArray &prefix)
{
    if (!path.startsWith(prefix) || !path.endsWith(".jpg") || path.size() <= prefix.size() + 4)
        return {};
    return QUrl::fromPercentEncoding(path.mid(prefix.size(), path.size() - prefix.size() - 4));
}

int pageNumber(const QUrlQuery &query)
{
    if (!query.hasQueryItem(u"pn"_qs))
        return 1;
    bool ok = false;
    const int page = query.queryItemValue(u"pn"_qs).toInt(&ok);
    return ok ? page : 0;
}

QByteArray retryAfterHeader(int seconds, bool asDate)
{
    const QByteArray value =
        asDate ? QLocale::c()
                     .toString(QDateTime::currentDateTimeUtc().addSecs(seconds), u"ddd, dd MMM yyyy HH:mm:ss 'GMT'"_qs)
                     .toLatin1()
               : QByteArray::number(seconds);
    return "Retry-After: " + value + "\r\n";
}

// from and count of a batch's query, or nothing when either is not a number from 0.
std::optional<QPair<int, int>> batchRange(const QByteArray &query)
{
    const QUrlQuery items(QString::fromUtf8(query));
    bool fromOk = false;
    bool countOk = false;
    const int from = items.queryItemValue(u"from"_qs).toInt(&fromOk);
    const int count = items.queryItemValue(u"count"_qs).toInt(&countOk);
    if (!fromOk || !countOk || from < 0 || count < 0)
        return std::nullopt;
    return qMakePair(from, count);
}

} // namespace

ForumRouter::ForumRouter(ForumConfig config)
    : m_config(std::move(config))
{ }

HttpResponse ForumRouter::route(const ForumRequest &request)
{
    const QByteArray target = beforeFirst(request.target, '#');
    const QByteArray path = beforeFirst(target, '?');
    // navigator.sendBeacon() can only post.
    if (path == "/beacon" && (request.method == "GET" || request.method == "POST"))
        return noContent();
    if (request.method != "GET")
        return HttpResponse::statusPage(404);
    if (path == "/photo/g")
        return listPage(afterFirst(target, '?'));
    // The album's id is percent-encoded, so a "/" after it can only start one of its helpers.
    if (const qsizetype slash = path.indexOf('/', 3); path.startsWith("/p/") && slash > 0) {
        const QString albumId = QUrl::fromPercentEncoding(path.mid(3, slash - 3));
        const QByteArray helper = path.mid(slash + 1);
        if (helper == "batch")
            return batch(albumId, afterFirst(target, '?'));
        if (helper == "rows")
            return rows(albumId, afterFirst(target, '?'));
        if (helper == "events")
            return events(albumId, request.headers.value("last-event-id"));
        if (helper == "frame" || helper == "worker.js")
            return batchHelper(albumId, helper);
        return HttpResponse::statusPage(404);
    }
    if (path.startsWith("/p/"))
        return albumPage(decodedTail(path, 3));
    if (path == "/poll")
        return poll(afterFirst(target, '?'));
    if (path.startsWith("/vendor/"))
        return vendorFile(path);
    if (const QString id = pictureIdIn(path, "/forum/pic/item/"); !id.isEmpty())
        return picture(id, true);
    if (const QString id = pictureIdIn(path, "/forum/pic/thumb/"); !id.isEmpty())
        return picture(id, false);
    if (path == "/hang")
        return HttpResponse::never();
    // A client that gives up on an endless answer may quietly send the request again; only the
    // first request for an address gets the hostile answer, so a test can see the end of it.
    if (path.startsWith("/hostile/"))
        return m_hostileRequests[target]++ == 0 ? HttpResponse::hostile(path.mid(9)) : HttpResponse::statusPage(404);
    return HttpResponse::statusPage(404);
}

QByteArray ForumRouter::pictureBytes(const QString &id) const
{
    const ForumPicture *declared = m_config.picture(id);
    return m_factory.bytes(id, declared && declared->size > 0 ? declared->size : m_config.pictureSize(),
                           declared ? declared->format : PictureFormat::Jpeg);
}

HttpResponse ForumRouter::listPage(const QByteArray &query)
{
    // FullyDecoded keeps a literal "+" as "+": the forum's links encode blanks as %20.
    const QUrlQuery items(QString::fromUtf8(query));
    const QString barName = items.queryItemValue(u"kw"_qs, QUrl::FullyDecoded);
    const ForumBar *bar = m_config.bar(barName);
    const int page = pageNumber(items);
    if (bar && bar->pageRetryAfter.contains(page) && m_listRequests[barName + u'/' + QString::number(page)]++ == 0) {
        HttpResponse response = HttpResponse::statusPage(bar->pageStatus.value(page, 503));
        response.extraHeaders = retryAfterHeader(bar->pageRetryAfter.value(page), false);
        return response;
    }
    if (bar && bar->pageStatus.contains(page))
        return HttpResponse::statusPage(bar->pageStatus.value(page));
    return HttpResponse::content(GbkHtml, PageRenderer::listPage(barName, bar, page));
}

HttpResponse ForumRouter::albumPage(const QString &albumId) const
{
    const ForumAlbum *album = m_config.album(albumId);
    if (!album)
        return HttpResponse::statusPage(404);
    if (album->continueFlood) {
        HttpResponse flood = HttpResponse::hostile("continue");
        flood.floodMs = 0; // while the client listens
        return flood;
    }
    if (!album->redirect.isEmpty()) {
        HttpResponse moved = HttpResponse::statusPage(302);
        moved.extraHeaders = "Location: " + album->redirect.toUtf8() + "\r\n";
        return moved;
    }
    const QString barName = m_config.barOfAlbum(albumId)->name;
    return HttpResponse::content(GbkHtml, PageRenderer::albumPage(barName, *album));
}

HttpResponse ForumRouter::batch(const QString &albumId, const QByteArray &query) const
{
    const ForumAlbum *album = m_config.album(albumId);
    if (!album)
        return HttpResponse::statusPage(404);
    const std::optional<QPair<int, int>> range = batchRange(query);
    if (!range)
        return HttpResponse::statusPage(400);
    const auto [from, count] = *range;
    QJsonArray ids;
    for (qsizetype i = from; i < album->pictures.size() && i - from < count; ++i)
        ids.append(album->pictures.at(i).id);
    HttpResponse response = HttpResponse::content(QByteArrayLiteral("application/json; charset=utf-8"),
                                                  QJsonDocument(ids).toJson(QJsonDocument::Compact));
    response.delayMs = album->batchDelayMs(from);
    return response;
}

HttpResponse ForumRouter::rows(const QString &albumId, const QByteArray &query) const
{
    const ForumAlbum *album = m_config.album(albumId);
    if (!album)
        return HttpResponse::statusPage(404);
    const std::optional<QPair<int, int>> range = batchRange(query);
    if (!range)
        return HttpResponse::statusPage(400);
    HttpResponse response = HttpResponse::content(
        QByteArrayLiteral("text/html; charset=utf-8"),
        LibraryGallery::rows(m_config.barOfAlbum(albumId)->name, *album, range->first, range->second));
    response.delayMs = album->batchDelayMs(range->first);
    return response;
}

HttpResponse ForumRouter::events(const QString &albumId, const QByteArray &lastEventId) const
{
    const ForumAlbum *album = m_config.album(albumId);
    if (!album || album->batchFrom != BatchSource::Events)
        return HttpResponse::statusPage(404);
    // Each event's id is how many batches have gone with it, so a stream opened again goes on.
    bool resumed = false;
    const int sent = qMax(0, lastEventId.trimmed().toInt(&resumed));
    QList<QByteArray> pushes;
    int number = 0;
    for (qsizetype from = qMin(qsizetype(album->initial), album->pictures.size()); from < album->pictures.size();
         from += album->batch) {
        if (++number <= sent)
            continue;
        QJsonArray ids;
        for (qsizetype i = from; i < album->pictures.size() && i - from < album->batch; ++i)
            ids.append(album->pictures.at(i).id);
        pushes.append("id: " + QByteArray::number(number) +
                      "\ndata: " + QJsonDocument(ids).toJson(QJsonDocument::Compact) + "\n\n");
    }
    // 204 is how a server tells the browser not to open the stream again.
    if (pushes.isEmpty() && album->eventsClose)
        return noContent();
    HttpResponse response = HttpResponse::content(QByteArrayLiteral("text/event-stream; charset=utf-8"), QByteArray());
    response.extraHeaders = QByteArrayLiteral("Cache-Control: no-store\r\n");
    response.announceLength = false;
    response.stream = HttpResponse::Stream::Pushed;
    response.pushes = pushes;
    response.pushEveryMs = album->pushEveryMs;
    response.closeAfterPushes = album->eventsClose;
    return response;
}

HttpResponse ForumRouter::vendorFile(const QByteArray &path)
{
    // Only "/vendor/<package>/<file>" (a package of modules has folders too), and only the files
    // compiled in.
    const QList<QByteArray> parts = path.mid(8).split('/');
    if (parts.size() < 2 || parts.contains(QByteArray()) || parts.contains("..") || parts.contains("."))
        return HttpResponse::statusPage(404);
    const QByteArray type = path.endsWith(".js")    ? QByteArrayLiteral("text/javascript; charset=utf-8")
                            : path.endsWith(".css") ? QByteArrayLiteral("text/css; charset=utf-8")
                                                    : QByteArray();
    QFile file(u":/forumsim"_qs + QString::fromUtf8(path));
    if (type.isEmpty() || !file.open(QIODevice::ReadOnly))
        return HttpResponse::statusPage(404);
    return HttpResponse::content(type, file.readAll());
}

HttpResponse ForumRouter::batchHelper(const QString &albumId, const QByteArray &helper) const
{
    const ForumAlbum *album = m_config.album(albumId);
    if (!album)
        return HttpResponse::statusPage(404);
    if (helper == "frame" && album->batchFrom == BatchSource::Frame)
        return HttpResponse::content(GbkHtml, PageRenderer::batchFrame());
    if (helper == "worker.js" && album->batchFrom == BatchSource::Worker)
        return HttpResponse::content(QByteArrayLiteral("text/javascript; charset=utf-8"), PageRenderer::batchWorker());
    return HttpResponse::statusPage(404);
}

HttpResponse ForumRouter::poll(const QByteArray &query) const
{
    // The connection's timer holds the answer, so a page that goes away takes it along.
    const ForumAlbum *album =
        m_config.album(QUrlQuery(QString::fromUtf8(query)).queryItemValue(u"album"_qs, QUrl::FullyDecoded));
    HttpResponse response = noContent();
    response.delayMs = album ? album->pollMs : ForumAlbum().pollMs;
    return response;
}

HttpResponse ForumRouter::noContent()
{
    HttpResponse response;
    response.status = 204;
    // A 204 has no body, and so no length to announce.
    response.announceLength = false;
    return response;
}

HttpResponse ForumRouter::picture(const QString &id, bool withFaults)
{
    const ForumPicture *declared = m_config.picture(id);
    if (!withFaults && m_config.floodsThumb(id)) {
        HttpResponse flood = HttpResponse::hostile("continue");
        flood.floodMs = 0; // while the client listens
        return flood;
    }
    if (!withFaults)
        return plain(id);
    HttpResponse response;
    if (!declared || !declared->hasFault()) {
        response = plain(id);
        response.delayMs = m_config.pictureDelayMs();
    } else {
        const int seen = ++m_itemRequests[id];
        response = declared->once && seen > 1 ? plain(id) : faulty(*declared);
    }
    // The line's own pace, for every picture that has no pace of its own.
    if (response.status == 200 && response.stream == HttpResponse::Stream::None && !response.drop &&
        m_config.pictureRate() > 0) {
        response.stream = HttpResponse::Stream::Paced;
        response.bytesPerSecond = double(m_config.pictureRate());
    }
    return response;
}

HttpResponse ForumRouter::faulty(const ForumPicture &declared) const
{
    HttpResponse response = declared.status == 200 ? plain(declared.id) : HttpResponse::statusPage(declared.status);
    if (!declared.body.isEmpty() || declared.drop)
        response.padding = 0;
    if (declared.body == u"empty") {
        response.body.clear();
    } else if (declared.body == u"onebyte") {
        response.body = response.body.left(1);
    } else if (declared.body == u"html") {
        response.contentType = QByteArrayLiteral("text/html; charset=utf-8");
        response.body = QByteArrayLiteral("<!DOCTYPE html><html><body><p>图片已失效</p></body></html>\n");
    }
    response.delayMs = declared.delayMs;
    response.drop = declared.drop;
    if (!declared.redirect.isEmpty()) {
        response = HttpResponse::statusPage(declared.status / 100 == 3 ? declared.status : 302);
        response.extraHeaders = "Location: " + declared.redirect.toUtf8() + "\r\n";
        response.delayMs = declared.delayMs;
    }
    if (!declared.flood.isEmpty()) {
        response.stream =
            declared.flood == u"continue" ? HttpResponse::Stream::Continues : HttpResponse::Stream::Headers;
        response.floodMs = declared.floodMs;
    } else if (declared.trickleMs > 0 || declared.rate > 0) {
        response.stream = HttpResponse::Stream::Paced;
        response.bytesPerSecond = declared.trickleMs > 0 ? 1000.0 / declared.trickleMs : double(declared.rate);
    }
    response.falseLength = declared.falseLength;
    response.announcedLength = declared.shortLength;
    if (declared.cutAt >= 0) {
        // The zeros of the padding count as body: a cut may fall inside them.
        if (declared.cutAt <= response.body.size()) {
            response.body.truncate(qsizetype(declared.cutAt));
            response.padding = 0;
        } else {
            response.padding = std::min(response.padding, declared.cutAt - response.body.size());
        }
        response.announceLength = false;
    }
    if (declared.retryAfter >= 0)
        response.extraHeaders += retryAfterHeader(declared.retryAfter, declared.retryAfterDate);
    return response;
}

HttpResponse ForumRouter::plain(const QString &id) const
{
    // The zeros that pad a picture to its size go out as the socket drains, so that even a
    // picture of a gigabyte costs the simulator no memory.
    const ForumPicture *declared = m_config.picture(id);
    const qint64 size = declared && declared->size > 0 ? declared->size : m_config.pictureSize();
    const PictureFormat format = declared ? declared->format : PictureFormat::Jpeg;
    HttpResponse response = HttpResponse::content(PictureFactory::contentType(format), m_factory.bytes(id, 0, format));
    response.padding = std::max<qint64>(0, size - response.body.size());
    return response;
}
