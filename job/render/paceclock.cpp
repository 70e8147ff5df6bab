#include "job/render/paceclock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

namespace {

class RealClock final : public PaceClock
{
public:
    RealClock() { m_clock.start(); }
    qint64 nowMs() const override { return m_clock.elapsed(); }
    void after(int ms, QObject *context, std::function<void()> then) override
    {
        QTimer::singleShot(std::max(0, ms), Qt::PreciseTimer, context, std::move(then));
    }

private:
    QElapsedTimer m_clock;
};

} // namespace

PaceClock &PaceClock::real()
{
    static RealClock clock;
    return clock;
}
