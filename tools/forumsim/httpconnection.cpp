#include "tools/forumsim/httpconnection.h"

#include "tools/forumsim/httpresponse.h"
#include "tools/forumsim/requestparser.h"

#include <QTcpSocket>
#include <QTimer>

#include <zlib.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 chunk = 1 << 20;
constexpr qint64 floodQueue = 512 << 10;

} // namespace

struct HttpConnection::Deflater
{
    z_stream stream{};
    Deflater() { deflateInit2(&stream, 1, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY); }
    ~Deflater() { deflateEnd(&stream); }

    QByteArray zeros(qint64 count)
    {
        static const QByteArray input(chunk, '\0');
        QByteArray out;
        for (; count > 0; count -= chunk) {
            stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input.constData()));
            stream.avail_in = uInt(std::min(count, chunk));
            char buffer[64 * 1024];
            do {
                stream.next_out = reinterpret_cast<Bytef *>(buffer);
                stream.avail_out = sizeof buffer;
                deflate(&stream, Z_SYNC_FLUSH);
                out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
            } while (stream.avail_out == 0);
        }
        return out;
    }
};

HttpConnection::HttpConnection(QTcpSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
{
    m_socket->setParent(this);
    // Headers and body leave in one write; Nagle would only hold back the tail of it.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpConnection::readIncoming);
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpConnection::feedStream);
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
    // Without a length, only the end of the connection ends the body.
    if (!response.announceLength && response.hasBody())
        m_keepAlive = false;
    if (response.drop) {
        sendDropped(response);
        return;
    }
    if (response.padding > 0 || response.stream != HttpResponse::Stream::None) {
        startStream(response);
        return;
    }
    m_socket->write(response.head(m_keepAlive) + response.body);
    finishAnswer();
}

HttpConnection::~HttpConnection()
{
    delete m_deflater;
    if (m_busy)
        emit answered(this);
}

void HttpConnection::finishAnswer()
{
    m_busy = false;
    emit answered(this);
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

void HttpConnection::startStream(const HttpResponse &response)
{
    if (response.stream == HttpResponse::Stream::Continues || response.stream == HttpResponse::Stream::Headers) {
        m_stream = response.stream;
        m_floodMs = response.floodMs;
        m_streaming.start();
        // A client reads a flood a byte at a time: enough must wait for it to keep it busy, and
        // no more, or it would chew on the buffers for many seconds after the flood has ended.
        m_socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, floodQueue);
        if (m_stream == HttpResponse::Stream::Headers)
            m_socket->write(QByteArrayLiteral("HTTP/1.1 200 OK\r\n"));
    } else if (response.stream == HttpResponse::Stream::Pushed) {
        // An event stream has no length: it ends when the connection does.
        m_keepAlive = false;
        m_socket->write(response.head(false));
        m_stream = response.stream;
        m_pushes = response.pushes;
        m_closeAfterPushes = response.closeAfterPushes;
        if (!m_push) {
            m_push = new QTimer(this);
            connect(m_push, &QTimer::timeout, this, &HttpConnection::pushNext);
        }
        m_push->start(std::max(1, response.pushEveryMs));
        return;
    } else if (response.stream == HttpResponse::Stream::Paced) {
        m_socket->write(response.head(m_keepAlive));
        m_stream = response.stream;
        m_pending = response.body;
        m_zerosLeft = response.padding;
        m_bytesPerSecond = response.bytesPerSecond;
        m_paced = 0;
        m_streaming.start();
        if (!m_pace) {
            m_pace = new QTimer(this);
            m_pace->setSingleShot(true);
            m_pace->setTimerType(Qt::PreciseTimer);
            connect(m_pace, &QTimer::timeout, this, &HttpConnection::feedPaced);
        }
        feedPaced();
        return;
    } else {
        m_socket->write(response.head(m_keepAlive) + response.body);
        m_stream = response.stream == HttpResponse::Stream::None && response.padding > 0 ? HttpResponse::Stream::Endless
                                                                                         : response.stream;
        // Only a hostile answer goes on for ever; a body cut short ends with its padding.
        m_zerosLeft =
            response.stream == HttpResponse::Stream::Endless && !response.announceLength ? -1 : response.padding;
        if (m_stream == HttpResponse::Stream::Gzip)
            m_deflater = new Deflater;
    }
    feedStream();
}

