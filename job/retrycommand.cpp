#include "job/retrycommand.h"

#include "job/failurelists.h"
#include "job/picturebatch.h"
#include "job/picturescan.h"

#include <QStringList>

namespace {

QStringList pieces(const QString &list)
{
    return list.isEmpty() ? QStringList() : list.split(QStringLiteral("\r\n"));
}

} // namespace

JobSummary runRetry(FailureLists &lists, JobObserver *observer)
{
    JobSummary counts;
    const QStringList urls = pieces(lists.FailedUrls);
    const QStringList paths = pieces(lists.FailedPaths);
    lists.FailedUrls.clear();
    lists.FailedPaths.clear();
    // A job waiting around this press hands on none of its pictures until the press is over.
    const PictureBatch::Hold hold;
    PictureBatch batch([&](int i, const SaveOutcome &saved) {
        PictureOutcome outcome;
        outcome.kind = saved.saved() ? PictureOutcome::Kind::Saved : PictureOutcome::Kind::Failed;
        outcome.url = urls.at(i);
        outcome.path = paths.value(i);
        outcome.reason = saved.reason;
        outcome.bytes = saved.bytes;
        outcome.id = pictureIdOf(outcome.url);
        if (observer)
            observer->pictureFinished(outcome);
        if (saved.saved()) {
            ++counts.saved;
            return;
        }
        ++counts.failed;
        lists.FailedUrls += outcome.url + QStringLiteral("\r\n");
        lists.FailedPaths += outcome.path + QStringLiteral("\r\n");
    });
    // The last piece is the empty text behind the final CR LF.
    for (qsizetype i = 0; i + 1 < urls.size(); ++i) {
        // Without a path there is nowhere to put the picture, so it is not fetched.
        if (paths.value(i).isEmpty())
            batch.addKnown(SaveOutcome{0, QStringLiteral("无法写入文件")});
        else
            batch.add(urls.at(i), paths.value(i));
    }
    batch.waitUntilDelivered();
    return counts;
}
