#include "job/albumrender.h"

#include "job/jobstate.h"
#include "job/jobwindow.h"
#include "job/pagepace.h"
#include "job/scratchfile.h"

#include "job/split2.h"
#include "web/browseradapter.h"
#include "web/fetch.h"
#include "web/settings.h"

#include <QUrl>

#include <algorithm>
#include <iterator>

namespace {

const QString titleMarker = QStringLiteral("aghl_big aghl_title\">");

// The lowest step a pass may take; a page that goes on below it is cut there.
int lastStep()
{
    const PagePace &t = pagePace();
    return std::max(t.scrollSteps, t.maxScrollStepsPerPass);
}

} // namespace

AlbumRendering::AlbumRendering(BrowserAdapter &page, const QString &albumUrl, JobChoices::Pace pace)
    : m_page(page)
    , m_url(albumUrl)
    , m_pace(pace)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const std::function<void()> next = std::move(m_next);
        next();
    });
}

AlbumRendering::~AlbumRendering() = default;

void AlbumRendering::after(int ms, std::function<void()> next)
{
    m_next = std::move(next);
    m_timer.start(std::max(0, ms));
}

void AlbumRendering::speakTo(JobWindow &window)
{
    m_window = &window;
    for (const QString &line : std::as_const(m_unsaid))
        window.AppendLog(line);
    m_unsaid.clear();
}

// A page rendered ahead of its turn keeps its lines until the albums before it have said theirs.
void AlbumRendering::say(const QString &line)
{
    if (m_window)
        m_window->AppendLog(line);
    else
        m_unsaid.append(line);
}

void AlbumRendering::sayCut(const QString &line)
{
    m_whole = false;
    say(line);
}

bool AlbumRendering::tooLarge() const
{
    return m_page.lastBodyRead() == BrowserAdapter::BodyRead::TooLarge;
}

void AlbumRendering::start()
{
    if (m_pace == JobChoices::Pace::Fixed)
        m_before = BytesToBstr(GetBody(m_url + QStringLiteral("#!/l/p1"), Settings::timings().pageLimitSeconds),
                               QStringLiteral("gb2312"));
    m_page.setSilent(true);
    m_page.setWatchesActivity(m_pace == JobChoices::Pace::Adaptive);
    m_page.Navigate(m_url);
    if (m_page.ReadyState() == BrowserAdapter::Complete)
        return loadEnded(true);
    m_loadWatch = connect(&m_page, &BrowserAdapter::readyStateChanged, this, [this] {
        if (m_page.ReadyState() != BrowserAdapter::Complete)
            return;
        disconnect(m_loadWatch);
        // The engine tells of the load from inside a task of its own, in which it delivers no
        // script's answer: asking the page anything there would wait out the answer's limit.
        after(0, [this] { loadEnded(true); });
    });
    after(pagePace().loadWaitLimitMs, [this] {
        disconnect(m_loadWatch);
        loadEnded(m_page.ReadyState() == BrowserAdapter::Complete);
    });
}

// Why the album's page cannot be used, or empty: the page was refused or never came, which
// costs the album, not a pass of scrolling over another page.
static QString pageFailure(BrowserAdapter &browser, bool loaded)
{
    if (!browser.navigationFailure().isEmpty())
        return browser.navigationFailure();
    if (loaded)
        return QString();
    browser.bodyOuterHtml();
    return browser.lastBodyRead() == BrowserAdapter::BodyRead::NoPage ? QStringLiteral("超时") : QString();
}

void AlbumRendering::loadEnded(bool loaded)
{
    m_failure = pageFailure(m_page, loaded);
    if (!m_failure.isEmpty())
        return finish();
    if (!loaded)
        sayCut(QStringLiteral("相册页面加载超时，按已载入的内容继续"));
    if (m_pace == JobChoices::Pace::Fixed)
        return after(pagePace().afterLoadMs, [this] { settleAtFixedPace(); });
    m_clock.start();
    lookAtAdaptivePage();
}

