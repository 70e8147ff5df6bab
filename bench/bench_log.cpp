// The window's log: lines per second appended and shown in the real window while it holds 1,000
// lines, and while it holds 100,000. Each line is followed by a turn of the event loop, as in a
// job, so that whatever the list defers (layout, painting) is paid for within the measurement.
#include "app/form1.h"

#include "job/engine.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTest>

#include <cstdio>

namespace {

QString pictureLine(int n)
{
    return QStringLiteral("第%1页,第%2张下载成功！").arg(n / 50 + 1).arg(n % 50 + 1);
}

// Brings the log to `lines` lines without measuring it.
void fillTo(Form1 &window, int lines)
{
    QStringList more;
    for (int n = window.List1->count(); n < lines; ++n)
        more << pictureLine(n);
    window.List1->addItems(more);
    window.ShowLastLogLine();
    QCoreApplication::processEvents();
}

// Lines per second over `count` lines, or over as many as fit in `budgetMs`.
double rate(Form1 &window, int count, qint64 budgetMs)
{
    QElapsedTimer clock;
    clock.start();
    int done = 0;
    while (done < count && (done == 0 || clock.elapsed() < budgetMs)) {
        window.AppendLog(pictureLine(window.List1->count()));
        window.ShowLastLogLine();
        QCoreApplication::processEvents();
        ++done;
    }
    return done / (double(clock.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    const EngineSettings settings = EngineSettings::shipped();
    prepareWebEngine(settings.timings);
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    Engine engine(settings);
    Form1 window(engine);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return std::fprintf(stderr, "bench_log: the window was not shown\n"), 1;
    double rates[2] = {};
    const int sizes[2] = {1000, 100000};
    for (int i = 0; i < 2; ++i) {
        fillTo(window, sizes[i]);
        rates[i] = rate(window, count, 20000);
    }
    std::printf("log: %d lines into the window: %.0f lines/s at 1,000 lines, %.0f lines/s at 100,000 lines\n", count,
                rates[0], rates[1]);
    return 0;
}
