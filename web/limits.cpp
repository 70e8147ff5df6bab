#include "web/limits.h"

namespace Settings {

namespace {

Timings &current()
{
    static Timings timings;
    return timings;
}

} // namespace

const Timings &timings()
{
    return current();
}

void setTimings(const Timings &timings)
{
    current() = timings;
}

} // namespace Settings
