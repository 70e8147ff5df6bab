#pragma once

#include "job/jobwindow.h"
#include "job/records/failurelists.h"
#include "web/browser/browseradapter.h"

#include <QStringList>

#include <cstdio>

// A window without widgets for the tests and the benchmarks: it keeps the log lines it is given
// (and, for a benchmark, echoes them to standard error), and its jobs render in the browser
// handed in.
class RecordingWindow final : public JobWindow
{
public:
    explicit RecordingWindow(BrowserAdapter *browser = nullptr)
        : source(browser)
    { }

    // A job for bar `name` on `engine`, rendering in the browser handed in.
    JobRequest request(Engine &engine, const JobOptions &options = {})
    {
        return JobRequest::now(engine, name, source, options);
    }

    void AppendLog(const QString &line) override
    {
        if (keepsLines)
            log << line;
        ++lines;
        if (echo)
            std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    }
    void ShowLastLogLine() override { shownLines << lines; }
    FailureLists &failures() override { return lists; }

    QString name;
    QStringList log;
    int lines = 0;
    QList<int> shownLines; // the log's size each time its last line was shown
    bool keepsLines = true;
    bool echo = false;
    SinglePage source;
    FailureLists lists;
};
