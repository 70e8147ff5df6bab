#pragma once

#include "tools/forumsim/forumrequest.h"
#include "tools/forumsim/httpresponse.h"

#include <QElapsedTimer>
#include <QObject>

class QTcpSocket;
class QTimer;

// One client socket. Requests are answered strictly in order: while one answer is pending
// (delayed or never coming) later requests wait in the buffer, as HTTP/1.1 requires.
class HttpConnection : public QObject
{
    Q_OBJECT
public:
    HttpConnection(QTcpSocket *socket, QObject *parent);

    // Answers the request last announced by requestReceived; may be called from inside that signal.
    void respond(const HttpResponse &response);

    ~HttpConnection() override;

signals:
    void requestReceived(HttpConnection *connection, const ForumRequest &request);
    // The answer to the last request has left completely (or never will: the peer went away).
    void answered(HttpConnection *connection);

private:
    void readIncoming();
    void processBuffer();
    void respondLater(const HttpResponse &response);
    void sendDropped(const HttpResponse &response);
    void rejectMalformed();
    void close();
    void startStream(const HttpResponse &response);
    void feedStream();
    void feedPaced();
    void pushNext();
    void finishAnswer();

    QTcpSocket *m_socket;
    QByteArray m_buffer;
    bool m_busy = false;
    bool m_keepAlive = true;
    bool m_closing = false;
    bool m_dispatching = false;
    // An answer too big (or too endless) to build in memory goes out as the socket drains.
    HttpResponse::Stream m_stream = HttpResponse::Stream::None;
    qint64 m_zerosLeft = 0;
    QElapsedTimer m_streaming;
    int m_floodMs = 0;
    // A paced answer: what is still to go of its body (then m_zerosLeft zeros), how fast, and
    // how much has gone since m_streaming started.
    QByteArray m_pending;
    double m_bytesPerSecond = 0;
    qint64 m_paced = 0;
    QTimer *m_pace = nullptr;
    // A pushed answer: what is still to go, a piece a tick, and whether the end closes it.
    QList<QByteArray> m_pushes;
    bool m_closeAfterPushes = false;
    QTimer *m_push = nullptr;
    struct Deflater;
    Deflater *m_deflater = nullptr;
};
