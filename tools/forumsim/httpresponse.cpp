#include "httpresponse.h"

#include <QStringBuilder>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return QByteArrayLiteral("OK");
    case 204: return QByteArrayLiteral("No Content");
    case 301: return QByteArrayLiteral("Moved Permanently");
    case 302: return QByteArrayLiteral("Found");
    case 304: return QByteArrayLiteral("Not Modified");
    case 400: return QByteArrayLiteral("Bad Request");
    case 403: return QByteArrayLiteral("Forbidden");
    case 404: return QByteArrayLiteral("Not Found");
    case 500: return QByteArrayLiteral("Internal Server Error");
    case 502: return QByteArrayLiteral("Bad Gateway");
    case 503: return QByteArrayLiteral("Service Unavailable");
    default: return QByteArrayLiteral("Status");
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
    HttpResponse response = content(QByteArrayLiteral("text/html; charset=utf-8"),
                                    QByteArrayLiteral("<!DOCTYPE html><html><body><h1>") + line
                                        + QByteArrayLiteral("</h1></body></html>\n"));
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

QByteArray HttpResponse::head(bool keepAlive) const
{
    QByteArray head;
    head.reserve(160);
    head.append("HTTP/1.1 ").append(QByteArray::number(status)).append(' ').append(reasonPhrase(status));
    if (!contentType.isEmpty())
        head.append("\r\nContent-Type: ").append(contentType);
    head.append("\r\nContent-Length: ").append(QByteArray::number(body.size()));
    head.append(keepAlive ? "\r\nConnection: keep-alive" : "\r\nConnection: close");
    return head.append("\r\nServer: forumsim\r\n\r\n");
}
