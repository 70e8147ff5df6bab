#pragma once

#include "jobwindow.h"

#include <functional>

struct FailureLists;

struct RetryCounts
{
    int saved = 0;
    int failed = 0;
};

// Tries every recorded failure once more and keeps in `lists` exactly the pairs that fail again.
// Anything appended to the lists meanwhile (by a command running inside a wait) stays in them.
// `onDone` hears of every retried picture, in the lists' order.
RetryCounts runRetry(FailureLists &lists, const std::function<void(const PictureOutcome &)> &onDone = {});
