#include "job/render/albumpages.h"

#include "job/jobwindow.h"
#include "job/render/albumrendering.h"

#include "web/browser/browseradapter.h"

#include <algorithm>

AlbumPages::AlbumPages(JobWindow &window, PageSource &pages, Engine &engine, const JobChoices &choices,
                       const QStringList &albumUrls, std::function<bool(const QString &, const QString &)> renders)
    : m_window(window)
    , m_pages(pages)
    , m_engine(engine)
    , m_urls(albumUrls)
    , m_renders(std::move(renders))
    , m_pageCount(std::clamp(std::min(choices.pages, pages.pageCount()), 1, JobChoices::mostPages))
    , m_pace(choices.pace)
    , m_pageBusy(size_t(m_pageCount), false)
    , m_passedOver(size_t(albumUrls.size()), false)
{ }

AlbumPages::~AlbumPages() = default;

bool AlbumPages::busy() const
{
    return std::find(m_pageBusy.begin(), m_pageBusy.end(), true) != m_pageBusy.end();
}

// Begins the next albums' pages while pages are free and fewer than the pages' count are begun
// and not yet taken, so that a page left waiting for its turn holds no more than its markup. An
// album to render again waits until every page is free, and has them all to itself.
void AlbumPages::startMore(int taking)
{
    for (const auto &[album, r] : m_begun) {
        if (r.alone && !r.render->isDone())
            return;
    }
    if (!m_again.empty()) {
        if (busy())
            return;
        const int album = m_again.front();
        m_again.pop_front();
        // With no page beside it, a network side that a given-up load left stuck may be renewed.
        m_pages.page(0).renewNetworkBeforeNextLoad();
        return begin(album, 0, true, taking);
    }
    while (m_next < m_urls.size() && int(m_begun.size()) < m_pageCount) {
        const auto free = std::find(m_pageBusy.begin(), m_pageBusy.end(), false);
        if (free == m_pageBusy.end())
            return;
        const int album = m_next++;
        const QString &url = m_urls.at(album);
        if (m_renders && !m_renders(albumIdFromUrl(url), url)) {
            m_passedOver[size_t(album)] = true;
            continue;
        }
        begin(album, int(free - m_pageBusy.begin()), false, taking);
    }
}

void AlbumPages::begin(int album, int pageIndex, bool alone, int taking)
{
    m_pageBusy[size_t(pageIndex)] = true;
    Render begun;
    begun.render =
        std::make_unique<AlbumRendering>(m_pages.page(pageIndex), m_urls.at(album), m_pace, m_engine, m_pages.clock());
    begun.page = pageIndex;
    begun.alone = alone;
    begun.render->setChecksOpenRequests(m_pageCount > 1 && !alone);
    for (auto &[other, render] : m_begun) {
        if (!render.render->isDone()) {
            render.accompanied = true;
            begun.accompanied = true;
        }
    }
    AlbumRendering *render = begun.render.get();
    connect(render, &AlbumRendering::done, this, [this, album] { ended(album); });
    // With pages side by side a page's lines wait until it is done: a page rendered again says
    // only what its last rendering found.
    if (album == taking && m_pageCount == 1)
        render->speakTo(m_window);
    m_begun[album] = std::move(begun);
    render->start();
}

void AlbumPages::ended(int album)
{
    const auto found = m_begun.find(album);
    if (found == m_begun.end())
        return;
    Render &r = found->second;
    m_pageBusy[size_t(r.page)] = false;
    const AlbumRendering &render = *r.render;
    // A page beside it may have held up its load or its requests, or cut them off.
    const bool doubtful = !render.whole() || !render.failure().isEmpty() || render.requestsOpen();
    if (m_pageCount > 1 && !r.alone && r.accompanied && doubtful) {
        // Not deleted here: its own signal is still being delivered.
        r.render.release()->deleteLater();
        m_begun.erase(found);
        m_again.insert(std::upper_bound(m_again.begin(), m_again.end(), album), album);
        ++m_renderedAgain;
    }
    // Not from inside the page's own signal: the next page may begin on the page that just ended.
    QMetaObject::invokeMethod(this, &AlbumPages::check, Qt::QueuedConnection);
}

void AlbumPages::await(int index)
{
    m_awaited = index;
    m_announced = false;
    check();
}

// Begins what may begin now, and tells of the awaited album once it is ready.
void AlbumPages::check()
{
    if (m_awaited < 0 || m_announced)
        return;
    const int index = m_awaited;
    startMore(index);
    const auto found = m_begun.find(index);
    const bool passedOver = index < m_next && m_passedOver.at(size_t(index));
    if (passedOver || (found != m_begun.end() && found->second.render->isDone())) {
        m_announced = true;
        // Later: the job may be the caller.
        QMetaObject::invokeMethod(
            this, [this, index] { emit ready(index); }, Qt::QueuedConnection);
        return;
    }
    // The job waits for this page now, so its lines may go out as they come, as they would with
    // one page.
    if (found != m_begun.end() && m_pageCount == 1)
        found->second.render->speakTo(m_window);
}

std::unique_ptr<AlbumRendering> AlbumPages::take(int index)
{
    if (index == m_awaited)
        m_awaited = -1;
    const auto found = m_begun.find(index);
    if (found == m_begun.end())
        return nullptr;
    std::unique_ptr<AlbumRendering> render = std::move(found->second.render);
    m_begun.erase(found);
    return render;
}