void HttpConnection::feedPaced()
{
    if (m_stream != HttpResponse::Stream::Paced || m_closing)
        return;
    // As much as the pace allows by now, so the rate holds however late the timer fires.
    const double elapsed = double(m_streaming.nsecsElapsed()) / 1e9;
    const qint64 due = std::min(qint64(m_bytesPerSecond * elapsed) - m_paced, chunk - m_socket->bytesToWrite());
    if (due > 0) {
        const qint64 fromBody = std::min<qint64>(due, m_pending.size());
        const qint64 zeros = std::min(due - fromBody, m_zerosLeft);
        m_socket->write(m_pending.left(fromBody) + QByteArray(qsizetype(zeros), '\0'));
        m_pending.remove(0, fromBody);
        m_zerosLeft -= zeros;
        m_paced += fromBody + zeros;
    }
    if (m_pending.isEmpty() && m_zerosLeft == 0) {
        m_stream = HttpResponse::Stream::None;
        finishAnswer();
        return;
    }
    // Until the next byte is due, but never so long that a fast pace comes in big lumps.
    const double nextAt = double(m_paced + 1) / m_bytesPerSecond;
    m_pace->start(int(std::clamp(std::ceil((nextAt - elapsed) * 1000), 10.0, 3600000.0)));
}

// Once all has gone, a stream that is not closed stays open, silent, until the client goes.
void HttpConnection::pushNext()
{
    if (m_closing)
        return;
    if (!m_pushes.isEmpty())
        m_socket->write(m_pushes.takeFirst());
    if (!m_pushes.isEmpty())
        return;
    m_push->stop();
    if (m_closeAfterPushes)
        close();
}

void HttpConnection::feedStream()
{
    if (m_stream == HttpResponse::Stream::Paced || m_stream == HttpResponse::Stream::Pushed)
        return;
    // Keeps about a chunk queued, so that memory stays flat however long the answer is.
    const bool flood = m_stream == HttpResponse::Stream::Continues || m_stream == HttpResponse::Stream::Headers;
    while (m_stream != HttpResponse::Stream::None && !m_closing &&
           m_socket->bytesToWrite() < (flood ? floodQueue : chunk)) {
        switch (m_stream) {
        case HttpResponse::Stream::Continues:
        case HttpResponse::Stream::Headers:
            // A flood that ends lets a test see the end of a client thread it held.
            if (m_floodMs > 0 && m_streaming.elapsed() > m_floodMs) {
                m_stream = HttpResponse::Stream::None;
                close();
                return;
            }
            m_socket->write(m_stream == HttpResponse::Stream::Continues
                                ? QByteArrayLiteral("HTTP/1.1 100 Continue\r\n\r\n").repeated(400)
                                : QByteArrayLiteral("X-Filler: 0123456789abcdef0123456789abcdef\r\n").repeated(250));
            break;
        case HttpResponse::Stream::Gzip:
            // Packing takes time, and nearly nothing comes out: one block a turn, or the
            // simulator would pack for seconds before sending a byte.
            m_socket->write(m_deflater->zeros(16 * chunk));
            return;
        default: {
            const qint64 size = m_zerosLeft < 0 ? chunk : std::min(m_zerosLeft, chunk);
            m_socket->write(QByteArray(qsizetype(size), m_zerosLeft < 0 ? 'a' : '\0'));
            if (m_zerosLeft > 0)
                m_zerosLeft -= size;
            if (m_zerosLeft == 0) {
                m_stream = HttpResponse::Stream::None;
                finishAnswer();
                return;
            }
        }
        }
    }
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
