#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Network;

// One state of an element of the page that held a picture marker (or the album's title), as the
// page showed it at some moment: added, changed in any attribute or in its text, or about to be
// taken out.
struct ShownElement
{
    QString markup; // the element's start tag, its own text and its end tag
    // Where it stood in the document then, in pixels from its top and left edges; not `placed`
    // when the page had not laid it out (hidden, or taken out before it was seen).
    qint64 y = 0;
    qint64 x = 0;
    bool placed = false;
};

// What a job needs of an embedded browser: load an address, tell when it has loaded, hand
// over the body's markup as the page's scripts have built it, and scroll the page's window.
// Whatever the page is asked is answered later, through a callback, and never by waiting: many
// pages settle side by side on one event loop. A callback is dropped when its context is gone.
class BrowserAdapter : public QObject
{
    Q_OBJECT

public:
    // What ReadyState() says: the page waits before it starts loading, loads, or has loaded.
    static constexpr int Waiting = 0;
    static constexpr int Loading = 1;
    static constexpr int Complete = 4;

    // What a read of the markup found.
    enum class BodyRead {
        Markup,   // the markup (empty for a document without a body)
        TooLarge, // markup longer than the page cap; nothing was handed over
        NoAnswer, // the page did not answer in time, or its renderer is gone
        NoPage,   // the last navigation has brought no document of its own yet
    };

    struct Body
    {
        BodyRead read = BodyRead::NoAnswer;
        QString markup; // empty whenever read says anything but Markup
    };

    // What a page is doing, for telling when it has settled: where it is scrolled to, and
    // counters that move whenever its document changes or one of its own requests starts or ends.
    struct Activity
    {
        bool answered = false; // false: the page gave no answer, or it is not the last navigation's
        // Where the page is scrolled to, and how far down it can be scrolled now: the document's
        // height less the window's, in pixels, or a scroll area's of the page's own, if that
        // scrolls further.
        qint64 scrollY = 0;
        qint64 scrollLimit = 0;
        qint64 viewHeight = 0; // the window's height, or the lowest of its scroll areas', in pixels
        // How often the page took an element showing a picture out of its document, or pointed
        // one at another picture: a gallery that draws only the rows near the view.
        qint64 rowsReplaced = 0;
        // How many states of elements showing a picture, each where it was laid out, the page has
        // shown (see shown()).
        qint64 shownStates = 0;
        // Only while watched (setWatchesActivity):
        qint64 changes = 0;  // changes to the document since it began
        qint64 requests = 0; // requests of the page's scripts begun or ended since it began
        qint64 openRequests = 0;
        // Requests of the page's own (its frames' and workers' as well) that the engine's network
        // side began since the navigation, pictures, styles and fonts aside: only their start is
        // seen there.
        qint64 networkRequests = 0;
        // Animations and transitions running that end within a few seconds (a gallery may wait
        // for one before it shows its next batch); one that runs for ever is the page's looks.
        qint64 animations = 0;
        // Event streams, web sockets and streamed answers open, and how many deliveries they
        // brought since the page began.
        qint64 streams = 0;
        qint64 deliveries = 0;
    };

    using QObject::QObject;

    // No dialog of the page's own ever waits for an answer while silent.
    virtual void setSilent(bool silent) = 0;
    // Starts loading and returns at once.
    virtual void Navigate(const QString &address) = 0;
    // Complete once the last navigation has finished loading (successfully or not); Waiting while
    // it has not begun loading yet. Each change is told by readyStateChanged().
    virtual int ReadyState() const = 0;
    // Nobody waits for the last navigation's load any more, finished or not: a load that never
    // finishes may be holding up the network for every page.
    virtual void giveUpLoad() { }
    // The next navigation is the only one under way: a network side that loads given up may have
    // left stuck is renewed before it, whatever the other pages did meanwhile.
    virtual void renewNetworkBeforeNextLoad() { }
    // The body element's outer HTML as it is now.
    virtual void readBody(QObject *context, std::function<void(const Body &)> answer) = 0;
    // Scrolls the page's window to the absolute position (x, y) in pixels, and the page's own
    // scroll areas down as far, as far as each goes.
    virtual void Scroll(int x, int y) = 0;
    // Why the last navigation's page may not be used, in a few words for the log; empty while
    // nothing speaks against it.
    virtual QString navigationFailure() const = 0;
    // True when the last navigation's page, once loaded, tried to go to another page of the same
    // site and stayed where it was.
    virtual bool movedAwayRefused() const { return false; }

    // Pages loaded from the next Navigate() on keep the counters of readActivity() up to date;
    // the rest leave them at 0, and cost their scripts nothing.
    virtual void setWatchesActivity(bool watches) = 0;
    virtual void readActivity(QObject *context, std::function<void(const Activity &)> answer) = 0;

    // The page's source as the forum serves it, decoded, before any script has run; empty when
    // it could not be fetched. A page of the engine's own fetches it on `network`.
    virtual void fetchSource(Network &network, const QString &address, QObject *context,
                             std::function<void(const QString &)> answer);

    // Every state of the elements that showed a picture (or the title) since the last
    // Navigate(), in the order the page showed them, as far as its answers so far have brought
    // them: each answer of the page brings what it showed since the one before, so that what a
    // page showed before it stopped answering is kept.
    virtual const QList<ShownElement> &shown() const { return m_shown; }

signals:
    void readyStateChanged();

protected:
    void forgetShown() { m_shown.clear(); }
    void keepShown(const QList<ShownElement> &more) { m_shown += more; }

private:
    QList<ShownElement> m_shown;
};

// Calls `answer` with `value` once the event loop takes its next turn, unless `context` is gone.
template<typename Value, typename Answer> void answerLater(QObject *context, Answer answer, Value value)
{
    QMetaObject::invokeMethod(
        context, [answer = std::move(answer), value = std::move(value)] { answer(value); }, Qt::QueuedConnection);
}
