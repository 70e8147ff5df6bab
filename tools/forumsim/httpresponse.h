#pragma once

#include <QByteArray>

// What a route decided to answer, including the misbehaviour the connection has to act out.
class HttpResponse
{
public:
    static HttpResponse content(const QByteArray &contentType, const QByteArray &body);
    static HttpResponse statusPage(int status);
    static HttpResponse never();

    QByteArray head(bool keepAlive) const;
    bool hasBody() const { return status != 304 && status != 204 && status >= 200; }

    int status = 200;
    QByteArray contentType;
    QByteArray body;
    int delayMs = 0;
    bool drop = false;     // full Content-Length, half the body, then the socket closes
    bool hang = false;     // the request is read and never answered
};
