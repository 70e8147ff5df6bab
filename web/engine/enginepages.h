#pragma once

#include <memory>
#include <vector>

class EngineHealth;
class QWebEngineView;
class WebEngineBrowser;
struct Timings;

// The browser pages a front end renders album pages in: the first in the view it is given (or
// in one of its own), the others made on first use, each in a view of its own at the window's
// browser's size that counts as shown but is never put on a screen, so that it renders and
// scrolls as the window's browser does whatever becomes of the window. The pages run on the
// limits and share the health of their engine, which outlives them.
class EnginePages final
{
public:
    EnginePages(const Timings &timings, EngineHealth &health, QWebEngineView *firstView = nullptr);
    ~EnginePages();
    EnginePages(const EnginePages &) = delete;
    EnginePages &operator=(const EnginePages &) = delete;

    WebEngineBrowser &page(int index);

private:
    struct Page
    {
        std::unique_ptr<QWebEngineView> view; // null when the view is the window's
        std::unique_ptr<WebEngineBrowser> browser;
    };

    void add(QWebEngineView *view);

    const Timings &m_timings;
    EngineHealth &m_health;
    std::vector<Page> m_pages;
};
