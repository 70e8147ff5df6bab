#pragma once

#include <QElapsedTimer>
#include <QList>

// What the pages of one engine learn together of its network side, which they all share: a load
// that never finished may have left it stuck for every page, and a load any page finished since
// shows that it still serves. On one clock for all the pages.
class EngineHealth final
{
public:
    EngineHealth();

    // Milliseconds on the pages' clock.
    qint64 nowMs() const { return m_clock.elapsed(); }

    // A page finished a load now.
    void loadFinished() { m_lastLoadFinishedMs = nowMs(); }
    // When a page last finished a load; -1 before the first.
    qint64 lastLoadFinishedMs() const { return m_lastLoadFinishedMs; }
    // A load begun at `startMs` was given up unfinished.
    void loadGivenUp(qint64 startMs);
    // True when a load was given up unfinished since the network side was last renewed.
    bool suspect() const { return m_suspect; }
    // True when a load given up unfinished has seen no load of any page finish since it began: the
    // sign of a network side that no longer serves.
    bool stuck();
    // The network side is renewed: what was given up before counts no more.
    void renewed();

private:
    QElapsedTimer m_clock;
    qint64 m_lastLoadFinishedMs = -1;
    // When the loads given up unfinished began.
    QList<qint64> m_givenUpLoads;
    bool m_suspect = false;
};
