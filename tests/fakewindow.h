#pragma once

#include "browseradapter.h"
#include "failurelists.h"
#include "jobwindow.h"

#include <QStringList>

// A window for driving the commands without widgets: it keeps the log lines it is given.
class FakeWindow final : public JobWindow
{
public:
    QString barName() const override { return name; }
    void showNameMissing() override { ++nameMissingShown; }
    void AppendLog(const QString &line) override { log << line; }
    void ShowLastLogLine() override { shownLines << log.size(); }
    PageSource &pages() override
    {
        source.set(browserAdapter);
        return source;
    }
    FailureLists &failures() override { return lists; }

    QString name;
    int nameMissingShown = 0;
    QStringList log;
    QList<int> shownLines; // the log's size each time its last line was shown
    BrowserAdapter *browserAdapter = nullptr;
    SinglePage source;
    FailureLists lists;
};
