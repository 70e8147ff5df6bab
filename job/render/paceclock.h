#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <functional>

// The time album pages settle by: how long it has been, and calls made once a wait is over.
// The program runs on the real one; tests may run a job's pages on a clock of their own, so that
// what takes a page a minute takes them a moment.
class PaceClock
{
public:
    virtual ~PaceClock() = default;

    // Milliseconds since some fixed start.
    virtual qint64 nowMs() const = 0;
    // Calls `then` once `ms` have passed, unless `context` is gone by then.
    virtual void after(int ms, QObject *context, std::function<void()> then) = 0;
};

// The time as it passes, each engine's own.
class RealClock final : public PaceClock
{
public:
    RealClock() { m_clock.start(); }
    qint64 nowMs() const override { return m_clock.elapsed(); }
    void after(int ms, QObject *context, std::function<void()> then) override;

private:
    QElapsedTimer m_clock;
};
