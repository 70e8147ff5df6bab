#include "retrycommand.h"

#include "failurelists.h"

#include "savejpg.h"

#include <QStringList>

namespace {

QStringList pieces(const QString &list)
{
    return list.isEmpty() ? QStringList() : list.split(QStringLiteral("\r\n"));
}

} // namespace

RetryCounts runRetry(FailureLists &lists, const std::function<void(const PictureOutcome &)> &onDone)
{
    RetryCounts counts;
    const QStringList urls = pieces(lists.FailedUrls);
    const QStringList paths = pieces(lists.FailedPaths);
    lists.FailedUrls.clear();
    lists.FailedPaths.clear();
    // The last piece is the empty text behind the final CR LF.
    for (qsizetype i = 0; i + 1 < urls.size(); ++i) {
        const QString path = paths.value(i);
        PictureOutcome outcome;
        outcome.url = urls.at(i);
        outcome.path = path;
        const SavedPicture picture = saveJpgWithReason(urls.at(i), path);
        const bool saved = picture.result() != 0;
        outcome.bytes = picture.bytes;
        outcome.reason = saved ? QString() : picture.reason;
        outcome.kind = saved ? PictureOutcome::Kind::Saved : PictureOutcome::Kind::Failed;
        if (onDone)
            onDone(outcome);
        if (saved) {
            ++counts.saved;
            continue;
        }
        ++counts.failed;
        lists.FailedUrls += urls.at(i) + QStringLiteral("\r\n");
        lists.FailedPaths += path + QStringLiteral("\r\n");
    }
    return counts;
}
