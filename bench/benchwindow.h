#pragma once

#include "tests/recordingwindow.h"
#include "web/browseradapter.h"

#include <QString>

#include <cstdio>

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
    void setWatchesActivity(bool watches) override { m_inner.setWatchesActivity(watches); }
    Activity activity() override { return m_inner.activity(); }

    int scrolls = 0;

private:
    BrowserAdapter &m_inner;
};
