#pragma once

#include <QHash>
#include <QList>
#include <QString>

// Plain data read from the simulator's JSON file; ForumConfig fills and indexes it.

enum class PictureFormat { Jpeg, Png, Gif, Webp };

struct ForumPicture
{
    QString id;
    int status = 200;
    int delayMs = 0;
    QString body; // "", "empty", "onebyte" or "html"
    bool drop = false;
    bool once = false;
    qint64 size = 0;             // 0: use the top-level pictureSize
    qint64 rate = 0;             // bytes per second; 0: the top-level pictureRate
    int trickleMs = 0;           // one byte of the answer every this many ms
    QString flood;               // "", "continue" (interim answers) or "headers", without end
    int floodMs = 0;             // how long a flood lasts before the connection closes; 0: for ever
    QString redirect;            // an address to send the client to instead
    qint64 falseLength = -1;     // a Content-Length announced before the true one
    int retryAfter = -1;         // seconds named in a "Retry-After" header; -1: no such header
    bool retryAfterDate = false; // name them as the HTTP date that far ahead
    PictureFormat format = PictureFormat::Jpeg;
    qint64 shortLength = -1; // a Content-Length shorter than the body, which goes out whole
    qint64 cutAt = -1;       // only this many bytes of the body, without a length, then the connection closes

    bool hasFault() const
    {
        return status != 200 || delayMs > 0 || !body.isEmpty() || drop || rate > 0 || trickleMs > 0 ||
               !flood.isEmpty() || !redirect.isEmpty() || falseLength >= 0 || shortLength >= 0 || cutAt >= 0;
    }
};

// How an album page's gallery grows: a batch per scroll event, a batch whenever the window
// nears the page's end (infinite scroll), a batch whenever an element below the pictures
// comes into view (an IntersectionObserver), the infinite scroll checked only once scrolling
// has rested, a batch at a steady pace whatever the window does, or a batch every so many
// animation frames (a page the engine takes for hidden gets none).
enum class GalleryLoader { Scroll, NearEnd, Observer, Debounce, Timer, Frames };

// Where a batch's ids come from: the page's own script, or the server, asked by fetch(), by an
// XMLHttpRequest, by an XMLHttpRequest of a hidden same-origin iframe the page calls into, or by
// a dedicated Web Worker; or pushed by the server over an event stream the page listens to.
enum class BatchSource { Page, Fetch, Xhr, Frame, Worker, Events };

// A gallery built on a published front-end library that the simulator serves itself: an
// infinite scroll of server-rendered rows (htmx), a masonry grid laid out once its thumbnails
// load (masonry-layout; or egjs's InfiniteGrid, which keeps only the groups near the view), a list that keeps only the rows near the view (HyperList, following the window; or
// Clusterize.js, in a scroll area of its own; or Lit's virtualizer, a web component), a pool of rows pointed at other pictures as the
// view moves (Vue's RecycleScroller) and a template whose bindings stay on every row (Alpine.js).
enum class GalleryLibrary { None, Htmx, Masonry, HyperList, Clusterize, Recycle, Alpine, InfiniteGrid, Lit };

// When a page scrolls its window back to the top after a batch has landed.
enum class JumpToTop { Never, Once, Always };

// Requests an album page keeps making that have nothing to do with its pictures: a small one
// every so often (analytics), or one always held open by the server (a long poll).
enum class PageNoise { None, Beacon, LongPoll };

struct ForumAlbum
{
    QString id;
    QString title; // inserted into the page as-is, so it may carry entities
    int batch = 5;
    int delayMs = 0;
    int initial = 0;
    bool noTitle = false;
    bool ticking = false;
    bool neverLoads = false;
    QString script; // raw JavaScript run at the end of the page, for hostile pages
    GalleryLoader loader = GalleryLoader::Scroll;
    bool continueFlood = false; // the page is answered with "100 Continue" for as long as anyone listens
    QString redirect;           // the page is answered with a 302 to this address
    int pictureHeight = 0;      // 0: thumbnails side by side; otherwise one picture a row, this tall
    QString thumbFlood;    // the picture whose thumbnail is answered with "100 Continue" for as long as anyone listens
    int debounceMs = 1000; // Debounce: how long scrolling must rest before the page's end is checked
    int gapMs = 1000;      // Timer: from one batch's arrival to the next batch
    BatchSource batchFrom = BatchSource::Page;
    int delayMaxMs = -1;      // batches land from delayMs to this long after they are due; -1: delayMs each
    bool virtualRows = false; // rows more than a window above the view leave the document
    int perFrame = 0;         // pictures inserted per animation frame; 0: a batch at once
    JumpToTop jumpToTop = JumpToTop::Never;
    PageNoise noise = PageNoise::None;
    int noiseMs = 300;  // Beacon: between two beacons
    int pollMs = 25000; // LongPoll: how long the server holds each poll
    GalleryLibrary library = GalleryLibrary::None;
    bool thumbs = true;         // a library gallery's rows hold a thumbnail; false: a link with text only
    int freezeAfterMs = -1;     // the page's main thread loops for good this long after all pictures show
    int batchAnimationMs = 0;   // a batch goes in when a CSS animation this long has ended
    int batchTransitionMs = 0;  // a batch goes in when a CSS transition this long has ended
    int pushEveryMs = 3500;     // Events: from one pushed batch to the next
    bool eventsClose = false;   // Events: the server ends the stream after the last batch
    int gapFrames = 30;         // Frames: animation frames from one batch's arrival to the next batch
    QString navigateTo;         // an album of the same bar the page sends itself to
    int navigateAfterMs = 1500; // how long after its start the page does so
    QList<ForumPicture> pictures;

    // The wait before a batch from the index `from` lands, spread over delayMs..delayMaxMs the
    // same way on every run.
    int batchDelayMs(int from) const
    {
        const int spread = delayMaxMs > delayMs ? delayMaxMs - delayMs : 0;
        return delayMs + int((qint64(from) * 7919) % (spread + 1));
    }
};

// NotLast is how the forum itself lays its pages out: every page but the last links the last.
enum class LastPageLink { NotLast, First, Every, None };

struct ForumBar
{
    QString name;
    int perPage = 10;
    LastPageLink lastPageLink = LastPageLink::NotLast;
    QHash<int, int> pageStatus; // list pages answered with this status instead of their albums
    // List pages whose first request gets 503 (or their pageStatus) with "Retry-After: seconds".
    QHash<int, int> pageRetryAfter;
    QList<ForumAlbum> albums;

    int pageCount() const { return qMax(1, int((albums.size() + perPage - 1) / perPage)); }
};
