#include "tools/forumsim/forumserver.h"

#include "tools/forumsim/forumrouter.h"
#include "tools/forumsim/httpconnection.h"

#include <QFile>
#include <QStringBuilder>
#include <QTcpServer>
#include <QTcpSocket>

ForumServer::ForumServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
    , m_router(std::make_unique<ForumRouter>(ForumConfig()))
{
    connect(m_server, &QTcpServer::newConnection, this, &ForumServer::acceptConnections);
}

ForumServer::~ForumServer() = default;

bool ForumServer::loadJson(const QByteArray &json, QString *error)
{
    std::optional<ForumConfig> config = ForumConfig::fromJson(json, error);
    if (!config)
        return false;
    m_router = std::make_unique<ForumRouter>(std::move(*config));
    return true;
}

bool ForumServer::loadFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path % u": "_qs % file.errorString();
        return false;
    }
    return loadJson(file.readAll(), error);
}

bool ForumServer::listen(quint16 port)
{
    if (m_server->isListening())
        m_server->close();
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 ForumServer::port() const
{
    return m_server->serverPort();
}

QString ForumServer::hostAndPort() const
{
    return u"127.0.0.1:"_qs % QString::number(port());
}

QString ForumServer::errorString() const
{
    return m_server->errorString();
}

QList<ForumRequest> ForumServer::requests() const
{
    return m_requests;
}

void ForumServer::clearRequests()
{
    m_requests.clear();
    m_mostPicturesAtOnce = int(m_pictureAnswers.size());
}

QByteArray ForumServer::pictureBytes(const QString &id) const
{
    return m_router->pictureBytes(id);
}

void ForumServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *connection = new HttpConnection(socket, this);
        connect(connection, &HttpConnection::requestReceived, this, &ForumServer::handleRequest);
        connect(connection, &HttpConnection::answered, this,
                [this](HttpConnection *answered) { m_pictureAnswers.remove(answered); });
    }
}

void ForumServer::handleRequest(HttpConnection *connection, const ForumRequest &request)
{
    m_requests.append(request);
    if (request.target.startsWith("/forum/pic/item/")) {
        m_pictureAnswers.insert(connection);
        m_mostPicturesAtOnce = std::max(m_mostPicturesAtOnce, int(m_pictureAnswers.size()));
    }
    connection->respond(m_router->route(request));
}
