#pragma once

#include "forumrequest.h"

#include <QObject>

class HttpResponse;
class QTcpSocket;

// One client socket. Requests are answered strictly in order: while one answer is pending
// (delayed or never coming) later requests wait in the buffer, as HTTP/1.1 requires.
class HttpConnection : public QObject
{
    Q_OBJECT
public:
    HttpConnection(QTcpSocket *socket, QObject *parent);

    // Answers the request last announced by requestReceived; may be called from inside that signal.
    void respond(const HttpResponse &response);

signals:
    void requestReceived(HttpConnection *connection, const ForumRequest &request);

private:
    void readIncoming();
    void processBuffer();
    void respondLater(const HttpResponse &response);
    void sendDropped(const HttpResponse &response);
    void rejectMalformed();
    void close();

    QTcpSocket *m_socket;
    QByteArray m_buffer;
    bool m_busy = false;
    bool m_keepAlive = true;
    bool m_closing = false;
    bool m_dispatching = false;
};
