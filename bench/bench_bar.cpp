// A whole bar with the shipped page pace: 5 albums of 40 pictures, every picture answered after
// 30 ms by a simulator in a process of its own. Prints the job's wall time next to the floor
// that the page pace sets for all its albums (2.5 s after loading plus 4 s a scroll pass), so
// that the time the pictures add behind the pages shows.
//   bench_bar [albums] [pictures per album] [delay ms]
#include "bench/benchwindow.h"
#include "tests/testwaits.h"
#include "web/engine/pageview.h"

#include "job/engine.h"
#include "job/startcommand.h"
#include "web/engine/webenginebrowser.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QWebEngineView>

static QByteArray barConfig(int albums, int pictures, int delayMs)
{
    QJsonArray albumList;
    for (int a = 0; a < albums; ++a) {
        QJsonArray ids;
        for (int p = 0; p < pictures; ++p)
            ids.append(QStringLiteral("a%1p%2").arg(a).arg(p));
        // The whole album arrives on the first scroll, as most real albums of this size do.
        albumList.append(QJsonObject{{QStringLiteral("id"), QString::number(9000 + a)},
                                     {QStringLiteral("title"), QStringLiteral("album %1").arg(a)},
                                     {QStringLiteral("batch"), pictures},
                                     {QStringLiteral("pictures"), ids}});
    }
    const QJsonObject bar{{QStringLiteral("name"), QStringLiteral("bench")},
                          {QStringLiteral("perPage"), 100},
                          {QStringLiteral("albums"), albumList}};
    return QJsonDocument(QJsonObject{{QStringLiteral("pictureSize"), 102400},
                                     {QStringLiteral("pictureDelayMs"), delayMs},
                                     {QStringLiteral("bars"), QJsonArray{bar}}})
        .toJson();
}

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int albums = argc > 1 ? QByteArray(argv[1]).toInt() : 5;
    const int pictures = argc > 2 ? QByteArray(argv[2]).toInt() : 40;
    const int delayMs = argc > 3 ? QByteArray(argv[3]).toInt() : 30;
    QTemporaryDir folder;
    QFile config(folder.filePath(QStringLiteral("bar.json")));
    if (!config.open(QIODevice::WriteOnly) || config.write(barConfig(albums, pictures, delayMs)) < 0)
        return 2;
    config.close();
    QProcess simulator;
    simulator.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../forumsim"),
                    {QStringLiteral("--config"), config.fileName()});
    if (!simulator.waitForReadyRead(10000))
        return std::fprintf(stderr, "the simulator did not start\n"), 2;
    const QString host = QString::fromUtf8(simulator.readLine()).trimmed().section(u' ', -1);
    EngineSettings settings = EngineSettings::shipped();
    settings.folders.program = folder.path();
    settings.hosts = Hosts{host, host};
    Engine engine(settings);

    QWebEngineView view;
    view.resize(pageViewSize);
    view.show();
    WebEngineBrowser page(&view, engine.timings(), engine.health());
    CountingBrowser browser(page);
    RecordingWindow window(&browser);
    window.keepsLines = false;
    window.name = QStringLiteral("bench");
    window.echo = false;
    QElapsedTimer clock;
    clock.start();
    const JobSummary summary = runJob(window, window.request(engine));
    const double wall = double(clock.elapsed()) / 1000;
    simulator.kill();
    simulator.waitForFinished();

    const PagePace &t = engine.pagePace();
    const int passes = browser.scrolls / t.scrollSteps;
    const double floor =
        (summary.albums * t.afterLoadMs + passes * (t.scrollSteps * t.scrollStepMs + t.afterScrollMs)) / 1000.0;
    std::printf("albums                 %d, %d scroll passes in all\n", summary.albums, passes);
    std::printf("pictures               %d saved, %d failed (%d a album, %d ms each)\n", summary.saved, summary.failed,
                pictures, delayMs);
    std::printf("sum of render floors   %.2f s\n", floor);
    std::printf("job wall time          %.2f s  (%.3f x floor; target: at most 1.03 x floor + 1 s = %.2f s)\n", wall,
                wall / floor, 1.03 * floor + 1);
    return 0;
}
