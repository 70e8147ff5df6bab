#include "job/render/pacerules.h"

#include <algorithm>

namespace {

using Kind = PaceStep::Kind;
using BodyRead = BrowserAdapter::BodyRead;

PaceStep waitFor(int ms)
{
    return {Kind::Wait, ms, 0};
}

PaceStep ask(Kind kind)
{
    return {kind, 0, 0};
}

const QString changingForEver = QStringLiteral("相册页面一直在变化，已停止滚动，按当前内容继续");
const QString tooLong = QStringLiteral("相册页面过长，已滚动到上限，按当前内容继续");

// The forum's own pace: a set wait after the load, then passes of scrolling down by a fixed step
// with fixed waits, until a whole pass leaves the markup as it was, so that batches a lazy gallery
// adds over several passes all end up in the result. Each pass steps down by the same distance
// with the same waits until the page's current end, so that a gallery that grows at its bottom
// goes on growing; a page that ends within the fixed steps goes to exactly their positions. A page
// that grew during the wait at its end is followed on down to its new end within the pass, at most
// as often as passes are left. Bounded for pages that change or grow for ever. A page seen to draw
// only the rows near the view is stepped through a view's height at a time.
class FixedPace final : public PaceRules
{
public:
    FixedPace(const PagePace &p, const QString &source)
        : PaceRules(p)
        , m_before(source)
    { }

    PaceStep next(const PaceAnswer &a) override
    {
        switch (m_phase) {
        case Phase::Begin:
            m_phase = Phase::AfterLoad;
            return waitFor(m_p.afterLoadMs);
        case Phase::AfterLoad:
            m_phase = Phase::FirstRead;
            return ask(Kind::ReadBody);
        case Phase::FirstRead:
            took(a);
            m_passes = 0;
            return nextPass();
        case Phase::Scrolled:
            m_phase = Phase::StepWaited;
            return waitFor(m_p.scrollStepMs);
        case Phase::StepWaited:
            m_phase = Phase::StepRead;
            return ask(Kind::ReadActivity);
        case Phase::StepRead:
            noteRows(a.activity);
            if (m_y >= bottom())
                return waitAtEnd();
            if (m_y < fixedSteps() || a.activity.scrollLimit > m_y)
                return stepDown();
            return waitAtEnd();
        case Phase::EndWaited:
            ++m_passWaits;
            m_phase = Phase::EndRead;
            return ask(Kind::ReadActivity);
        case Phase::EndRead: {
            noteRows(a.activity);
            const bool reachedEnd = a.activity.scrollLimit <= m_y;
            if (!reachedEnd && m_y < bottom() && m_passWaits < m_waitsAllowed)
                return stepDown();
            m_cutShort = !reachedEnd && m_y >= bottom();
            m_passes += m_passWaits;
            m_phase = Phase::PassRead;
            return ask(Kind::ReadBody);
        }
        case Phase::PassRead:
            took(a);
            // A further pass would go no further down.
            if (m_cutShort && m_read != BodyRead::TooLarge)
                return settle(tooLong);
            return nextPass();
        case Phase::Done:
            break;
        }
        return ask(Kind::Settled);
    }

private:
    enum class Phase {
        Begin,
        AfterLoad,
        FirstRead,
        Scrolled,
        StepWaited,
        StepRead,
        EndWaited,
        EndRead,
        PassRead,
        Done
    };

    qint64 fixedSteps() const { return qint64(m_p.scrollSteps) * m_p.scrollStepPixels; }
    qint64 bottom() const { return qint64(lastStep()) * m_p.scrollStepPixels; }

    void took(const PaceAnswer &a)
    {
        m_current = a.markup;
        m_read = a.read;
    }

    PaceStep settle(const QString &cut = QString())
    {
        m_cut = cut;
        m_phase = Phase::Done;
        return ask(Kind::Settled);
    }

    PaceStep nextPass()
    {
        if (m_current == m_before || m_read == BodyRead::TooLarge)
            return settle();
        if (m_passes >= m_p.maxScrollPasses)
            return settle(changingForEver);
        m_before = m_current;
        m_waitsAllowed = m_p.maxScrollPasses - m_passes;
        m_passWaits = 0;
        m_y = 0;
        return stepDown();
    }

    PaceStep stepDown()
    {
        m_y = std::min(m_y + stepPixels(), bottom());
        m_phase = Phase::Scrolled;
        return {Kind::Scroll, 0, m_y};
    }

    PaceStep waitAtEnd()
    {
        m_phase = Phase::EndWaited;
        return waitFor(m_p.afterScrollMs);
    }

