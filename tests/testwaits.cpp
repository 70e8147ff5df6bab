#include "tests/testwaits.h"

#include "job/engine.h"
#include "job/pictures/pictureharvest.h"
#include "job/retrycommand.h"
#include "job/startcommand.h"
#include "web/network/pagefetch.h"

#include <QElapsedTimer>

#include <cmath>
#include <limits>
#include <optional>

namespace EventWait {

Outcome run(QEventLoop &loop, int timeoutMs)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    bool timedOut = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    timer.start(std::max(0, timeoutMs));
    // exec() returns -1 at once when the application is already quitting; callers must not
    // loop on that, or they would spin.
    if (loop.exec() != 0)
        return Outcome::Interrupted;
    return timedOut ? Outcome::TimedOut : Outcome::Signalled;
}

Outcome forMs(int ms)
{
    QEventLoop loop;
    return run(loop, ms);
}

} // namespace EventWait

void YanShi(double HaoMiao)
{
    if (!(HaoMiao > 0))
        return;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const double left = HaoMiao - double(clock.nsecsElapsed()) / 1e6;
        if (left <= 0)
            return;
        if (EventWait::forMs(int(std::ceil(std::min(left, 1e9)))) == EventWait::Outcome::Interrupted)
            return;
    }
}

namespace {

// Waits until `done` holds; false when the application is quitting first.
template<typename Done> bool waitUntil(QEventLoop &loop, Done done)
{
    while (!done()) {
        if (EventWait::run(loop, std::numeric_limits<int>::max()) == EventWait::Outcome::Interrupted)
            return false;
    }
    return true;
}

} // namespace

FetchResult GetBody(Network &network, const QString &Weburl, double chaoshi)
{
    QEventLoop loop;
    std::optional<FetchResult> result;
    QObject context;
    GetBody(network, Weburl, chaoshi, &context, [&](const FetchResult &fetched) {
        result = fetched;
        loop.quit();
    });
    if (!waitUntil(loop, [&] { return result.has_value(); }))
        return FetchResult{};
    return *result;
}

SaveOutcome savePicture(Network &network, const QString &url, const QString &tpm)
{
    QEventLoop loop;
    std::optional<SaveOutcome> outcome;
    network.pictures().fetch(url, tpm, &loop, [&](const SaveOutcome &done) {
        outcome = done;
        loop.quit();
    });
    if (!waitUntil(loop, [&] { return outcome.has_value(); }))
        return SaveOutcome{0, QStringLiteral("程序正在退出")};
    return *outcome;
}

void harvestAlbum(Engine &engine, JobState &state, JobWindow &window, const JobOptions &options)
{
    PictureHarvest harvest(window, engine, options, engine.folders().scratchFolder());
    QEventLoop loop;
    QObject::connect(&harvest, &PictureHarvest::delivered, &loop, &QEventLoop::quit);
    harvest.start(state);
    waitUntil(loop, [&] { return harvest.allDelivered(); });
}

JobSummary runJob(JobWindow &window, const JobRequest &request)
{
    StartCommand job(window, request);
    QEventLoop loop;
    QObject::connect(&job, &StartCommand::finished, &loop, &QEventLoop::quit);
    job.start();
    waitUntil(loop, [&] { return job.isFinished(); });
    return job.summary();
}

JobSummary runRetry(Engine &engine, FailureLists &lists, JobObserver *observer, BarRecords *records)
{
    RetryCommand retry(engine, lists, observer, records);
    QEventLoop loop;
    QObject::connect(&retry, &RetryCommand::finished, &loop, &QEventLoop::quit);
    retry.start();
    waitUntil(loop, [&] { return retry.isFinished(); });
    return retry.counts();
}
