#include "web/networklines.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>

#include <atomic>

namespace {

// Read by the reaper's thread, set by the main one at the end of the process.
std::atomic<bool> closing{false};

} // namespace

NetworkLines &NetworkLines::shared()
{
    // Never destroyed: see the class comment.
    static NetworkLines *lines = new NetworkLines;
    return *lines;
}

NetworkLines::NetworkLines()
    : m_reaper(new QThread)
    , m_inbox(new QObject)
{
    m_reaper->setObjectName(QStringLiteral("retired network managers"));
    m_inbox->moveToThread(m_reaper);
    m_reaper->start();
    // Runs while the application is still whole: a manager deleted later would meet a dead one.
    qAddPostRoutine([] { shared().close(); });
}

QNetworkAccessManager *NetworkLines::manager(int line)
{
    line = std::max(0, line);
    if (m_current.size() <= size_t(line))
        m_current.resize(size_t(line) + 1);
    QPointer<QNetworkAccessManager> &current = m_current[size_t(line)];
    if (!current)
        current = new QNetworkAccessManager;
    return current;
}

void NetworkLines::retire(QNetworkAccessManager *used)
{
    if (!used)
        return;
    for (QPointer<QNetworkAccessManager> &current : m_current) {
        if (current == used) {
            current = nullptr;
            {
                const QMutexLocker locked(&m_retiredLock);
                m_retired.insert(used);
            }
            // Not at once: the caller still holds its reply for a moment.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [this, manager = QPointer<QNetworkAccessManager>(used)] { handOver(manager); }, Qt::QueuedConnection);
            return;
        }
    }
}

void NetworkLines::abandon(QNetworkReply *reply)
{
    if (!reply)
        return;
    // A reply that has already ended or failed takes a second end as an internal error, and says
    // so on standard error.
    if (!reply->isFinished() && reply->error() == QNetworkReply::NoError) {
        retire(reply->manager());
        reply->abort();
    }
    reply->deleteLater();
}

void NetworkLines::handOver(const QPointer<QNetworkAccessManager> &manager)
{
    if (!manager || m_closing)
        return;
    // Its replies belong to the fetches that made them; it goes once they are gone.
    const QList<QNetworkReply *> replies = manager->findChildren<QNetworkReply *>(Qt::FindDirectChildrenOnly);
    if (!replies.isEmpty()) {
        for (QNetworkReply *reply : replies)
            QObject::connect(
                reply, &QObject::destroyed, QCoreApplication::instance(), [this, manager] { handOver(manager); },
                Qt::QueuedConnection);
        return;
    }
    if (manager->thread() != QThread::currentThread())
        return; // already on its way
    manager->moveToThread(m_reaper);
    QMetaObject::invokeMethod(
        m_inbox, [this, doomed = manager.data()] { deleteRetired(doomed); }, Qt::QueuedConnection);
}

// On the reaper's thread.
void NetworkLines::deleteRetired(QNetworkAccessManager *doomed)
{
    if (closing)
        return;
    delete doomed;
    const QMutexLocker locked(&m_retiredLock);
    m_retired.remove(doomed);
}

void NetworkLines::close()
{
    m_closing = true;
    closing = true;
    m_reaper->quit();
    // A current manager never gave up an answer half-way, so its thread is free and ends at once.
    // One with a reply still alive may be held by it, and is left to the process's end.
    const QMutexLocker locked(&m_retiredLock);
    for (QPointer<QNetworkAccessManager> &current : m_current) {
        if (current && current->findChildren<QNetworkReply *>(Qt::FindDirectChildrenOnly).isEmpty())
            delete current.data();
        else if (current)
            m_retired.insert(current.data());
    }
    m_current.clear();
}
