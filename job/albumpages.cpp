#include "job/albumpages.h"

#include "job/albumrender.h"
#include "job/jobwindow.h"

#include "web/browseradapter.h"
#include "web/eventwait.h"

#include <algorithm>
#include <limits>

AlbumPages::AlbumPages(JobWindow &window, const QStringList &albumUrls, RendersAlbum rendersAlbum)
    : m_window(window)
    , m_urls(albumUrls)
    , m_rendersAlbum(std::move(rendersAlbum))
    , m_pageCount(std::clamp(std::min(Choices::current().pages, window.pages().pageCount()), 1, JobChoices::mostPages))
    , m_pace(Choices::current().pace)
    , m_pageBusy(size_t(m_pageCount), false)
    , m_passedOver(size_t(albumUrls.size()), false)
{ }

AlbumPages::~AlbumPages() = default;

// Begins the next albums' pages while pages are free and fewer than the pages' count are begun
// and not yet taken, so that a page left waiting for its turn holds no more than its markup.
void AlbumPages::startMore(int taking)
{
    while (m_next < m_urls.size() && int(m_renders.size()) < m_pageCount) {
        const auto free = std::find(m_pageBusy.begin(), m_pageBusy.end(), false);
        if (free == m_pageBusy.end())
            return;
        const int album = m_next++;
        const QString &url = m_urls.at(album);
        if (!m_rendersAlbum(albumIdFromUrl(url), url)) {
            m_passedOver[size_t(album)] = true;
            continue;
        }
        const int pageIndex = int(free - m_pageBusy.begin());
        *free = true;
        auto render = std::make_unique<AlbumRendering>(m_window.pages().page(pageIndex), url, m_pace);
        AlbumRendering *begun = render.get();
        connect(begun, &AlbumRendering::done, this, [this, pageIndex] {
            m_pageBusy[size_t(pageIndex)] = false;
            emit rendered();
        });
        if (album == taking)
            begun->speakTo(m_window);
        m_renders.emplace(album, std::move(render));
        begun->start();
    }
}

std::unique_ptr<AlbumRendering> AlbumPages::take(int index)
{
    if (m_interrupted)
        return nullptr;
    for (;;) {
        startMore(index);
        if (index < m_next && m_passedOver.at(size_t(index)))
            return nullptr;
        const auto found = m_renders.find(index);
        if (found != m_renders.end()) {
            if (found->second->isDone()) {
                std::unique_ptr<AlbumRendering> render = std::move(found->second);
                m_renders.erase(found);
                return render;
            }
            // The job waits for this page now, so its lines may go out as they come, as they
            // would with one page.
            found->second->speakTo(m_window);
        }
        if (EventWait::forSignal(this, &AlbumPages::rendered, std::numeric_limits<int>::max()) ==
            EventWait::Outcome::Interrupted) {
            m_interrupted = true;
            return nullptr;
        }
    }
}
