#pragma once

#include "job/jobwindow.h"
#include "job/records/failurelists.h"
#include "web/browseradapter.h"

#include <QStringList>

#include <cstdio>

// A window without widgets for the tests and the benchmarks: it keeps the log lines it is given
// (and, for a benchmark, echoes them to standard error), and renders in the browser handed in.
class RecordingWindow final : public JobWindow
{
public:
    explicit RecordingWindow(BrowserAdapter *browser = nullptr)
        : source(browser)
    { }

    QString barName() const override { return name; }
    void showNameMissing() override { ++nameMissingShown; }
    void AppendLog(const QString &line) override
    {
        if (keepsLines)
            log << line;
        ++lines;
        if (echo)
            std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    }
    void ShowLastLogLine() override { shownLines << lines; }
    PageSource &pages() override { return source; }
    FailureLists &failures() override { return lists; }

    QString name;
    int nameMissingShown = 0;
    QStringList log;
    int lines = 0;
    QList<int> shownLines; // the log's size each time its last line was shown
    bool keepsLines = true;
    bool echo = false;
    SinglePage source;
    FailureLists lists;
};
