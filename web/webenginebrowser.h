#pragma once

#include "browseradapter.h"

class QWebEngineView;
class SilentPage;

// The browser adapter over a QWebEngineView, with an off-the-record profile so that nothing of
// the visited pages (cache, cookies, history) is written to the user's home.
class WebEngineBrowser final : public BrowserAdapter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebEngineBrowser)

public:
    explicit WebEngineBrowser(QWebEngineView *view, QObject *parent = nullptr);
    ~WebEngineBrowser() override;

    void setSilent(bool silent) override;
    void Navigate(const QString &address) override;
    int ReadyState() const override;
    QString bodyOuterHtml() override;
    void Scroll(int x, int y) override;

private:
    void onLoadStarted();
    void onLoadFinished();

    QWebEngineView *m_view;
    SilentPage *m_page;
    bool m_started = false;
    bool m_complete = false;
};
