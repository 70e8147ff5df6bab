#pragma once

#include "job/jobwindow.h"

class BarRecords;
struct FailureLists;

// Tries every recorded failure once more and keeps in `lists` exactly the pairs that fail again.
// Anything appended to the lists meanwhile (by a command running inside a wait) stays in them.
// `records`, then `observer`, hear of every retried picture, in the lists' order, and `records`
// of the retry's end. The summary counts the saved and the failed.
JobSummary runRetry(FailureLists &lists, JobObserver *observer = nullptr, BarRecords *records = nullptr);
