#pragma once

#include "job/settingsfile.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class AlbumRendering;
class Engine;
class JobWindow;
class PageSource;

// A job's album pages, rendered in the order of the album list, up to as many at once as the
// user chose pages, each in a page of its own, ahead of the album whose pictures come next.
// With one page an album's page loads only once the album before it has had its turn.
//
// Pages side by side share the engine's network side, so one hostile page can hold up the loads
// and requests of the others. An album whose page was cut off, read before its load finished, or
// read with one of its own requests still open, while other pages rendered beside it, is rendered
// again from the start on its own, with no page beside it: whatever the number of pages, an album
// comes out as it would with one.
class AlbumPages final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlbumPages)

public:
    // The pages come from `pages`, as many at once and at the pace `choices` say, settling at the
    // page pace of `engine`; the lines of the page the job waits for go to `window`. `renders`
    // says whether an album (by its id and address) is to be rendered at all.
    AlbumPages(JobWindow &window, PageSource &pages, Engine &engine, const JobChoices &choices,
               const QStringList &albumUrls,
               std::function<bool(const QString &albumId, const QString &url)> renders = {});
    ~AlbumPages() override;

    // The job waits for album `index` now, the albums before it taken: its page is begun if it
    // was not, and ready(index) follows once it has settled or is passed over. Albums are
    // awaited in order.
    void await(int index);
    // Album `index`'s page once ready(index) has come; null for an album the job passes over.
    // Lines of a page that had settled before its turn are left for the job to say.
    std::unique_ptr<AlbumRendering> take(int index);
    // How many albums were rendered a second time, alone.
    int renderedAgain() const { return m_renderedAgain; }

signals:
    // Album `index`, awaited, can be taken. Never from inside a call of the job's.
    void ready(int index);

private:
    struct Render
    {
        std::unique_ptr<AlbumRendering> render;
        int page = 0;
        bool alone = false;       // rendered again, with no page beside it
        bool accompanied = false; // another page rendered at some time beside it
    };

    void startMore(int taking);
    void begin(int album, int pageIndex, bool alone, int taking);
    void ended(int album);
    void check();
    bool busy() const;

    JobWindow &m_window;
    PageSource &m_pages;
    Engine &m_engine;
    const QStringList m_urls;
    const std::function<bool(const QString &, const QString &)> m_renders;
    const int m_pageCount;
    const JobChoices::Pace m_pace;
    std::vector<bool> m_pageBusy;
    std::map<int, Render> m_begun; // by album, begun and not yet taken
    std::vector<bool> m_passedOver;
    std::deque<int> m_again; // albums to render again alone, in list order
    int m_next = 0;          // the first album not yet begun or passed over
    int m_renderedAgain = 0;
    int m_awaited = -1;       // the album the job waits for; -1 while it waits for none
    bool m_announced = false; // ready() is on its way for it
};
