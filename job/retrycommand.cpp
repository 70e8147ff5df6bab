#include "job/retrycommand.h"

#include "job/engine.h"
#include "job/pictures/picturebatch.h"
#include "job/pictures/picturescan.h"
#include "job/records/barrecords.h"
#include "job/records/failurelists.h"

#include <QTimer>

RetryCommand::RetryCommand(Engine &engine, FailureLists &lists, JobObserver *observer, BarRecords *records,
                           QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_lists(lists)
    , m_observer(observer)
    , m_records(records)
{ }

RetryCommand::~RetryCommand() = default;

void RetryCommand::start()
{
    m_retried = m_lists.entries();
    m_lists.clear();
    m_batch = std::make_unique<PictureBatch>(m_engine.network().pictures(),
                                             [this](int i, const SaveOutcome &saved) { delivered(i, saved); });
    // Not from inside the last picture's own line.
    connect(m_batch.get(), &PictureBatch::delivered, this, &RetryCommand::end, Qt::QueuedConnection);
    for (const FailureLists::Entry &entry : std::as_const(m_retried)) {
        // Without a path there is nowhere to put the picture, so it is not fetched.
        if (entry.path.isEmpty())
            m_batch->addKnown(SaveOutcome{0, QStringLiteral("无法写入文件")});
        else
            m_batch->add(entry.url, entry.path);
    }
    // With nothing to fetch the batch tells nothing.
    if (m_retried.isEmpty())
        QTimer::singleShot(0, this, &RetryCommand::end);
}

void RetryCommand::delivered(int index, const SaveOutcome &saved)
{
    PictureOutcome outcome;
    outcome.kind = saved.saved() ? PictureOutcome::Kind::Saved : PictureOutcome::Kind::Failed;
    outcome.url = m_retried.at(index).url;
    outcome.path = m_retried.at(index).path;
    outcome.reason = saved.reason;
    outcome.bytes = saved.bytes;
    outcome.id = pictureIdOf(outcome.url);
    if (m_records)
        m_records->pictureFinished(outcome);
    if (m_observer)
        m_observer->pictureFinished(outcome);
    if (saved.saved()) {
        ++m_counts.saved;
        return;
    }
    ++m_counts.failed;
    m_lists.append(outcome.url, outcome.path);
}

void RetryCommand::end()
{
    if (m_finished || !m_batch->allDelivered())
        return;
    m_finished = true;
    if (m_records)
        m_records->retryEnded();
    emit finished(m_counts);
}
