#pragma once

#include <QMutex>
#include <QPointer>
#include <QSet>

#include <vector>

class QNetworkAccessManager;
class QNetworkReply;
class QThread;

// The network lines of the process: one manager each, every manager with a network thread of its
// own, which one hostile answer can hold for as long as the server likes (a flood of interim
// answers keeps the thread from ever seeing an abort). A manager whose thread may be held is
// retired: it gets no new fetch, and once its replies are gone it is deleted on a thread of the
// lines' own, since deleting a manager waits for its network thread.
//
// At the end of the process nothing waits for a held thread: the managers that never abandoned
// an answer half-way are deleted, the others are left to the process's end together with the
// thread that deletes retired ones, which is told to stop and never waited for. The lines are
// never destroyed, so that no thread object goes while its thread still runs.
class NetworkLines final
{
public:
    static NetworkLines &shared();

    // The manager of `line`, created on first use.
    QNetworkAccessManager *manager(int line);
    // Stops handing out `used` for new fetches, if it is still a current manager.
    void retire(QNetworkAccessManager *used);
    // Gives up `reply`: one still under way is aborted, and its manager retired, its thread perhaps
    // held by the answer. The reply is deleted once the event loop takes its next turn.
    void abandon(QNetworkReply *reply);

private:
    NetworkLines();
    void handOver(const QPointer<QNetworkAccessManager> &manager);
    void deleteRetired(QNetworkAccessManager *doomed);
    void close();

    std::vector<QPointer<QNetworkAccessManager>> m_current;
    // Every manager no longer current and not deleted yet: all of them are the lines' own until
    // the process ends.
    QSet<QNetworkAccessManager *> m_retired;
    QMutex m_retiredLock; // the reaper's thread removes what it deleted
    QThread *m_reaper = nullptr;
    QObject *m_inbox = nullptr; // lives in m_reaper: what is queued to it runs there
    bool m_closing = false;
};
