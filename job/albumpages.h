#pragma once

#include "job/jobchoices.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class AlbumRendering;
class JobWindow;

// A job's album pages, rendered in the order of the album list, up to as many at once as the
// user chose pages, each in a page of its own, ahead of the album whose pictures come next.
// With one page an album's page loads only once the album before it has had its turn.
class AlbumPages final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlbumPages)

public:
    // False from `rendersAlbum` for an album the job passes over.
    using RendersAlbum = std::function<bool(const QString &albumId, const QString &url)>;

    AlbumPages(
        JobWindow &window, const QStringList &albumUrls,
        RendersAlbum rendersAlbum = [](const QString &, const QString &) { return true; });
    ~AlbumPages() override;

    // Album `index`'s page once it has settled; null for an album the job passes over, and
    // when the application is quitting (interrupted() then says so). Albums are taken in order.
    // Lines of a page that had settled before its turn are left for the job to say.
    std::unique_ptr<AlbumRendering> take(int index);
    bool interrupted() const { return m_interrupted; }

signals:
    void rendered();

private:
    void startMore(int taking);

    JobWindow &m_window;
    const QStringList m_urls;
    const RendersAlbum m_rendersAlbum;
    const int m_pageCount;
    const JobChoices::Pace m_pace;
    std::vector<bool> m_pageBusy;
    std::map<int, std::unique_ptr<AlbumRendering>> m_renders; // by album, begun and not yet taken
    std::vector<bool> m_passedOver;
    int m_next = 0; // the first album not yet begun or passed over
    bool m_interrupted = false;
};
