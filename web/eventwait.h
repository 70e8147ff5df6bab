#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

// The one way this program waits: a local event loop that keeps the window responsive and
// sleeps in the event dispatcher until the awaited signal arrives or the time is up.
namespace EventWait {

enum class Outcome { Signalled, TimedOut, Interrupted };

// Runs until `loop` is quit by a connection the caller made, or `timeoutMs` pass.
Outcome run(QEventLoop &loop, int timeoutMs);

template<typename Sender, typename Signal> Outcome forSignal(const Sender *sender, Signal signal, int timeoutMs)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    return run(loop, timeoutMs);
}

// Sleeps in the event loop for `ms` milliseconds; Interrupted when the application is quitting,
// in which case no further waiting is possible.
Outcome forMs(int ms);

} // namespace EventWait

// Returns once at least HaoMiao milliseconds have passed, processing window events meanwhile;
// 0 or less returns at once without processing any event.
void YanShi(double HaoMiao);
