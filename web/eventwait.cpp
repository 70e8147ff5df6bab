#include "web/eventwait.h"

#include <QElapsedTimer>

#include <cmath>

namespace EventWait {

Outcome run(QEventLoop &loop, int timeoutMs)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    timer.start(std::max(0, timeoutMs));
    // exec() returns -1 at once when the application is already quitting; callers must not
    // loop on that, or they would spin.
    if (loop.exec() != 0)
        return Outcome::Interrupted;
    return timedOut ? Outcome::TimedOut : Outcome::Signalled;
}

Outcome forMs(int ms)
{
    QEventLoop loop;
    return run(loop, ms);
}

} // namespace EventWait

void YanShi(double HaoMiao)
{
    if (!(HaoMiao > 0))
        return;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const double left = HaoMiao - double(clock.nsecsElapsed()) / 1e6;
        if (left <= 0)
            return;
        if (EventWait::forMs(int(std::ceil(std::min(left, 1e9)))) == EventWait::Outcome::Interrupted)
            return;
    }
}
