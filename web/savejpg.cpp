#include "savejpg.h"

#include "fetch.h"
#include "settings.h"

#include <QSaveFile>

#include <limits>

namespace SaveFile {

bool writeAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // commit() forgets an earlier write error, so the write's own result has to decide.
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

} // namespace SaveFile

int SaveJpg(const QString &url, const QString &tpm)
{
    const FetchResult fetched = GetBody(url, Settings::timings().pictureLimitSeconds);
    // Nothing fetched leaves an existing file alone and creates no empty one.
    if (!fetched.hasBytes() || fetched.bytes.isEmpty())
        return 0;
    if (!SaveFile::writeAtomically(tpm, fetched.bytes))
        return 0;
    return int(std::min<qsizetype>(fetched.bytes.size() - 1, std::numeric_limits<int>::max()));
}