    Phase m_phase = Phase::Begin;
    QString m_before;
    QString m_current;
    BodyRead m_read = BodyRead::Markup;
    int m_passes = 0;
    int m_waitsAllowed = 0;
    int m_passWaits = 0;
    qint64 m_y = 0;
    bool m_cutShort = false;
};

// As fast as the page renders: it is looked at every few frames, stepped down while it goes on
// below the window (through the positions the fixed pace scrolls to, so that nothing it sets off
// is skipped), and read once it has rested at its end.
//
// At its end a page has rested when, for at least as long as the fixed pace waits after each
// pass, nothing changed and it was not scrolled, and none of its scripts' requests is open or
// moved for a quiet spell, no animation that ends soon is running or ended within that spell,
// and no stream it holds open delivered lately; a request seen only as it began (in a frame or a
// worker) holds it for longer, outlasting a slow batch's answer. A page whose requests never
// rest has rested once nothing changed for the still spell. A gallery may ask for more only on a
// scroll that comes after its last batch has settled: a page idle at its end for a moment is
// scrolled up a step and back, and one that has rested is scrolled so once more (one that draws
// only the rows near the view is stepped through again from its top) and read only when that
// brought nothing either.
//
// A page that added to itself since the last scroll is scrolled once more, since what it added may
// wait for a scroll event to ask for more; a few times at most while it does not grow, so that a
// page that answers every scroll with a change over several frames cannot make it loop.
class AdaptivePace final : public PaceRules
{
public:
    explicit AdaptivePace(const PagePace &p)
        : PaceRules(p)
    { }

    PaceStep next(const PaceAnswer &a) override
    {
        switch (m_phase) {
        case Phase::Look:
            m_phase = Phase::Looked;
            return ask(Kind::ReadActivity);
        case Phase::Looked:
            return look(a);
        case Phase::Scrolled:
            m_phase = Phase::Look;
            return waitFor(m_p.adaptiveStepMs);
        case Phase::Unanswered:
            // The engine may tell of a finished load before the document asked for is there; a
            // page that gives no answer at all has nothing more to show.
            if (a.read == BodyRead::NoPage && a.nowMs < m_p.adaptiveLimitMs) {
                m_phase = Phase::Look;
                return waitFor(m_p.adaptiveProbeMs);
            }
            m_phase = Phase::Done;
            return ask(Kind::Settled);
        case Phase::Reading:
            m_phase = Phase::Done;
            return ask(Kind::Settled);
        case Phase::Done:
            break;
        }
        return ask(Kind::Settled);
    }

private:
    enum class Phase { Look, Looked, Scrolled, Unanswered, Reading, Done };
    enum class End { Waiting, Nudged, Last };

    PaceStep read(const QString &cut = QString())
    {
        m_cut = cut;
        m_phase = Phase::Reading;
        return ask(Kind::ReadBody);
    }

    // `settles` false for the scroll up and back of a page idle at its end that has shown how
    // soon it reacts to a scroll: that does not start its still spell over, what the page does
    // about it does. One that has not shown it may wait for the scrolling to rest (a debounce),
    // and is given the whole spell after it.
    PaceStep scrollTo(qint64 y, qint64 ms, bool settles = true)
    {
        m_lastScrollMs = ms;
        if (settles)
            m_lastSettlingScrollMs = ms;
        m_reacted = false;
        m_fetchedSinceScroll = false;
        m_justScrolled = true;
        m_grewUnasked = false;
        m_phase = Phase::Scrolled;
        return {Kind::Scroll, 0, y};
    }

