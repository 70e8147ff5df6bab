#include "web/network/networklines.h"

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QThread>

struct NetworkLines::Reaper
{
    QMutex lock;
    // Every manager no longer current and not deleted yet.
    QSet<QNetworkAccessManager *> retired;
    bool closing = false;
    int deleting = 0; // managers being deleted on the lines' thread right now
};

namespace {

// What a network thread may still hold when its lines end. Destroying it would wait for that
// thread, and a thread object may not go while its thread runs: it is kept, never destroyed,
// where the process's end (and a leak checker) finds it.
void keepToTheEnd(const QList<QObject *> &held)
{
    static QList<QObject *> *const kept = new QList<QObject *>;
    *kept += held;
}

bool hasReplies(const QNetworkAccessManager &manager)
{
    return !manager.findChildren<QNetworkReply *>(Qt::FindDirectChildrenOnly).isEmpty();
}

} // namespace

NetworkLines::NetworkLines()
    : m_reaper(std::make_shared<Reaper>())
    , m_thread(new QThread)
    , m_inbox(new QObject)
    , m_events(std::make_unique<QObject>())
{
    m_thread->setObjectName(QStringLiteral("retired network managers"));
    m_inbox->moveToThread(m_thread);
    m_thread->start();
}

NetworkLines::~NetworkLines()
{
    m_events.reset();
    QList<QObject *> held;
    QList<QNetworkAccessManager *> free;
    bool idle = false;
    {
        const QMutexLocker locked(&m_reaper->lock);
        m_reaper->closing = true;
        idle = m_reaper->deleting == 0;
        // A current manager never gave up an answer half-way, so its thread is free and ends at
        // once. One with a reply still alive may be held by it.
        for (const QPointer<QNetworkAccessManager> &current : m_current) {
            if (current && !hasReplies(*current))
                free << current.data();
            else if (current)
                m_reaper->retired.insert(current.data());
        }
        for (QNetworkAccessManager *retired : std::as_const(m_reaper->retired))
            held << retired;
    }
    m_current.clear();
    qDeleteAll(free);
    m_thread->quit();
    if (idle) {
        // Nothing is being deleted there, and nothing will be: the thread ends at once.
        m_thread->wait();
        delete m_inbox;
        delete m_thread;
    } else {
        held << m_thread << m_inbox;
    }
    keepToTheEnd(held);
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
                const QMutexLocker locked(&m_reaper->lock);
                m_reaper->retired.insert(used);
            }
            // Not at once: the caller still holds its reply for a moment.
            QMetaObject::invokeMethod(
                m_events.get(), [this, manager = QPointer<QNetworkAccessManager>(used)] { handOver(manager); },
                Qt::QueuedConnection);
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
    if (!manager)
        return;
    // Its replies belong to the fetches that made them; it goes once they are gone.
    const QList<QNetworkReply *> replies = manager->findChildren<QNetworkReply *>(Qt::FindDirectChildrenOnly);
    if (!replies.isEmpty()) {
        for (QNetworkReply *reply : replies)
            QObject::connect(
                reply, &QObject::destroyed, m_events.get(), [this, manager] { handOver(manager); },
                Qt::QueuedConnection);
        return;
    }
    if (manager->thread() != QThread::currentThread())
        return; // already on its way
    manager->moveToThread(m_thread);
    // On the lines' thread, which may outlive the lines: it keeps what it shares with them.
    QMetaObject::invokeMethod(
        m_inbox,
        [reaper = m_reaper, doomed = manager.data()] {
            {
                const QMutexLocker locked(&reaper->lock);
                if (reaper->closing)
                    return;
                ++reaper->deleting;
            }
            delete doomed;
            const QMutexLocker locked(&reaper->lock);
            --reaper->deleting;
            reaper->retired.remove(doomed);
        },
        Qt::QueuedConnection);
}
