#pragma once

#include "job/jobwindow.h"
#include "job/render/paceclock.h"
#include "web/browseradapter.h"

#include <QHash>
#include <QObject>
#include <QPointer>
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
    // network side (a frame's or a worker's), or not at all.
    enum class Seen { Script, Network, Nothing };
    Seen seen = Seen::Script;
    int loadMs = 100;   // the load ends then; -1: never
    int documentMs = 0; // the document asked for is there from then on
    int keepsRows = 0;  // > 0: only this many of the last pictures stay in the document
    bool changesForEver = false;
    bool endless = false; // a batch after every scroll to its end, for ever
    int hangsAtMs = -1;   // from then on it answers nothing
    bool tooLarge = false;
    bool pollsForEver = false; // one request always open, another every second
    // Then it changes by itself, and asks for more only on the next scroll event.
    int changesUnaskedAtMs = -1;
    int pictureHeight = 200;
    bool asksOnScroll = true; // scrolled to its end, it asks for more
    // Its load never ends and holds up the network side the pages share (an endless flood of
    // interim answers), until it is given up.
    bool floods = false;
    QString failure; // why the engine refused it, if it did
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
    FakeBrowser(VirtualClock &clock, std::function<FakeGallery(const QString &url)> galleries);

    void setSilent(bool) override { }
    void Navigate(const QString &address) override;
    int ReadyState() const override { return m_complete ? Complete : 1; }
    void readBody(QObject *context, std::function<void(const Body &)> answer) override;
    void Scroll(int x, int y) override;
    void readScrollLimit(QObject *context, std::function<void(qint64)> answer) override;
    QString navigationFailure() const override { return m_gallery.failure; }
    void setWatchesActivity(bool) override { }
    void readActivity(QObject *context, std::function<void(const Activity &)> answer) override;
    void fetchSource(const QString &address, QObject *context, std::function<void(const QString &)> answer) override;

    // What happened to the pages shown so far: the addresses in the order they were loaded, and
    // the most loaded at once.
    QStringList loaded;
    int scrolls = 0;

    // The page's markup with its first `shown` pictures, the last `keepsRows` of them when it
    // keeps no more.
    static QString markupOf(const FakeGallery &gallery, int from, int to);

private:
    qint64 age() const { return m_clock.nowMs() - m_navigatedMs; }
    bool hung() const { return m_gallery.hangsAtMs >= 0 && age() >= m_gallery.hangsAtMs; }
    bool documentThere() const { return age() >= m_gallery.documentMs; }
    qint64 limit() const;
    void ask();
    void arrive(quint64 navigation);
    void finishLoad(quint64 navigation, int ms);
    template<typename Value> void answer(QObject *context, std::function<void(const Value &)> then, Value value);

    VirtualClock &m_clock;
    FakeNetwork *m_net = nullptr;
    std::function<FakeGallery(const QString &)> m_galleries;
    FakeGallery m_gallery;
    quint64 m_navigation = 0;
    qint64 m_navigatedMs = 0;
    bool m_complete = false;
    int m_shown = 0;
    qint64 m_scrollY = 0;
    qint64 m_changes = 0;
    qint64 m_requests = 0;
    qint64 m_open = 0;
    qint64 m_network = 0;
    bool m_asking = false;
    bool m_armed = false; // changed by itself: the next scroll event asks for more
    bool m_timing = false;
    quint64 m_debounce = 0;
    QStringList m_removed;
};

// Pages of fake galleries for a job, on one virtual clock.
class FakePages final : public PageSource
{
public:
    FakePages(int count, std::function<FakeGallery(const QString &url)> galleries);
    int pageCount() const override { return int(m_pages.size()); }
    BrowserAdapter &page(int index) override { return *m_pages.at(size_t(index)); }
    PaceClock &clock() override { return m_clock; }
    FakeBrowser &fake(int index) { return *m_pages.at(size_t(index)); }

private:
    VirtualClock m_clock;
    FakeNetwork m_network;
    std::vector<std::unique_ptr<FakeBrowser>> m_pages;
};
