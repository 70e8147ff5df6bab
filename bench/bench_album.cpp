// One album of the sample bar with the shipped delays: wall time against the floor those delays
// set (2.5 s after loading plus 4 s a scroll pass), and this process's CPU time against wall time.
#include "bench/benchwindow.h"
#include "tests/testwaits.h"
#include "tools/forumsim/forumserver.h"
#include "web/engine/pageview.h"

#include "job/engine.h"
#include "job/jobstate.h"
#include "job/render/albumrendering.h"
#include "web/engine/webenginebrowser.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QWebEngineView>

#include <sys/resource.h>

static double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

int main(int argc, char *argv[])
{
    EngineSettings settings = EngineSettings::shipped();
    prepareWebEngine(settings.timings);
    QApplication app(argc, argv);
    const QString album = argc > 2 ? QString::fromUtf8(argv[2]) : QStringLiteral("7310001");
    ForumServer server;
    if (argc < 2 || !server.loadFile(QString::fromUtf8(argv[1])) || !server.listen())
        return std::fprintf(stderr, "usage: bench_album <sample.json> [album id]\n"), 2;
    QTemporaryDir folder;
    settings.folders.program = folder.path();
    settings.hosts = Hosts{server.hostAndPort(), server.hostAndPort()};
    Engine engine(settings);

    QWebEngineView view;
    view.resize(pageViewSize);
    view.show();
    WebEngineBrowser page(&view, engine.timings(), engine.health());
    CountingBrowser browser(page);
    RecordingWindow window(&browser);
    window.keepsLines = false;
    window.echo = true;
    JobState state;
    state.AlbumUrl = QStringLiteral("http://%1/p/%2").arg(server.hostAndPort(), album);
    state.AlbumCount = 1;
    state.BarFolder = folder.path();

    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    {
        AlbumRendering render(browser, state.AlbumUrl, engine.choices().pace, engine);
        QEventLoop loop;
        QObject::connect(&render, &AlbumRendering::done, &loop, &QEventLoop::quit);
        render.start();
        if (!render.isDone())
            loop.exec();
        state.AlbumHtml = render.markup();
        state.AlbumTitle = albumTitle(state.AlbumHtml, {}, state.AlbumUrl);
    }
    const double renderWall = double(clock.elapsed()) / 1000;
    harvestAlbum(engine, state, window);
    const double wall = double(clock.elapsed()) / 1000;
    const double cpu = cpuSeconds() - cpuBefore;

    const PagePace &t = engine.pagePace();
    const int passes = browser.scrolls / t.scrollSteps;
    const double floor = (t.afterLoadMs + passes * (t.scrollSteps * t.scrollStepMs + t.afterScrollMs)) / 1000.0;
    std::printf("scroll passes          %d\n", passes);
    std::printf("floor                  %.2f s\n", floor);
    std::printf("render wall time       %.2f s  (%.3f x floor)\n", renderWall, renderWall / floor);
    std::printf("album wall time        %.2f s  (%.3f x floor)\n", wall, wall / floor);
    std::printf("process CPU time       %.2f s  (%.1f %% of wall time)\n", cpu, 100 * cpu / wall);
    return 0;
}
