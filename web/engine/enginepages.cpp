#include "web/engine/enginepages.h"

#include "web/engine/pageview.h"
#include "web/engine/webenginebrowser.h"

#include <QWebEngineView>

EnginePages::EnginePages(const Timings &timings, EngineHealth &health, QWebEngineView *firstView)
    : m_timings(timings)
    , m_health(health)
{
    add(firstView);
}

EnginePages::~EnginePages()
{
    // Each page (and its profile) before the view it belongs to.
    for (Page &page : m_pages)
        page.browser.reset();
}

void EnginePages::add(QWebEngineView *view)
{
    Page page;
    if (!view) {
        page.view = std::make_unique<QWebEngineView>();
        page.view->resize(pageViewSize);
        // A page that is not shown gets no frames and so no scroll events, and a lazy gallery
        // would never grow.
        page.view->setAttribute(Qt::WA_DontShowOnScreen);
        page.view->show();
        view = page.view.get();
    }
    page.browser = std::make_unique<WebEngineBrowser>(view, m_timings, m_health);
    m_pages.push_back(std::move(page));
}

WebEngineBrowser &EnginePages::page(int index)
{
    while (int(m_pages.size()) <= index)
        add(nullptr);
    return *m_pages.at(size_t(index)).browser;
}
