#include "httpconnection.h"

#include "httpresponse.h"
#include "requestparser.h"

#include <QTcpSocket>
#include <QTimer>

HttpConnection::HttpConnection(QTcpSocket *socket, QObject *parent)
    : QObject(parent), m_socket(socket)
{
    m_socket->setParent(this);
    // Headers and body leave in one write; Nagle would only hold back the tail of it.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readIncoming);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    if (m_socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, &HttpConnection::readIncoming);
}

void HttpConnection::respond(const HttpResponse &response)
{
    if (response.hang)
        return;
    if (response.delayMs > 0) {
        respondLater(response);
        return;
    }
    if (m_closing || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (response.drop) {
        sendDropped(response);
        return;
    }
    m_socket->write(response.head(m_keepAlive) + response.body);
    m_busy = false;
    if (!m_keepAlive)
        close();
    else if (!m_dispatching)
        processBuffer();
}

void HttpConnection::readIncoming()
{
    m_buffer += m_socket->readAll();
    if (!m_dispatching)
        processBuffer();
}

void HttpConnection::processBuffer()
{
    m_dispatching = true;
    while (!m_busy && !m_closing) {
        ForumRequest request;
        bool keepAlive = true;
        const RequestParser::Result result = RequestParser::take(m_buffer, &request, &keepAlive);
        if (result == RequestParser::Result::Incomplete)
            break;
        if (result == RequestParser::Result::Malformed) {
            rejectMalformed();
            break;
        }
        m_busy = true;
        m_keepAlive = keepAlive;
        emit requestReceived(this, request);
    }
    m_dispatching = false;
}

void HttpConnection::respondLater(const HttpResponse &response)
{
    // The timer belongs to this connection, so a client that gives up and closes cancels it.
    HttpResponse later = response;
    later.delayMs = 0;
    QTimer::singleShot(response.delayMs, Qt::PreciseTimer, this, [this, later] { respond(later); });
}

void HttpConnection::sendDropped(const HttpResponse &response)
{
    m_socket->write(response.head(m_keepAlive) + response.body.left(response.body.size() / 2));
    close();
}

void HttpConnection::rejectMalformed()
{
    m_keepAlive = false;
    m_socket->write(HttpResponse::statusPage(400).head(false) + HttpResponse::statusPage(400).body);
    close();
}

void HttpConnection::close()
{
    m_closing = true;
    m_buffer.clear();
    // Lets the queued bytes go out first, then sends FIN; 'disconnected' deletes us.
    m_socket->disconnectFromHost();
}
