#pragma once

#include "browseradapter.h"
#include "failurelists.h"
#include "jobwindow.h"

#include <QString>

#include <cstdio>

// A window for benchmarks: the log goes to standard error only, and the browser (if any) is
// handed in from outside so that a benchmark can count what the job asks of it.
class BenchWindow final : public JobWindow
{
public:
    explicit BenchWindow(BrowserAdapter *browser = nullptr)
        : m_browser(browser)
    {
    }

    QString barName() const override { return name; }
    void showNameMissing() override {}
    void AppendLog(const QString &line) override
    {
        ++lines;
        if (echo)
            std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    }
    void ShowLastLogLine() override {}
    BrowserAdapter &browser() override { return *m_browser; }
    FailureLists &failures() override { return m_failures; }

    QString name;
    int lines = 0;
    bool echo = true;

private:
    BrowserAdapter *m_browser;
    FailureLists m_failures;
};

// Passes every call on to the real browser and counts the scrolls.
class CountingBrowser final : public BrowserAdapter
{
public:
    explicit CountingBrowser(BrowserAdapter &inner)
        : m_inner(inner)
    {
        connect(&inner, &BrowserAdapter::readyStateChanged, this, &BrowserAdapter::readyStateChanged);
    }

    void setSilent(bool silent) override { m_inner.setSilent(silent); }
    void Navigate(const QString &address) override { m_inner.Navigate(address); }
    int ReadyState() const override { return m_inner.ReadyState(); }
    QString bodyOuterHtml() override { return m_inner.bodyOuterHtml(); }
    BodyRead lastBodyRead() const override { return m_inner.lastBodyRead(); }
    void Scroll(int x, int y) override
    {
        ++scrolls;
        m_inner.Scroll(x, y);
    }
    qint64 scrollLimit() override { return m_inner.scrollLimit(); }
    QString navigationFailure() const override { return m_inner.navigationFailure(); }

    int scrolls = 0;

private:
    BrowserAdapter &m_inner;
};
