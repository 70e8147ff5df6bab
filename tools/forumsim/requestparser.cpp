#include "tools/forumsim/requestparser.h"

#include <QList>
#include <QStringBuilder>

namespace {

// Anything longer is not a browser or Qt talking to us; give up instead of buffering for ever.
constexpr qsizetype MaxHeadSize = 64 * 1024;
constexpr qint64 MaxBodySize = 1024 * 1024;

void skipLeadingBlankLines(QByteArray &buffer)
{
    qsizetype n = 0;
    while (n < buffer.size() && (buffer.at(n) == '\r' || buffer.at(n) == '\n'))
        ++n;
    if (n > 0)
        buffer.remove(0, n);
}

} // namespace

RequestParser::Result RequestParser::take(QByteArray &buffer, ForumRequest *request, bool *keepAlive)
{
    skipLeadingBlankLines(buffer);
    qsizetype terminator = 0;
    const qsizetype end = headEnd(buffer, &terminator);
    if (end < 0)
        return buffer.size() > MaxHeadSize ? Result::Malformed : Result::Incomplete;
    ForumRequest parsed;
    QByteArray version;
    if (!parseHead(buffer.left(end), &parsed, &version))
        return Result::Malformed;
    const qint64 bodyLength = contentLength(parsed);
    if (bodyLength < 0)
        return Result::Malformed;
    if (buffer.size() < end + terminator + bodyLength)
        return Result::Incomplete;
    buffer.remove(0, end + terminator + bodyLength);
    *keepAlive = wantsKeepAlive(parsed, version);
    *request = std::move(parsed);
    return Result::Complete;
}

qsizetype RequestParser::headEnd(const QByteArray &buffer, qsizetype *terminatorLength)
{
    // Hand-typed requests (netcat, tests) sometimes end lines with a bare LF.
    const qsizetype crlf = buffer.indexOf("\r\n\r\n");
    const qsizetype lf = buffer.indexOf("\n\n");
    if (lf >= 0 && (crlf < 0 || lf < crlf)) {
        *terminatorLength = 2;
        return lf;
    }
    *terminatorLength = 4;
    return crlf;
}

bool RequestParser::parseHead(const QByteArray &head, ForumRequest *request, QByteArray *version)
{
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> parts = lines.first().trimmed().split(' ');
    if (parts.size() != 3 || parts.at(0).isEmpty() || parts.at(1).isEmpty() || !parts.at(2).startsWith("HTTP/1."))
        return false;
    request->method = parts.at(0);
    request->target = parts.at(1);
    *version = parts.at(2);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (!parseHeaderLine(lines.at(i), request))
            return false;
    }
    return true;
}

bool RequestParser::parseHeaderLine(const QByteArray &line, ForumRequest *request)
{
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return false;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    QByteArray &slot = request->headers[name];
    slot = slot.isEmpty() ? value : slot + QByteArrayLiteral(", ") + value;
    return true;
}

bool RequestParser::wantsKeepAlive(const ForumRequest &request, const QByteArray &version)
{
    const QByteArray connection = request.headers.value("connection").toLower();
    if (version == "HTTP/1.0")
        return connection.contains("keep-alive");
    return !connection.contains("close");
}

qint64 RequestParser::contentLength(const ForumRequest &request)
{
    const auto it = request.headers.constFind("content-length");
    if (it == request.headers.cend())
        return 0;
    bool ok = false;
    const qint64 length = it->toLongLong(&ok);
    return ok && length >= 0 && length <= MaxBodySize ? length : -1;
}
