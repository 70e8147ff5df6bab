#include "job/render/paceclock.h"

#include <QTimer>

#include <algorithm>

void RealClock::after(int ms, QObject *context, std::function<void()> then)
{
    QTimer::singleShot(std::max(0, ms), Qt::PreciseTimer, context, std::move(then));
}