// Scrolls until a whole pass leaves the markup as it was, so that batches a lazy gallery adds
// over several passes all end up in the result; bounded for pages that change for ever.
void AlbumRendering::settleAtFixedPace()
{
    m_current = m_page.bodyOuterHtml();
    m_passes = 0;
    nextFixedPass();
}

void AlbumRendering::nextFixedPass()
{
    const int maxPasses = pagePace().maxScrollPasses;
    if (m_current == m_before || tooLarge())
        return settled();
    if (m_passes >= maxPasses) {
        sayCut(QStringLiteral("相册页面一直在变化，已停止滚动，按当前内容继续"));
        return settled();
    }
    m_before = m_current;
    m_waitsAllowed = maxPasses - m_passes;
    m_passWaits = 0;
    m_step = 0;
    stepDownFixed();
}

// Steps down by the same distance with the same waits until the page's current end, so that a
// gallery that grows at its bottom goes on growing; a page that ends within the fixed steps goes
// to exactly their positions. A page that grew during the wait at its end is followed on down to
// its new end within the pass, at most as often as passes are left.
void AlbumRendering::stepDownFixed()
{
    const PagePace &t = pagePace();
    ++m_step;
    m_page.Scroll(0, m_step * t.scrollStepPixels);
    after(t.scrollStepMs, [this] {
        const PagePace &t = pagePace();
        if (m_step < lastStep() &&
            (m_step < t.scrollSteps || m_page.scrollLimit() > qint64(m_step) * t.scrollStepPixels))
            return stepDownFixed();
        after(t.afterScrollMs, [this] { fixedPassWaited(); });
    });
}

void AlbumRendering::fixedPassWaited()
{
    ++m_passWaits;
    const bool reachedEnd = m_page.scrollLimit() <= qint64(m_step) * pagePace().scrollStepPixels;
    if (!reachedEnd && m_step < lastStep() && m_passWaits < m_waitsAllowed)
        return stepDownFixed();
    const bool cutShort = !reachedEnd && m_step >= lastStep();
    m_passes += m_passWaits;
    m_current = m_page.bodyOuterHtml();
    if (cutShort && !tooLarge()) {
        // A further pass would go no further down.
        sayCut(QStringLiteral("相册页面过长，已滚动到上限，按当前内容继续"));
        return settled();
    }
    nextFixedPass();
}

// Looks at the page every few frames: steps it down while it goes on below the window, and at
// its end waits until it rests. A page that added to itself since the last scroll is scrolled
// once more, since what it added may wait for a scroll event to ask for more.
void AlbumRendering::lookAtAdaptivePage()
{
    const PagePace &p = pagePace();
    const BrowserAdapter::Activity now = m_page.activity();
    const qint64 ms = m_clock.elapsed();
    if (!now.answered) {
        // The engine may tell of a finished load before the document asked for is there; a
        // page that gives no answer at all has nothing more to show.
        m_page.bodyOuterHtml();
        if (m_page.lastBodyRead() == BrowserAdapter::BodyRead::NoPage && ms < p.adaptiveLimitMs)
            return after(p.adaptiveProbeMs, [this] { lookAtAdaptivePage(); });
        return settled();
    }
    if (!m_looked || now.changes != m_changes || now.scrollLimit != m_height) {
        if (m_looked && !m_justScrolled)
            m_grewUnasked = true;
        m_lastChangeMs = ms;
    }
    if (!m_looked || now.requests != m_requests || now.openRequests > 0)
        m_lastRequestMs = ms;
    m_looked = true;
    m_justScrolled = false;
    m_changes = now.changes;
    m_height = now.scrollLimit;
    m_requests = now.requests;
    if (ms >= p.adaptiveLimitMs) {
        sayCut(QStringLiteral("相册页面一直在变化，已停止滚动，按当前内容继续"));
        return settled();
    }
    const auto scrollTo = [&](qint64 y) {
        m_page.Scroll(0, int(y));
        m_lastScrollMs = m_clock.elapsed();
        m_justScrolled = true;
        m_grewUnasked = false;
        after(p.adaptiveStepMs, [this] { lookAtAdaptivePage(); });
    };
    const qint64 step = p.scrollStepPixels;
    if (now.scrollY < now.scrollLimit) {
        // Through the positions the fixed pace scrolls to, so that nothing it sets off is skipped.
        const qint64 target = std::min((now.scrollY / step + 1) * step, now.scrollLimit);
        if (target > qint64(lastStep()) * step) {
            sayCut(QStringLiteral("相册页面过长，已滚动到上限，按当前内容继续"));
            return settled();
        }
        return scrollTo(target);
    }
    if (m_grewUnasked)
        return scrollTo(std::max<qint64>(0, now.scrollLimit - step));
    const qint64 still = ms - std::max(m_lastChangeMs, m_lastScrollMs);
    const bool quiet = now.openRequests == 0 && ms - m_lastRequestMs >= p.quietMs;
    if ((still >= p.quietMs && quiet) || still >= p.stillMs)
        return settled();
    after(p.adaptiveProbeMs, [this] { lookAtAdaptivePage(); });
}

