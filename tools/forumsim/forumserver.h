#pragma once

#include "tools/forumsim/forumrequest.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

class ForumRouter;
class HttpConnection;
class QTcpServer;

// A simulated forum on 127.0.0.1 for tests and demos. Everything runs on the owner's thread
// and never blocks it, so a client in the same thread may wait in local event loops.
class ForumServer : public QObject
{
    Q_OBJECT
public:
    explicit ForumServer(QObject *parent = nullptr);
    ~ForumServer() override;

    // Replaces the content and forgets which "once" faults have already fired.
    bool loadJson(const QByteArray &json, QString *error = nullptr);
    bool loadFile(const QString &path, QString *error = nullptr);

    bool listen(quint16 port = 0); // 127.0.0.1 only; 0 picks a free port
    quint16 port() const;
    QString hostAndPort() const; // "127.0.0.1:<port>"
    QString errorString() const; // why listen() failed

    QList<ForumRequest> requests() const;
    void clearRequests();

    // The exact bytes a fault-free request for this picture id receives.
    QByteArray pictureBytes(const QString &id) const;

    // The most picture requests that were ever waiting for or receiving their answer at once,
    // since the last clearRequests().
    int mostPicturesAtOnce() const { return m_mostPicturesAtOnce; }

private:
    void acceptConnections();
    void handleRequest(HttpConnection *connection, const ForumRequest &request);

    QTcpServer *m_server;
    std::unique_ptr<ForumRouter> m_router;
    QList<ForumRequest> m_requests;
    QSet<HttpConnection *> m_pictureAnswers;
    int m_mostPicturesAtOnce = 0;
};
