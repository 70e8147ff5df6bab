#include "job/retrycommand.h"

#include "job/pictures/picturebatch.h"
#include "job/pictures/picturescan.h"
#include "job/records/barrecords.h"
#include "job/records/failurelists.h"

JobSummary runRetry(FailureLists &lists, JobObserver *observer, BarRecords *records)
{
    JobSummary counts;
    const QList<FailureLists::Entry> retried = lists.entries();
    lists.clear();
    // A job waiting around this press hands on none of its pictures until the press is over.
    const PictureBatch::Hold hold;
    PictureBatch batch([&](int i, const SaveOutcome &saved) {
        PictureOutcome outcome;
        outcome.kind = saved.saved() ? PictureOutcome::Kind::Saved : PictureOutcome::Kind::Failed;
        outcome.url = retried.at(i).url;
        outcome.path = retried.at(i).path;
        outcome.reason = saved.reason;
        outcome.bytes = saved.bytes;
        outcome.id = pictureIdOf(outcome.url);
        if (records)
            records->pictureFinished(outcome);
        if (observer)
            observer->pictureFinished(outcome);
        if (saved.saved()) {
            ++counts.saved;
            return;
        }
        ++counts.failed;
        lists.append(outcome.url, outcome.path);
    });
    for (const FailureLists::Entry &entry : retried) {
        // Without a path there is nowhere to put the picture, so it is not fetched.
        if (entry.path.isEmpty())
            batch.addKnown(SaveOutcome{0, QStringLiteral("无法写入文件")});
        else
            batch.add(entry.url, entry.path);
    }
    batch.waitUntilDelivered();
    if (records)
        records->retryEnded();
    return counts;
}
