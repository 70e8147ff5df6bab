// Saves N pictures of a given size from the simulated forum, each answered after a given delay,
// through the program's own harvesting and save path (one album holding N identifiers), then the
// same N addresses with one curl process that reuses its connection, and prints both rates side
// by side. With "--ours-only" it saves once, without curl, and reports how much the program's
// peak memory grew: one picture of a gigabyte shows whether pictures go straight to disk.
//   bench_save [count] [bytes] [delay ms] [--ours-only]
#include "bench/benchwindow.h"
#include "tests/testwaits.h"

#include "job/engine.h"
#include "job/jobstate.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>

static QString albumHtml(int count)
{
    QString html = QStringLiteral("<body>");
    for (int i = 0; i < count; ++i)
        html += QStringLiteral("<a href=\"/photo/p?kw=b&amp;pic_id=bench%1\"><img></a>").arg(i);
    return html + QStringLiteral("</body>");
}

// One album of `count` pictures whose folder "bench" goes into `barFolder`.
static JobState benchAlbum(int count, const QString &barFolder)
{
    JobState state;
    state.AlbumHtml = albumHtml(count);
    state.AlbumTitle = QStringLiteral("bench");
    state.BarFolder = barFolder;
    return state;
}

static double curlSeconds(const QString &host, int count, const QString &folder)
{
    QString config;
    for (int i = 0; i < count; ++i)
        config += QStringLiteral("url = \"http://%1/forum/pic/item/bench%2.jpg\"\noutput = \"%3/%2.jpg\"\n")
                      .arg(host)
                      .arg(i)
                      .arg(folder);
    QFile file(folder + QStringLiteral("/curl.cfg"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
        return -1;
    file.close();
    QProcess curl;
    QEventLoop loop;
    QObject::connect(&curl, &QProcess::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    // The simulator lives in this thread, so the wait must keep serving events.
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-H"),
                                        QStringLiteral("If-Modified-Since: 0"), QStringLiteral("-K"), file.fileName()});
    loop.exec();
    if (curl.exitCode() != 0)
        return -1;
    return double(clock.elapsed()) / 1000;
}

// The simulator runs in a process of its own, as a real server would, so that neither side
// shares a thread with it.
static QString startSimulator(QProcess &simulator, const QString &folder, qint64 size, int delayMs)
{
    QFile config(folder + QStringLiteral("/bench.json"));
    const QByteArray json =
        QStringLiteral(R"({"pictureSize":%1,"pictureDelayMs":%2,"bars":[]})").arg(size).arg(delayMs).toUtf8();
    if (!config.open(QIODevice::WriteOnly) || config.write(json) < 0)
        return QString();
    config.close();
    simulator.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../forumsim"),
                    {QStringLiteral("--config"), config.fileName()});
    if (!simulator.waitForReadyRead(10000))
        return QString();
    return QString::fromUtf8(simulator.readLine()).trimmed().section(u' ', -1);
}

static long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

static int oursOnly(Engine &engine, const QString &folder, int count)
{
    Timings t = engine.timings();
    t.maxPictureBytes = qint64(4) << 30;
    t.pictureLimitSeconds = 600;
    engine.setTimings(t);
    const long before = peakKiB();
    RecordingWindow window;
    window.keepsLines = false;
    window.echo = false;
    JobState state = benchAlbum(count, folder);
    QElapsedTimer clock;
    clock.start();
    harvestAlbum(engine, state, window);
    const double seconds = double(clock.elapsed()) / 1000;
    qint64 bytes = 0;
    for (const QFileInfo &file : QDir(folder + QStringLiteral("/bench")).entryInfoList(QDir::Files))
        bytes += file.size();
    std::printf("saved                  %lld bytes in %.2f s (%.0f MiB/s)\n", bytes, seconds,
                double(bytes) / 1048576 / seconds);
    std::printf("peak memory            %.1f MiB before, %.1f MiB after: grew by %.1f MiB\n", before / 1024.0,
                peakKiB() / 1024.0, (peakKiB() - before) / 1024.0);
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 2000;
    const qint64 size = argc > 2 ? QByteArray(argv[2]).toLongLong() : 51200;
    const int delayMs = argc > 3 ? QByteArray(argv[3]).toInt() : 0;
    QTemporaryDir folder;
    QProcess simulator;
    const QString host = startSimulator(simulator, folder.path(), size, delayMs);
    if (host.isEmpty())
        return std::fprintf(stderr, "the simulator did not start\n"), 2;
    EngineSettings settings = EngineSettings::shipped();
    settings.folders.program = folder.path();
    settings.hosts = Hosts{host, host};
    Engine engine(settings);
    if (argc > 4 && QByteArray(argv[4]) == "--ours-only") {
        const int status = oursOnly(engine, folder.path(), count);
        simulator.kill();
        simulator.waitForFinished();
        return status;
    }
    QDir().mkpath(folder.filePath(QStringLiteral("warm-up")));
    // The simulator makes each picture on first request; a first curl run keeps that out of both.
    curlSeconds(host, count, folder.filePath(QStringLiteral("warm-up")));

    // Rounds alternate so that the disk's background work after one run burdens both alike.
    const int rounds = 5;
    QList<double> ours, theirs;
    int saved = 0;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString bar = folder.filePath(QStringLiteral("round%1").arg(round));
        QDir().mkpath(bar + QStringLiteral("/curl"));
        RecordingWindow window;
        window.keepsLines = false;
        window.echo = false;
        JobState state = benchAlbum(count, bar);
        // Who goes first alternates too: the file system allocates more slowly right after the
        // other side's files, and neither side should always pay for that.
        if (round % 2 == 1)
            theirs << curlSeconds(host, count, bar + QStringLiteral("/curl"));
        QElapsedTimer clock;
        clock.start();
        harvestAlbum(engine, state, window);
        ours << double(clock.elapsed()) / 1000;
        saved = int(QDir(bar + QStringLiteral("/bench")).entryList(QDir::Files).size());
        failures = int(window.failures().FailedUrls.count(QStringLiteral("\r\n")));
        if (round % 2 == 0)
            theirs << curlSeconds(host, count, bar + QStringLiteral("/curl"));
    }
    simulator.kill();
    simulator.waitForFinished();
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    const double oursMedian = ours.at(rounds / 2);
    const double theirsMedian = theirs.at(rounds / 2);
    std::printf("pictures               %d of %d saved in the last round, %d failures recorded\n", saved, count,
                failures);
    std::printf("each                   %lld bytes, answered after %d ms\n", size, delayMs);
    std::printf("quillory (median of %d) %.2f s  %.0f pictures/s  (best %.2f s)\n", rounds, oursMedian,
                count / oursMedian, ours.first());
    if (theirsMedian > 0) {
        std::printf("curl (median of %d)     %.2f s  %.0f pictures/s  (best %.2f s)\n", rounds, theirsMedian,
                    count / theirsMedian, theirs.first());
        std::printf("quillory / curl rate   %.2f\n", theirsMedian / oursMedian);
    }
    std::printf("peak memory            %.1f MiB\n", peakKiB() / 1024.0);
    return 0;
}
