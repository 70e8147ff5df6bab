#pragma once

#include <QObject>
#include <QString>

// What a job needs of an embedded browser: load an address, tell when it has loaded, hand
// over the body's markup as the page's scripts have built it, and scroll the page's window.
class BrowserAdapter : public QObject
{
    Q_OBJECT

public:
    static constexpr int Complete = 4;

    // What the last read of the markup found.
    enum class BodyRead {
        Markup,   // the markup (empty for a document without a body)
        TooLarge, // markup longer than the page cap; nothing was handed over
        NoAnswer, // the page did not answer in time, or its renderer is gone
        NoPage,   // the last navigation has brought no document of its own yet
    };

    using QObject::QObject;

    // No dialog of the page's own ever waits for an answer while silent.
    virtual void setSilent(bool silent) = 0;
    // Starts loading and returns at once.
    virtual void Navigate(const QString &address) = 0;
    // Complete once the last navigation has finished loading (successfully or not).
    virtual int ReadyState() const = 0;
    // The body element's outer HTML now; empty when the document has no body or gives no answer,
    // and whenever lastBodyRead() says anything but Markup.
    virtual QString bodyOuterHtml() = 0;
    virtual BodyRead lastBodyRead() const { return BodyRead::Markup; }
    // Scrolls the page's window to the absolute position (x, y) in pixels.
    virtual void Scroll(int x, int y) = 0;
    // How far down the page's window can be scrolled now: the document's height less the
    // window's, in pixels; -1 when the page gives no answer.
    virtual qint64 scrollLimit() = 0;
    // Why the last navigation's page may not be used, in a few words for the log; empty while
    // nothing speaks against it.
    virtual QString navigationFailure() const = 0;

    // What a page is doing, for telling when it has settled: where it is scrolled to, and
    // counters that move whenever its document changes or one of its own requests starts or ends.
    struct Activity
    {
        bool answered = false; // false: the page gave no answer, or it is not the last navigation's
        qint64 scrollY = 0;
        qint64 scrollLimit = 0; // as scrollLimit() gives it
        qint64 changes = 0;     // changes to the document since it began
        qint64 requests = 0;    // requests of the page's scripts begun or ended since it began
        qint64 openRequests = 0;
    };
    // Pages loaded from the next Navigate() on keep the counters of activity() up to date; the
    // rest leave them at 0, and cost their scripts nothing.
    virtual void setWatchesActivity(bool watches) = 0;
    virtual Activity activity() = 0;

signals:
    void readyStateChanged();
};
