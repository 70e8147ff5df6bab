#pragma once

#include <QByteArray>

// What a route decided to answer, including the misbehaviour the connection has to act out.
class HttpResponse
{
public:
    static HttpResponse content(const QByteArray &contentType, const QByteArray &body);
    static HttpResponse statusPage(int status);
    static HttpResponse never();
    // Answers that never end, for hostile-server tests: "endless" (no length, bytes for ever),
    // "endless-length" (an announced length of 100 GB), "gzip" (a gzip body of zeros without
    // end), "continue" (interim "100 Continue" answers for 1.5 s, then the connection closes); empty for another name.
    static HttpResponse hostile(const QByteArray &kind);

    QByteArray head(bool keepAlive) const;
    bool hasBody() const { return status != 304 && status != 204 && status >= 200; }

    int status = 200;
    QByteArray contentType;
    QByteArray body;
    int delayMs = 0;
    bool drop = false;     // full Content-Length, half the body, then the socket closes
    bool hang = false;     // the request is read and never answered
    qint64 padding = 0;    // zero bytes after the body, sent as the socket drains
    enum class Stream { None, Endless, Gzip, Continues };
    Stream stream = Stream::None;
    QByteArray extraHeaders; // whole header lines, each ending in CR LF
    int continueForMs = 1500; // how long "100 Continue" answers go on; -1: while the client listens
    bool announceLength = true;
};
