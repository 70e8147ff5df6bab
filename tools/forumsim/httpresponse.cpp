#include "tools/forumsim/httpresponse.h"

#include <QStringBuilder>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return QByteArrayLiteral("OK");
    case 204:
        return QByteArrayLiteral("No Content");
    case 301:
        return QByteArrayLiteral("Moved Permanently");
    case 302:
        return QByteArrayLiteral("Found");
    case 304:
        return QByteArrayLiteral("Not Modified");
    case 400:
        return QByteArrayLiteral("Bad Request");
    case 403:
        return QByteArrayLiteral("Forbidden");
    case 404:
        return QByteArrayLiteral("Not Found");
    case 500:
        return QByteArrayLiteral("Internal Server Error");
    case 502:
        return QByteArrayLiteral("Bad Gateway");
    case 503:
        return QByteArrayLiteral("Service Unavailable");
    default:
        return QByteArrayLiteral("Status");
    }
}

} // namespace

HttpResponse HttpResponse::content(const QByteArray &contentType, const QByteArray &body)
{
    HttpResponse response;
    response.contentType = contentType;
    response.body = body;
    return response;
}

HttpResponse HttpResponse::statusPage(int status)
{
    const QByteArray line = QByteArray::number(status) + ' ' + reasonPhrase(status);
    HttpResponse response =
        content(QByteArrayLiteral("text/html; charset=utf-8"), QByteArrayLiteral("<!DOCTYPE html><html><body><h1>") +
                                                                   line + QByteArrayLiteral("</h1></body></html>\n"));
    response.status = status;
    if (!response.hasBody())
        response.body.clear();
    return response;
}

HttpResponse HttpResponse::never()
{
    HttpResponse response;
    response.hang = true;
    return response;
}

HttpResponse HttpResponse::hostile(const QByteArray &kind)
{
    HttpResponse response = content(QByteArrayLiteral("text/html"), QByteArray());
    if (kind == "endless") {
        response.stream = Stream::Endless;
        response.announceLength = false;
    } else if (kind == "endless-length") {
        response.stream = Stream::Endless;
        response.padding = qint64(100) * 1000 * 1000 * 1000;
    } else if (kind == "gzip") {
        response.stream = Stream::Gzip;
        response.announceLength = false;
        response.extraHeaders = QByteArrayLiteral("Content-Encoding: gzip\r\n");
    } else if (kind == "continue" || kind == "headers") {
        response.stream = kind == "continue" ? Stream::Continues : Stream::Headers;
        // Long enough to outlast a client's time limit; a client thread that reads the lines
        // one by one takes many times as long to get through them as they took to send.
        response.floodMs = kind == "continue" ? 1500 : 300;
    } else {
        return statusPage(404);
    }
    return response;
}

QByteArray HttpResponse::head(bool keepAlive) const
{
    QByteArray head;
    head.reserve(160);
    head.append("HTTP/1.1 ").append(QByteArray::number(status)).append(' ').append(reasonPhrase(status));
    if (!contentType.isEmpty())
        head.append("\r\nContent-Type: ").append(contentType);
    if (falseLength >= 0)
        head.append("\r\nContent-Length: ").append(QByteArray::number(falseLength));
    if (announceLength)
        head.append("\r\nContent-Length: ")
            .append(QByteArray::number(announcedLength >= 0 ? announcedLength : body.size() + padding));
    head.append(keepAlive ? "\r\nConnection: keep-alive" : "\r\nConnection: close");
    return head.append("\r\nServer: forumsim\r\n").append(extraHeaders).append("\r\n");
}
