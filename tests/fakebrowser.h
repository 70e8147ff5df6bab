#pragma once

#include "job/jobwindow.h"
#include "job/render/paceclock.h"
#include "web/browser/browseradapter.h"
#include "web/network/timings.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

// A clock of the test's own: a wait of a minute passes as soon as nothing else is due before
// it. Whatever is due is called on the event loop, one call per turn, in the order of when it is
// due and then of when it was asked for, so that a run is the same every time.
class VirtualClock final : public QObject, public PaceClock
{
public:
    qint64 nowMs() const override { return m_now; }
    void after(int ms, QObject *context, std::function<void()> then) override;

private:
    void pump();

    struct Call
    {
        QPointer<QObject> context;
        std::function<void()> then;
    };
    qint64 m_now = 0;
    quint64 m_asked = 0;
    std::map<std::pair<qint64, quint64>, Call> m_due;
    bool m_pumping = false;
};

// An album page as a gallery script would build it, in a few numbers: how many pictures it shows
// at its load, how it asks for more once scrolled to its end, and how it misbehaves.
struct FakeGallery
{
    QString title = QStringLiteral("相册");
    QString idPrefix = QStringLiteral("p");
    int pictures = 30;
    int shown = 10;     // at the load
    int batch = 10;     // more each time it asks
    int answerMs = 200; // a batch comes this long after it is asked for
    // It asks this long after the last scroll that reached its end (a debounce).
    int askAfterMs = 0;
    bool debounceSeen = false; // its debounce is a timer of the page's own script world
    // How its requests can be seen: by the page's own script world, only as they begin on the
    // network side (a frame's or a worker's), not at all, as an animation it waits for before
    // each batch goes in, or as an event stream it opens at its load, on which the server pushes
    // a batch every answerMs whatever the reader does, and which stays open.
    enum class Seen { Script, Network, Nothing, Animation, Stream };
    Seen seen = Seen::Script;
    int loadMs = 100;   // the load ends then; -1: never
    int documentMs = 0; // the document asked for is there from then on
    // Which rows are in the document: all of them, the last `keepsRows` (rows scrolled past
    // leave), only those in the view (a virtualiser that draws no row beyond it), or those in the
    // view drawn by a pool of this many rows pointed at the next pictures as the view moves.
    enum class Rows { All, Last, InView, Pool };
    Rows rows = Rows::All;
    int keepsRows = 0;
    int poolRows = 0;
    // It first lays the rows of its load out where it measures them, in one column twice as far
    // apart, and then in their place (a grid that measures its bricks before it stacks them).
    bool measuresFirst = false;
    bool changesForEver = false;
    bool endless = false; // a batch after every scroll to its end, for ever
    int hangsAtMs = -1;   // from then on it answers nothing
    // It stops answering this long after it has shown its last picture.
    int hangsAfterLastMs = -1;
    bool tooLarge = false;
    bool pollsForEver = false; // one request always open, another every second
    // Then it changes by itself, and asks for more only on the next scroll event.
    int changesUnaskedAtMs = -1;
    // For this long after a batch has landed it takes no notice of scroll events (a loader that
    // rests between batches): only a scroll after that asks for the next one.
    int restsAfterBatchMs = 0;
    // The animation a batch waits for stops running this long before the batch goes in: its end
    // event comes with a later frame (one frame, or many on a busy machine).
    int animationEventLateMs = 0;
    int pictureHeight = 200;
    bool asksOnScroll = true; // scrolled to its end, it asks for more
    // Its load never ends and holds up the network side the pages share (an endless flood of
    // interim answers), until it is given up.
    bool floods = false;
    QString failure;        // why the engine refused it, if it did
    int movesAwayAtMs = -1; // then it tries to go to another page of the site, and is held back
    // Its pictures also stand in a script and a binding of its own, which show no picture.
    bool bindings = false;
};

// The network side the pages of one engine share.
struct FakeNetwork
{
    const QObject *heldBy = nullptr; // the page whose flood holds it up
};

