#include "savejpg.h"

#include "atomicfile.h"
#include "fetch.h"
#include "settings.h"

#include <limits>

int SavedPicture::result() const
{
    return bytes > 0 ? int(std::min<qint64>(bytes - 1, std::numeric_limits<int>::max())) : 0;
}

SavedPicture saveJpgWithReason(const QString &url, const QString &tpm)
{
    SavedPicture saved;
    const FetchResult fetched = GetBody(url, Settings::timings().pictureLimitSeconds);
    // Nothing fetched leaves an existing file alone and creates no empty one.
    if (!fetched.hasBytes())
        saved.reason = fetched.reason;
    else if (fetched.bytes.isEmpty())
        saved.reason = QStringLiteral("内容为空");
    else if (!AtomicFile::write(tpm, fetched.bytes))
        saved.reason = QStringLiteral("无法写入文件");
    else
        saved.bytes = fetched.bytes.size();
    if (saved.bytes == 1)
        saved.reason = QStringLiteral("只有1字节");
    return saved;
}

int SaveJpg(const QString &url, const QString &tpm)
{
    return saveJpgWithReason(url, tpm).result();
}
