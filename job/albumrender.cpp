#include "job/albumrender.h"

#include "job/jobstate.h"
#include "job/jobwindow.h"
#include "job/pagepace.h"
#include "job/scratchfile.h"

#include "job/split2.h"
#include "web/browseradapter.h"
#include "web/eventwait.h"
#include "web/fetch.h"
#include "web/settings.h"

#include <QElapsedTimer>
#include <QUrl>

#include <algorithm>
#include <iterator>

namespace {

const QString titleMarker = QStringLiteral("aghl_big aghl_title\">");

bool waitUntilLoaded(BrowserAdapter &browser)
{
    const PagePace &t = pagePace();
    QElapsedTimer clock;
    clock.start();
    while (browser.ReadyState() != BrowserAdapter::Complete) {
        const qint64 left = t.loadWaitLimitMs - clock.elapsed();
        if (left <= 0)
            return false;
        if (EventWait::forSignal(&browser, &BrowserAdapter::readyStateChanged, int(left)) ==
            EventWait::Outcome::Interrupted)
            return false;
    }
    return true;
}

struct ScrollPass
{
    int waits = 0;         // waits after reaching the end, each counted as a pass of the album's
    bool cutShort = false; // the page went on below the last step a pass may take
};

// Steps down by the same distance with the same waits until the page's current end, so that a
// gallery that grows at its bottom goes on growing; a page that ends within the fixed steps goes
// to exactly their positions. A page that grew during the wait at its end is followed on down to
// its new end within the pass, at most `waitsAllowed` times.
ScrollPass scrollPass(BrowserAdapter &browser, int waitsAllowed)
{
    const PagePace &t = pagePace();
    const int lastStep = std::max(t.scrollSteps, t.maxScrollStepsPerPass);
    const auto atEnd = [&](int step) { return browser.scrollLimit() <= qint64(step) * t.scrollStepPixels; };
    ScrollPass pass;
    int step = 0;
    bool reachedEnd = true;
    do {
        do {
            ++step;
            browser.Scroll(0, step * t.scrollStepPixels);
            YanShi(t.scrollStepMs);
        } while (step < lastStep && (step < t.scrollSteps || !atEnd(step)));
        YanShi(t.afterScrollMs);
        ++pass.waits;
        reachedEnd = atEnd(step);
    } while (!reachedEnd && step < lastStep && pass.waits < waitsAllowed);
    pass.cutShort = !reachedEnd && step >= lastStep;
    return pass;
}

bool tooLarge(const BrowserAdapter &browser)
{
    return browser.lastBodyRead() == BrowserAdapter::BodyRead::TooLarge;
}

// Scrolls until a whole pass leaves the markup as it was, so that batches a lazy gallery adds
// over several passes all end up in the result; bounded for pages that change for ever.
QString settle(const QString &fetched, JobWindow &window)
{
    BrowserAdapter &browser = window.pages().page(0);
    QString before = fetched;
    QString current = browser.bodyOuterHtml();
    const int maxPasses = pagePace().maxScrollPasses;
    for (int passes = 0; current != before && !tooLarge(browser);) {
        if (passes >= maxPasses) {
            window.AppendLog(QStringLiteral("相册页面一直在变化，已停止滚动，按当前内容继续"));
            break;
        }
        before = current;
        const ScrollPass pass = scrollPass(browser, maxPasses - passes);
        passes += pass.waits;
        current = browser.bodyOuterHtml();
        if (pass.cutShort && !tooLarge(browser)) {
            // A further pass would go no further down.
            window.AppendLog(QStringLiteral("相册页面过长，已滚动到上限，按当前内容继续"));
            break;
        }
    }
    if (tooLarge(browser)) {
        // The browser hands over nothing of a page that large, so there is nothing to cut from.
        window.AppendLog(QStringLiteral("相册页面内容过大，按没有图片处理"));
        return QString();
    }
    return current;
}

QString titleOf(const JobState &state)
{
    const std::optional<QString> cut = state.AlbumHtml.contains(titleMarker)
                                           ? split2(state.AlbumHtml, titleMarker, QStringLiteral("<"), false, false)
                                           : std::nullopt;
    // Without a title the album still needs a folder of its own, so its pictures do not mix
    // with another album's.
    if (!cut)
        return albumIdFromUrl(state.AlbumUrl);
    return decodeTitleEntities(*cut);
}

} // namespace

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

// Why the album's page cannot be used, or empty: the page was refused or never came, which
// costs the album, not a pass of scrolling over another page.
QString pageFailure(BrowserAdapter &browser, bool loaded)
{
    if (!browser.navigationFailure().isEmpty())
        return browser.navigationFailure();
    if (loaded)
        return QString();
    browser.bodyOuterHtml();
    return browser.lastBodyRead() == BrowserAdapter::BodyRead::NoPage ? QStringLiteral("超时") : QString();
}

bool renderAlbum(JobState &state, JobWindow &window)
{
    const Timings &t = Settings::timings();
    BrowserAdapter &browser = window.pages().page(0);
    state.AlbumHtml =
        BytesToBstr(GetBody(state.AlbumUrl + QStringLiteral("#!/l/p1"), t.pageLimitSeconds), QStringLiteral("gb2312"));
    browser.setSilent(true);
    browser.Navigate(state.AlbumUrl);
    const bool loaded = waitUntilLoaded(browser);
    QString failure = pageFailure(browser, loaded);
    if (failure.isEmpty()) {
        if (!loaded)
            window.AppendLog(QStringLiteral("相册页面加载超时，按已载入的内容继续"));
        YanShi(pagePace().afterLoadMs);
        state.AlbumHtml = settle(state.AlbumHtml, window);
        failure = browser.navigationFailure();
    }
    if (!failure.isEmpty()) {
        window.AppendLog(QStringLiteral("相册页面没有载入，此相册下载失败（") + failure + QStringLiteral("）"));
        state.AlbumHtml.clear();
    }
    if (window.options().savesPictures)
        ScratchFile::write(QStringLiteral("cs.txt"), state.AlbumHtml);
    state.AlbumTitle = titleOf(state);
    return failure.isEmpty();
}

void logAlbumLine(const JobState &state, JobWindow &window)
{
    window.AppendLog(QStringLiteral("开始处理相册(%1/%2):").arg(state.AlbumIndex + 1).arg(state.AlbumCount) +
                     state.AlbumTitle);
}
