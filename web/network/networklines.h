#pragma once

#include <QPointer>

#include <memory>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;
class QThread;

// The network lines of an engine: one manager each, every manager with a network thread of its
// own, which one hostile answer can hold for as long as the server likes (a flood of interim
// answers keeps the thread from ever seeing an abort). A manager whose thread may be held is
// retired: it gets no new fetch, and once its replies are gone it is deleted on a thread of the
// lines' own, since deleting a manager waits for its network thread.
//
// When the lines end nothing waits for a held thread: the managers that never abandoned an answer
// half-way are deleted, and so is the lines' own thread when it is idle; whatever a network
// thread may still hold (a retired manager, one with a reply alive, the lines' thread in the
// middle of deleting one) is left to the process's end, where it is never destroyed.
class NetworkLines final
{
public:
    NetworkLines();
    ~NetworkLines();
    NetworkLines(const NetworkLines &) = delete;
    NetworkLines &operator=(const NetworkLines &) = delete;

    // The manager of `line`, created on first use.
    QNetworkAccessManager *manager(int line);
    // Stops handing out `used` for new fetches, if it is still a current manager.
    void retire(QNetworkAccessManager *used);
    // Gives up `reply`: one still under way is aborted, and its manager retired, its thread perhaps
    // held by the answer. The reply is deleted once the event loop takes its next turn.
    void abandon(QNetworkReply *reply);

private:
    struct Reaper;

    void handOver(const QPointer<QNetworkAccessManager> &manager);

    std::vector<QPointer<QNetworkAccessManager>> m_current;
    // Shared with the lines' thread, which may outlive the lines when a held manager holds it.
    std::shared_ptr<Reaper> m_reaper;
    QThread *m_thread = nullptr;
    QObject *m_inbox = nullptr; // lives in m_thread: what is queued to it runs there
    // The context of the calls the lines queue to themselves: they go with the lines.
    std::unique_ptr<QObject> m_events;
};
