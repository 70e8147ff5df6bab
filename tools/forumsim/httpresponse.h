#pragma once

#include <QByteArray>
#include <QList>

// What a route decided to answer, including the misbehaviour the connection has to act out.
class HttpResponse
{
public:
    static HttpResponse content(const QByteArray &contentType, const QByteArray &body);
    static HttpResponse statusPage(int status);
    static HttpResponse never();
    // Answers that never end, for hostile-server tests: "endless" (no length, bytes for ever),
    // "endless-length" (an announced length of 100 GB), "gzip" (a gzip body of zeros without
    // end), "continue" (interim "100 Continue" answers for 1.5 s, then the connection closes),
    // "headers" (a status line, then header lines for 0.3 s); a 404 page for another name.
    static HttpResponse hostile(const QByteArray &kind);

    QByteArray head(bool keepAlive) const;
    bool hasBody() const { return status != 304 && status != 204 && status >= 200; }

    int status = 200;
    QByteArray contentType;
    QByteArray body;
    int delayMs = 0;
    bool drop = false;  // full Content-Length, half the body, then the socket closes
    bool hang = false;  // the request is read and never answered
    qint64 padding = 0; // zero bytes after the body, sent as the socket drains
    // Paced: the body and padding at bytesPerSecond. Continues and Headers: a flood of interim
    // answers or of header lines, for floodMs (0: for ever), then the connection closes. Pushed:
    // the head, then one of pushes every pushEveryMs; after the last the connection closes
    // (closeAfterPushes) or stays open for as long as the client listens.
    enum class Stream { None, Endless, Gzip, Continues, Headers, Paced, Pushed };
    Stream stream = Stream::None;
    double bytesPerSecond = 0;
    int floodMs = 0;
    qint64 falseLength = -1;     // a Content-Length header before the true one
    qint64 announcedLength = -1; // the Content-Length announced instead of the true one
    QByteArray extraHeaders;     // whole header lines, each ending in CR LF
    bool announceLength = true;
    QList<QByteArray> pushes;
    int pushEveryMs = 0;
    bool closeAfterPushes = false;
};