void AlbumRendering::settled()
{
    if (m_pace == JobChoices::Pace::Adaptive)
        m_current = m_page.bodyOuterHtml();
    if (tooLarge()) {
        // The browser hands over nothing of a page that large, so there is nothing to cut from.
        sayCut(QStringLiteral("相册页面内容过大，按没有图片处理"));
        m_current.clear();
    }
    m_markup = m_current;
    m_failure = m_page.navigationFailure();
    // Read at last, the page had still not brought the document asked for.
    if (m_failure.isEmpty() && m_page.lastBodyRead() == BrowserAdapter::BodyRead::NoPage)
        m_failure = QStringLiteral("超时");
    finish();
}

void AlbumRendering::finish()
{
    if (!m_failure.isEmpty()) {
        say(QStringLiteral("相册页面没有载入，此相册下载失败（") + m_failure + QStringLiteral("）"));
        m_markup.clear();
    }
    m_done = true;
    emit done();
}

QString albumTitle(const QString &markup, const QString &albumUrl)
{
    const std::optional<QString> cut =
        markup.contains(titleMarker) ? split2(markup, titleMarker, QStringLiteral("<"), false, false) : std::nullopt;
    // Without a title the album still needs a folder of its own, so its pictures do not mix
    // with another album's.
    if (!cut)
        return albumIdFromUrl(albumUrl);
    return decodeTitleEntities(*cut);
}

QString albumIdFromUrl(const QString &AlbumUrl)
{
    const QString path = QUrl(AlbumUrl).path();
    const QString id = path.section(u'/', -1, -1, QString::SectionSkipEmpty);
    return id.isEmpty() ? QStringLiteral("album") : id;
}

// A plain scan rather than a regular expression: titles come from the page's scripts and may
// hold halves of surrogate pairs, which a regular expression refuses to look at.
QString decodeTitleEntities(const QString &title)
{
    static const struct
    {
        QStringView entity;
        QChar character;
    } entities[] = {{u"&amp;", u'&'},  {u"&lt;", u'<'},   {u"&gt;", u'>'},
                    {u"&quot;", u'"'}, {u"&#39;", u'\''}, {u"&nbsp;", QChar(0xa0)}};
    const QStringView text(title);
    QString decoded;
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(u'&'); at >= 0; at = text.indexOf(u'&', at)) {
        const QStringView rest = text.mid(at);
        const auto *match = std::find_if(std::begin(entities), std::end(entities),
                                         [&](const auto &e) { return rest.startsWith(e.entity); });
        if (match == std::end(entities)) {
            ++at;
            continue;
        }
        decoded += text.mid(from, at - from);
        decoded += match->character;
        at += match->entity.size();
        from = at;
    }
    return from == 0 ? title : decoded + text.mid(from);
}

void logAlbumLine(const JobState &state, JobWindow &window)
{
    window.AppendLog(QStringLiteral("开始处理相册(%1/%2):").arg(state.AlbumIndex + 1).arg(state.AlbumCount) +
                     state.AlbumTitle);
}
