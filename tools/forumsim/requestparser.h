#pragma once

#include "tools/forumsim/forumrequest.h"

#include <QByteArray>

// Cuts complete HTTP/1.x requests off the front of a connection's receive buffer.
class RequestParser
{
public:
    enum class Result { Incomplete, Complete, Malformed };

    static Result take(QByteArray &buffer, ForumRequest *request, bool *keepAlive);

private:
    static qsizetype headEnd(const QByteArray &buffer, qsizetype *terminatorLength);
    static bool parseHead(const QByteArray &head, ForumRequest *request, QByteArray *version);
    static bool parseHeaderLine(const QByteArray &line, ForumRequest *request);
    static bool wantsKeepAlive(const ForumRequest &request, const QByteArray &version);
    static qint64 contentLength(const ForumRequest &request);
};
