#pragma once

#include "job/jobwindow.h"
#include "job/records/failurelists.h"

#include <QObject>

#include <memory>

class BarRecords;
class Engine;
class PictureBatch;
struct SaveOutcome;

// One run of the Retry command: tries every recorded failure once more and keeps in `lists`
// exactly the pairs that fail again. `records`, then `observer`, hear of every retried picture,
// in the lists' order, and `records` of the retry's end. It runs on the event loop and tells of its end, with the saved and the
// failed counted, through finished(). Deleting it gives up its pictures still under way.
class RetryCommand final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RetryCommand)

public:
    // The pictures are fetched on the network of `engine`.
    RetryCommand(Engine &engine, FailureLists &lists, JobObserver *observer = nullptr, BarRecords *records = nullptr,
                 QObject *parent = nullptr);
    ~RetryCommand() override;

    // Begins the retry and returns at once.
    void start();
    bool isFinished() const { return m_finished; }
    const JobSummary &counts() const { return m_counts; }

signals:
    void finished(const JobSummary &counts);

private:
    void delivered(int index, const SaveOutcome &saved);
    void end();

    Engine &m_engine;
    FailureLists &m_lists;
    JobObserver *m_observer;
    BarRecords *m_records;
    QList<FailureLists::Entry> m_retried;
    std::unique_ptr<PictureBatch> m_batch;
    JobSummary m_counts;
    bool m_finished = false;
};
