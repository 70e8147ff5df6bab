#pragma once

#include "job/render/pagepace.h"
#include "job/settingsfile.h"
#include "web/browser/browseradapter.h"

#include <QString>

#include <memory>

// What a pace asks of its page next.
struct PaceStep
{
    enum class Kind {
        Wait,         // let `ms` pass
        Scroll,       // scroll the page's window to (0, y)
        ReadActivity, // what the page is doing, how far down it can be scrolled
        ReadBody,     // its markup
        Settled,      // done: the body read last is what the page shows
    };
    Kind kind = Kind::Wait;
    int ms = 0;
    qint64 y = 0;
};

// The answer to the step asked last, and the time it came.
struct PaceAnswer
{
    qint64 nowMs = 0; // since the page's load ended
    BrowserAdapter::Activity activity;
    BrowserAdapter::BodyRead read = BrowserAdapter::BodyRead::NoAnswer;
    QString markup;
};

// When an album page has settled, as plain rules over what its page answers: no browser, no
// timer, no event loop, so that the same rules a job follows can be walked through at any speed.
// The first step is asked for once the page's load has ended.
class PaceRules
{
public:
    virtual ~PaceRules() = default;

    // `source` is the page as served, before its scripts ran; only the fixed pace compares with it.
    static std::unique_ptr<PaceRules> make(JobChoices::Pace pace, const PagePace &p, const QString &source);

    virtual PaceStep next(const PaceAnswer &answer) = 0;
    // Once settled: why the page is read before it settled, as the log says it; empty when it
    // settled of itself.
    const QString &cut() const { return m_cut; }

protected:
    explicit PaceRules(const PagePace &p)
        : m_p(p)
    { }
    // The lowest step a pass may take; a page that goes on below it is cut there.
    int lastStep() const;
    // How far one step scrolls: never past what a page that draws only the rows near the view
    // keeps drawn, once it is seen to do so, so that every row is drawn at least once.
    qint64 stepPixels() const;
    // Takes note of what an answer says of the page's rows.
    void noteRows(const BrowserAdapter::Activity &activity);

    const PagePace m_p;
    QString m_cut;
    bool m_replacesRows = false;
    qint64 m_viewHeight = 0;
};
