#include "savejpg.h"

#include "atomicfile.h"
#include "fetch.h"
#include "settings.h"

#include <limits>

int SaveJpg(const QString &url, const QString &tpm)
{
    const FetchResult fetched = GetBody(url, Settings::timings().pictureLimitSeconds);
    // Nothing fetched leaves an existing file alone and creates no empty one.
    if (!fetched.hasBytes() || fetched.bytes.isEmpty())
        return 0;
    if (!AtomicFile::write(tpm, fetched.bytes))
        return 0;
    return int(std::min<qsizetype>(fetched.bytes.size() - 1, std::numeric_limits<int>::max()));
}