    PaceStep look(const PaceAnswer &a)
    {
        const BrowserAdapter::Activity &now = a.activity;
        const qint64 ms = a.nowMs;
        if (!now.answered) {
            m_phase = Phase::Unanswered;
            return ask(Kind::ReadBody);
        }
        // Once the page is seen to draw only the rows near the view, the rows the big steps
        // jumped over were never drawn: it is stepped down again from its top.
        const bool stepsShrink = !m_replacesRows && now.rowsReplaced > 0;
        noteRows(now);
        if (!m_looked || now.changes != m_changes || now.scrollLimit != m_height) {
            if (m_looked && !m_justScrolled)
                m_grewUnasked = true;
            m_lastChangeMs = ms;
        }
        if (now.scrollLimit > m_height)
            m_unaskedScrolls = 0;
        const bool asked = now.requests != m_requests || now.networkRequests != m_network;
        // A page that begins or ends a request after a spell without any is busy again, also
        // with a request or a timer of its own open all along: the still spell starts over, while
        // one whose requests never rest keeps counting it.
        if (m_looked && asked && ms - m_lastAskedMs >= m_p.quietMs)
            m_wokeMs = ms;
        if (!m_looked || asked)
            m_lastAskedMs = ms;
        if (!m_looked || asked || now.openRequests > 0)
            m_lastRequestMs = ms;
        if (!m_looked || now.networkRequests != m_network)
            m_lastNetworkMs = ms;
        if (!m_looked || now.animations > 0)
            m_lastAnimationMs = ms;
        noteDeliveries(now, ms);
        // How long the page takes to ask for more once scrolled tells how long to wait for it.
        // And how soon it fetches something: a page that only sets a timer on a scroll (a
        // debounce) fetches once the scrolling has rested.
        if (m_looked && !m_fetchedSinceScroll && m_lastScrollMs > 0 && now.networkRequests != m_network) {
            m_fetchedSinceScroll = true;
            m_slowestFetchMs = std::max(m_slowestFetchMs, ms - m_lastScrollMs);
        }
        if (m_looked && !m_reacted && m_lastScrollMs > 0 && (asked || now.openRequests > 0)) {
            m_reacted = true;
            ++m_reactions;
            m_slowestReactionMs = std::max(m_slowestReactionMs, ms - m_lastScrollMs);
        }
        m_looked = true;
        m_justScrolled = false;
        m_changes = now.changes;
        m_height = now.scrollLimit;
        m_requests = now.requests;
        m_network = now.networkRequests;
        if (ms >= m_p.adaptiveLimitMs)
            return read(changingForEver);
        if (stepsShrink && now.scrollY > 0)
            return scrollTo(0, ms);
        const qint64 step = stepPixels();
        if (now.scrollY < now.scrollLimit) {
            const qint64 target = std::min((now.scrollY / step + 1) * step, now.scrollLimit);
            if (target > qint64(lastStep()) * m_p.scrollStepPixels)
                return read(tooLong);
            return scrollTo(target, ms, m_end != End::Nudged || m_reactions == 0);
        }
        if (m_grewUnasked && m_unaskedScrolls < m_p.unaskedScrolls) {
            ++m_unaskedScrolls;
            return scrollTo(std::max<qint64>(0, now.scrollLimit - step), ms);
        }
        // Scrolled up and back, a page that draws only the rows near the view draws them again:
        // only a page that grew or showed something new since brought more.
        if (m_end != End::Waiting && (now.scrollLimit > m_limitAtNudge || now.shownStates > m_shownAtNudge))
            m_end = End::Waiting;
        // Only a page known to react to a scroll at once: a slower one (a debounce) would only
        // start its wait over.
        if (m_end == End::Waiting && m_reactions > 0 &&
            std::max(m_slowestReactionMs, m_slowestFetchMs) <= m_p.endSpellMs() / 2 && idle(now, ms, shortSpell()))
            return nudge(now, ms, std::max<qint64>(0, now.scrollLimit - step), End::Nudged);
        // A page that never answered a scroll is read once it has rested as long as the fixed pace
        // gives it between two reads: one more scroll would only start a debounce it may hide over.
        if (m_reactions == 0 && !m_replacesRows && m_end == End::Waiting && rested(now, ms, fullSpell(), m_p.stillMs))
            return read();
        // The last scroll comes as late in the spell as leaves the page time to answer it (and the
        // scroll time to go up and back), so that a page that rests is read when it would have been
        // without it. Rows that came in above
        // the view while it waited at the end were never drawn: a page that draws only the rows
        // near the view is stepped through from its top once more.
        if (m_end != End::Last && (m_reactions > 0 || m_replacesRows) &&
            rested(now, ms, fullSpell(), m_p.stillMs, shortSpell() + 2 * m_p.adaptiveStepMs + m_p.adaptiveProbeMs))
            return nudge(now, ms, m_replacesRows ? 0 : std::max<qint64>(0, now.scrollLimit - step), End::Last);
        // Not while something the last scroll set off is still open.
        if (m_end == End::Last && (rested(now, ms, shortSpell(), m_p.stillMs) ||
                                   (now.openRequests == 0 && rested(now, ms, shortSpell(), m_p.stillMs / 2))))
            return read();
        m_phase = Phase::Look;
        return waitFor(m_p.adaptiveProbeMs);
    }

    PaceStep nudge(const BrowserAdapter::Activity &now, qint64 ms, qint64 y, End end)
    {
        m_end = end;
        m_limitAtNudge = now.scrollLimit;
        m_shownAtNudge = now.shownStates;
        return scrollTo(y, ms, end != End::Nudged || m_reactions == 0);
    }

    void noteDeliveries(const BrowserAdapter::Activity &now, qint64 ms)
    {
        if (now.deliveries == m_deliveries)
            return;
        if (m_deliveries > 0)
            m_longestGapMs = std::max(m_longestGapMs, ms - m_lastDeliveryMs);
        m_deliveries = now.deliveries;
        m_lastDeliveryMs = ms;
    }

    bool streaming(const BrowserAdapter::Activity &now, qint64 ms) const
    {
        const qint64 spell = std::clamp<qint64>(m_longestGapMs * 3 / 2, m_p.streamSpellMs,
                                                std::max(m_p.streamSpellMs, m_p.streamSpellMaxMs));
        return now.streams > 0 && ms - m_lastDeliveryMs < spell;
    }

