#include "job/render/albumrendering.h"

#include "job/engine.h"
#include "job/jobstate.h"
#include "job/jobwindow.h"

#include "job/text/split2.h"
#include "web/browser/browseradapter.h"

#include <QUrl>

#include <algorithm>
#include <iterator>
#include <limits>

namespace {

const QString titleMarker = QStringLiteral("aghl_big aghl_title\">");

} // namespace

AlbumRendering::AlbumRendering(BrowserAdapter &page, const QString &albumUrl, JobChoices::Pace pace, Engine &engine,
                               PaceClock *clock)
    : m_page(page)
    , m_url(albumUrl)
    , m_pace(pace)
    , m_engine(engine)
    , m_clock(clock ? *clock : engine.clock())
{ }

AlbumRendering::~AlbumRendering() = default;

// One step waits at a time: a new one makes the one before void.
void AlbumRendering::after(int ms, std::function<void()> next)
{
    const quint64 turn = ++m_turn;
    m_clock.after(ms, this, [this, turn, next = std::move(next)] {
        if (turn == m_turn)
            next();
    });
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

void AlbumRendering::start()
{
    // Only the fixed pace compares the rendered page with its source.
    if (m_pace != JobChoices::Pace::Fixed)
        return navigate();
    const quint64 turn = ++m_turn;
    m_page.fetchSource(m_engine.network(), m_url + QStringLiteral("#!/l/p1"), this,
                       [this, turn](const QString &source) {
                           if (turn != m_turn)
                               return;
                           m_source = source;
                           navigate();
                       });
}

void AlbumRendering::navigate()
{
    m_page.setSilent(true);
    m_page.setWatchesActivity(m_pace == JobChoices::Pace::Adaptive || m_checksOpen);
    m_page.Navigate(m_url);
    if (m_page.ReadyState() == BrowserAdapter::Complete)
        return loadEnded(true);
    // The load's bound runs from when the page starts loading: a page may first wait for the
    // engine's network side to be renewed, within a bound of the browser's own.
    const auto bound = [this] {
        after(m_engine.pagePace().loadWaitLimitMs, [this] {
            disconnect(m_loadWatch);
            loadEnded(m_page.ReadyState() == BrowserAdapter::Complete);
        });
    };
    m_loadWatch = connect(&m_page, &BrowserAdapter::readyStateChanged, this, [this, bound] {
        if (m_page.ReadyState() == BrowserAdapter::Waiting)
            return;
        if (m_page.ReadyState() != BrowserAdapter::Complete) {
            if (!m_loadBounded) {
                m_loadBounded = true;
                bound();
            }
            return;
        }
        disconnect(m_loadWatch);
        // The engine tells of the load from inside a task of its own, in which it delivers no
        // script's answer: the page is asked nothing before the loop's next turn.
        after(0, [this] { loadEnded(true); });
    });
    if (m_page.ReadyState() != BrowserAdapter::Waiting) {
        m_loadBounded = true;
        bound();
    }
}

void AlbumRendering::loadEnded(bool loaded)
{
    // The page was refused, or never came: that costs the album, not a pass of scrolling over
    // another page.
    m_failure = m_page.navigationFailure();
    if (!m_failure.isEmpty())
        return finish();
    m_loadTimedOut = !loaded;
    const auto begin = [this] {
        m_loadEndedMs = m_clock.nowMs();
        m_rules = PaceRules::make(m_pace, m_engine.pagePace(), m_source);
        advance(PaceAnswer{});
    };
    if (loaded)
        return begin();
    const quint64 turn = ++m_turn;
    m_page.readBody(this, [this, turn, begin](const BrowserAdapter::Body &body) {
        if (turn != m_turn)
            return;
        if (body.read == BrowserAdapter::BodyRead::NoPage) {
            m_failure = QStringLiteral("超时");
            return finish();
        }
        // A page that answers nothing has nothing more to show.
        if (body.read == BrowserAdapter::BodyRead::NoAnswer) {
            m_failure = QStringLiteral("没有响应");
            return finish();
        }
        sayCut(QStringLiteral("相册页面加载超时，按已载入的内容继续"));
        begin();
    });
}

// Does what the pace asks, and brings it the answer.
void AlbumRendering::advance(PaceAnswer answer)
{
    answer.nowMs = m_clock.nowMs() - m_loadEndedMs;
    const PaceStep step = m_rules->next(answer);
    const quint64 turn = ++m_turn;
    switch (step.kind) {
    case PaceStep::Kind::Wait:
        return after(step.ms, [this] { advance(PaceAnswer{}); });
    case PaceStep::Kind::Scroll:
        m_page.Scroll(0, int(std::min<qint64>(step.y, std::numeric_limits<int>::max())));
        return advance(PaceAnswer{});
    case PaceStep::Kind::ReadActivity:
        return m_page.readActivity(this, [this, turn](const BrowserAdapter::Activity &activity) {
            if (turn != m_turn)
                return;
            PaceAnswer a;
            a.activity = activity;
            advance(a);
        });
    case PaceStep::Kind::ReadBody:
        return m_page.readBody(this, [this, turn](const BrowserAdapter::Body &body) {
            if (turn != m_turn)
                return;
            took(body);
            PaceAnswer a;
            a.read = body.read;
            a.markup = body.markup;
            advance(a);
        });
    case PaceStep::Kind::Settled:
        return settled();
    }
}

void AlbumRendering::took(const BrowserAdapter::Body &body)
{
    m_lastRead = body.read;
    // A page that stops answering keeps what it showed last.
    if (body.read != BrowserAdapter::BodyRead::NoAnswer)
        m_markup = body.markup;
}

void AlbumRendering::settled()
{
    if (!m_checksOpen)
        return read();
    const quint64 turn = ++m_turn;
    m_page.readActivity(this, [this, turn](const BrowserAdapter::Activity &now) {
        if (turn != m_turn)
            return;
        m_requestsOpen = now.answered && now.openRequests > 0;
        read();
    });
}

void AlbumRendering::read()
{
    if (!m_rules->cut().isEmpty())
        sayCut(m_rules->cut());
    m_shown = m_page.shown();
    if (m_lastRead == BrowserAdapter::BodyRead::TooLarge) {
        // The browser hands over nothing of a page that large, so there is nothing to cut from.
        sayCut(QStringLiteral("相册页面内容过大，按没有图片处理"));
        m_markup.clear();
        m_shown.clear();
    }
    m_failure = m_page.navigationFailure();
    if (m_failure.isEmpty() && m_page.movedAwayRefused())
        say(QStringLiteral("相册页面试图转到其他页面，已阻止，按本页内容继续"));
    // Read at last, the page had still not brought the document asked for.
    if (m_failure.isEmpty() && m_lastRead == BrowserAdapter::BodyRead::NoPage)
        m_failure = QStringLiteral("超时");
    // A page that stopped answering may have had more to show; what it showed before is kept.
    if (m_failure.isEmpty() && m_lastRead == BrowserAdapter::BodyRead::NoAnswer) {
        const bool showedPictures = std::any_of(m_shown.cbegin(), m_shown.cend(), [](const ShownElement &e) {
            return e.markup.contains(QStringLiteral(";pic_id="));
        });
        if (m_markup.isEmpty() && !showedPictures)
            m_failure = QStringLiteral("没有响应");
        else
            sayCut(QStringLiteral("相册页面没有响应，按已载入的内容继续"));
    }
    finish();
}

void AlbumRendering::finish()
{
    ++m_turn;
    disconnect(m_loadWatch);
    // A load still going on may hold up the engine's network side for every page.
    if (m_page.ReadyState() != BrowserAdapter::Complete)
        m_page.giveUpLoad();
    if (!m_failure.isEmpty()) {
        say(QStringLiteral("相册页面没有载入，此相册下载失败（") + m_failure + QStringLiteral("）"));
        m_markup.clear();
        m_shown.clear();
    }
    m_done = true;
    emit done();
}

QString albumTitle(const QString &markup, const QList<ShownElement> &shown, const QString &albumUrl)
{
    // A page that stopped answering before it was read showed its title all the same.
    QString source = markup;
    if (!source.contains(titleMarker)) {
        for (const ShownElement &element : shown) {
            if (element.markup.contains(titleMarker)) {
                source = element.markup;
                break;
            }
        }
    }
    const std::optional<QString> cut =
        source.contains(titleMarker) ? split2(source, titleMarker, QStringLiteral("<"), false, false) : std::nullopt;
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
