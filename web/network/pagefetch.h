#pragma once

#include "web/network/fetchresult.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class Network;

// One GET of Weburl with "If-Modified-Since: 0", given up once it stops making progress: fewer
// than Timings::progressBytes arriving within chaoshi seconds. A request given up is aborted.
// A server that asks for a rest (HostHolds) gets it, and one more request after it.
class PageFetch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PageFetch)

public:
    PageFetch(Network &network, const QString &Weburl, double chaoshi, QObject *parent = nullptr);
    ~PageFetch() override;

    void start();
    bool isFinished() const { return m_finished; }
    const FetchResult &result() const { return m_result; }

signals:
    void finished();

private:
    void next();
    void answered(const FetchResult &result, qint64 askedRestMs, bool statusCame);

    Network &m_network;
    const QString m_url;
    const QString m_host;
    const double m_seconds;
    QTimer m_rest;
    std::unique_ptr<QObject> m_get;
    bool m_again = false;
    bool m_finished = false;
    FetchResult m_result;
};

// The same, handing `done` its result once it has come, unless `context` is gone by then. The
// fetch belongs to `context`: deleting it stops the fetch.
void GetBody(Network &network, const QString &Weburl, double chaoshi, QObject *context,
             std::function<void(const FetchResult &)> done);