// A browser page that shows fake galleries by their address, on a virtual clock.
class FakeBrowser final : public BrowserAdapter
{
public:
    void shareNetwork(FakeNetwork *network) { m_net = network; }
    void giveUpLoad() override;
    // A page that hangs is given up on after `answerLimitMs`, as the engine gives up on a real one.
    FakeBrowser(VirtualClock &clock, std::function<FakeGallery(const QString &url)> galleries,
                int answerLimitMs = Timings().scriptAnswerLimitMs);

    void setSilent(bool) override { }
    void Navigate(const QString &address) override;
    int ReadyState() const override { return m_complete ? Complete : 1; }
    void readBody(QObject *context, std::function<void(const Body &)> answer) override;
    void Scroll(int x, int y) override;
    QString navigationFailure() const override { return m_gallery.failure; }
    bool movedAwayRefused() const override { return m_movedAway; }
    void setWatchesActivity(bool) override { }
    void readActivity(QObject *context, std::function<void(const Activity &)> answer) override;
    void fetchSource(Network &network, const QString &address, QObject *context,
                     std::function<void(const QString &)> answer) override;

    // What happened to the pages shown so far: the addresses in the order they were loaded, and
    // the most loaded at once.
    QStringList loaded;
    int scrolls = 0;

    // The page's markup with the pictures `from` + 1 to `to`.
    static QString markupOf(const FakeGallery &gallery, int from, int to);
    // Picture n's row, as the page shows it.
    static QString rowOf(const FakeGallery &gallery, int n);

private:
    qint64 age() const { return m_clock.nowMs() - m_navigatedMs; }
    bool hung() const;
    bool documentThere() const { return age() >= m_gallery.documentMs; }
    qint64 limit() const;
    void ask();
    void arrive(quint64 navigation);
    void finishLoad(quint64 navigation, int ms);
    void push(quint64 navigation);
    // Draws the rows the gallery keeps in its document now, and records what that shows.
    void draw();
    template<typename Value> void answer(QObject *context, std::function<void(const Value &)> then, Value value);

    VirtualClock &m_clock;
    const int m_answerLimitMs;
    FakeNetwork *m_net = nullptr;
    std::function<FakeGallery(const QString &)> m_galleries;
    FakeGallery m_gallery;
    quint64 m_navigation = 0;
    qint64 m_navigatedMs = 0;
    qint64 m_lastShownMs = -1; // when it showed its last picture
    qint64 m_landedMs = -1;    // when its last batch landed
    bool m_complete = false;
    int m_shown = 0;
    qint64 m_scrollY = 0;
    qint64 m_changes = 0;
    qint64 m_requests = 0;
    qint64 m_open = 0;
    qint64 m_network = 0;
    qint64 m_animations = 0;
    qint64 m_streams = 0;
    qint64 m_deliveries = 0;
    bool m_asking = false;
    bool m_armed = false; // changed by itself: the next scroll event asks for more
    bool m_timing = false;
    bool m_movedAway = false;
    bool m_spoiled = false; // an answer ran out of time: the next come at once, empty
    quint64 m_debounce = 0;
    // The rows in the document, by picture number (from 1), each with the pool row showing it.
    std::map<int, int> m_drawn;
    qint64 m_replaced = 0;
    QList<ShownElement> m_states;
    QSet<QString> m_recorded;
    qsizetype m_handedOver = 0;
};

// Pages of fake galleries for a job, on one virtual clock.
class FakePages final : public PageSource
{
public:
    FakePages(int count, std::function<FakeGallery(const QString &url)> galleries, const Timings &timings = {});
    int pageCount() const override { return int(m_pages.size()); }
    BrowserAdapter &page(int index) override { return *m_pages.at(size_t(index)); }
    PaceClock *clock() override { return &m_clock; }
    VirtualClock &virtualClock() { return m_clock; }
    FakeBrowser &fake(int index) { return *m_pages.at(size_t(index)); }

private:
    VirtualClock m_clock;
    FakeNetwork m_network;
    std::vector<std::unique_ptr<FakeBrowser>> m_pages;
};
