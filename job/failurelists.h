#pragma once

#include <QString>

// The pictures whose save failed, kept by the window from one command to the next: each entry
// is followed by CR LF, and the k-th URL belongs to the k-th path.
struct FailureLists
{
    QString FailedUrls;
    QString FailedPaths;
};
