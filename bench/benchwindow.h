#pragma once

#include "tests/recordingwindow.h"
#include "web/browser/browseradapter.h"

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
    void giveUpLoad() override { m_inner.giveUpLoad(); }
    void readBody(QObject *context, std::function<void(const Body &)> answer) override
    {
        m_inner.readBody(context, std::move(answer));
    }
    void Scroll(int x, int y) override
    {
        ++scrolls;
        m_inner.Scroll(x, y);
    }
    QString navigationFailure() const override { return m_inner.navigationFailure(); }
    bool movedAwayRefused() const override { return m_inner.movedAwayRefused(); }
    const QList<ShownElement> &shown() const override { return m_inner.shown(); }
    void setWatchesActivity(bool watches) override { m_inner.setWatchesActivity(watches); }
    void readActivity(QObject *context, std::function<void(const Activity &)> answer) override
    {
        m_inner.readActivity(context, std::move(answer));
    }
    void fetchSource(Network &network, const QString &address, QObject *context,
                     std::function<void(const QString &)> answer) override
    {
        m_inner.fetchSource(network, address, context, std::move(answer));
    }

    int scrolls = 0;

private:
    BrowserAdapter &m_inner;
};
