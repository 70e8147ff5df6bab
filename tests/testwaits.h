#pragma once

#include "job/jobwindow.h"
#include "web/network/fetchresult.h"
#include "web/network/picturedownloads.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

class BarRecords;
class Engine;
class Network;
struct FailureLists;
struct JobState;

// The waits the tests and benchmarks use to drive the program's asynchronous parts one call at a
// time: each a local event loop of the test's own, never the program's.
namespace EventWait {

enum class Outcome { Signalled, TimedOut, Interrupted };

// Runs until `loop` is quit by a connection the caller made, or `timeoutMs` pass.
Outcome run(QEventLoop &loop, int timeoutMs);

template<typename Sender, typename Signal> Outcome forSignal(const Sender *sender, Signal signal, int timeoutMs)
{
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    return run(loop, timeoutMs);
}

// Sleeps in the event loop for `ms` milliseconds; Interrupted when the application is quitting.
Outcome forMs(int ms);

} // namespace EventWait

// Returns once at least HaoMiao milliseconds have passed, processing events meanwhile; 0 or less
// returns at once without processing any event.
void YanShi(double HaoMiao);

// One page fetch (PageFetch) on `network`, waited for.
FetchResult GetBody(Network &network, const QString &Weburl, double chaoshi);

// One picture fetched and saved (PictureDownloads) on `network`, waited for.
SaveOutcome savePicture(Network &network, const QString &url, const QString &tpm);

// Saves every picture of the album in `state` as the job on `engine` would, logging each and
// recording the failures, and returns when all are done.
void harvestAlbum(Engine &engine, JobState &state, JobWindow &window, const JobOptions &options = {});

// A whole Start job, waited for.
JobSummary runJob(JobWindow &window, const JobRequest &request);

// A whole Retry on `engine`, waited for.
JobSummary runRetry(Engine &engine, FailureLists &lists, JobObserver *observer = nullptr,
                    BarRecords *records = nullptr);