    qint64 still(qint64 ms) const { return ms - std::max({m_lastChangeMs, m_lastSettlingScrollMs, m_wokeMs}); }

    // Until the page has shown how soon it asks for more once scrolled, what the fixed pace waits
    // at the end of a pass, then as long again as a pass; once it has, a moment more than that.
    qint64 shortSpell() const
    {
        return m_reactions == 0 ? m_p.endSpellMs()
                                : std::max<qint64>(m_p.nudgeSpellMs, m_slowestReactionMs + 2 * m_p.adaptiveProbeMs);
    }
    qint64 fullSpell() const
    {
        return m_reactions == 0 ? std::max<qint64>(m_p.endSpellMs(), m_p.passMs())
                                : m_p.endSpellMs() + m_slowestReactionMs;
    }

    // Nothing going on for a short spell: worth one more scroll.
    bool idle(const BrowserAdapter::Activity &now, qint64 ms, qint64 spell) const
    {
        return still(ms) >= spell && now.openRequests == 0 && !animating(now, ms) && !streaming(now, ms) &&
               ms - m_lastRequestMs >= spell && ms - m_lastNetworkMs >= spell;
    }

    // Nothing changed for the spell and the page is quiet; or, one whose requests never rest,
    // nothing changed for longer. `early`: as it will be that long from now, if nothing happens.
    bool rested(const BrowserAdapter::Activity &now, qint64 ms, qint64 spell, qint64 stillSpell, qint64 early = 0) const
    {
        const qint64 at = ms + early;
        const bool quiet = now.openRequests == 0 && at - m_lastRequestMs >= m_p.quietMs &&
                           at - m_lastNetworkMs >= m_p.networkQuietMs && !animating(now, at) && !streaming(now, at);
        return (still(at) >= spell && quiet) ||
               (still(at) >= std::max<qint64>(stillSpell, spell) && !animating(now, at));
    }

    // An animation that ends soon is running, or one ran lately: what its end sets off (the
    // batch a gallery lets in on its end event) comes with a frame after it, and on a busy
    // machine frames come late, so the end of an animation is waited on as a request's is.
    bool animating(const BrowserAdapter::Activity &now, qint64 ms) const
    {
        return now.animations > 0 || ms - m_lastAnimationMs < m_p.quietMs;
    }

    Phase m_phase = Phase::Look;
    bool m_looked = false;
    qint64 m_changes = 0;
    qint64 m_height = 0;
    qint64 m_requests = 0;
    qint64 m_network = 0;
    qint64 m_lastChangeMs = 0;
    qint64 m_lastRequestMs = 0;
    qint64 m_lastNetworkMs = 0;
    qint64 m_lastAnimationMs = 0;
    qint64 m_lastScrollMs = 0;
    qint64 m_lastSettlingScrollMs = 0;
    qint64 m_wokeMs = 0;
    qint64 m_lastAskedMs = 0;
    bool m_justScrolled = false;
    bool m_grewUnasked = false;
    int m_unaskedScrolls = 0;
    bool m_reacted = true;
    bool m_fetchedSinceScroll = true;
    int m_reactions = 0;
    qint64 m_slowestFetchMs = 0;
    qint64 m_slowestReactionMs = 0;
    qint64 m_deliveries = 0;
    qint64 m_lastDeliveryMs = 0;
    qint64 m_longestGapMs = 0;
    // Resting at its end a moment, a page is scrolled up a step and back; having rested a whole
    // spell, once more (one that draws only the rows near the view, from its top), and read once
    // that brought nothing either. What brings more starts this over.
    End m_end = End::Waiting;
    qint64 m_limitAtNudge = 0;
    qint64 m_shownAtNudge = 0;
};

} // namespace

std::unique_ptr<PaceRules> PaceRules::make(JobChoices::Pace pace, const PagePace &p, const QString &source)
{
    if (pace == JobChoices::Pace::Adaptive)
        return std::make_unique<AdaptivePace>(p);
    return std::make_unique<FixedPace>(p, source);
}

int PaceRules::lastStep() const
{
    return std::max(m_p.scrollSteps, m_p.maxScrollStepsPerPass);
}

qint64 PaceRules::stepPixels() const
{
    if (m_replacesRows && m_viewHeight > 0)
        return std::min<qint64>(m_viewHeight, m_p.scrollStepPixels);
    return m_p.scrollStepPixels;
}

void PaceRules::noteRows(const BrowserAdapter::Activity &activity)
{
    if (!activity.answered)
        return;
    m_replacesRows = m_replacesRows || activity.rowsReplaced > 0;
    if (activity.viewHeight > 0)
        m_viewHeight = activity.viewHeight;
}
