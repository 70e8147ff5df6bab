#include "tests/fakebrowser.h"

#include "web/network/timings.h"

#include <QTimer>

#include <algorithm>

namespace {

constexpr int titleHeight = 40;
constexpr int footerHeight = 360;
constexpr int viewHeight = 153; // the window's browser

} // namespace

void VirtualClock::after(int ms, QObject *context, std::function<void()> then)
{
    m_due.emplace(std::make_pair(m_now + std::max(0, ms), ++m_asked), Call{context, std::move(then)});
    if (!m_pumping) {
        m_pumping = true;
        QTimer::singleShot(0, this, &VirtualClock::pump);
    }
}

void VirtualClock::pump()
{
    if (m_due.empty()) {
        m_pumping = false;
        return;
    }
    const auto first = m_due.begin();
    m_now = std::max(m_now, first->first.first);
    const Call call = std::move(first->second);
    m_due.erase(first);
    QTimer::singleShot(0, this, &VirtualClock::pump);
    if (call.context)
        call.then();
}

FakeBrowser::FakeBrowser(VirtualClock &clock, std::function<FakeGallery(const QString &)> galleries, int answerLimitMs)
    : m_clock(clock)
    , m_answerLimitMs(answerLimitMs)
    , m_galleries(std::move(galleries))
{ }

bool FakeBrowser::hung() const
{
    if (m_gallery.hangsAtMs >= 0 && age() >= m_gallery.hangsAtMs)
        return true;
    return m_gallery.hangsAfterLastMs >= 0 && m_lastShownMs >= 0 &&
           m_clock.nowMs() >= m_lastShownMs + m_gallery.hangsAfterLastMs;
}

template<typename Value>
void FakeBrowser::answer(QObject *context, std::function<void(const Value &)> then, Value value)
{
    // A page that hangs keeps its renderer busy: its answers never come, and the engine gives up
    // on them after its answer limit, and on the page after the first. Every answer brings what
    // the page showed since the last.
    const bool hangs = hung();
    const int delay = hangs && !std::exchange(m_spoiled, true) ? m_answerLimitMs : 0;
    const quint64 navigation = m_navigation;
    m_clock.after(delay, context, [this, hangs, navigation, then = std::move(then), value = std::move(value)] {
        if (!hangs && navigation == m_navigation) {
            keepShown(m_states.mid(m_handedOver));
            m_handedOver = m_states.size();
        }
        then(value);
    });
}

QString FakeBrowser::rowOf(const FakeGallery &gallery, int n)
{
    const QString id = gallery.idPrefix + QString::number(n);
    const QString binding =
        gallery.bindings ? QStringLiteral(":href=\"'/photo/p?kw=b&amp;pic_id=' + id\" ") : QString();
    return QStringLiteral("<a %1href=\"/photo/p?kw=b&amp;pic_id=%2\"><img src=\"t.jpg\"></a>").arg(binding, id);
}

QString FakeBrowser::markupOf(const FakeGallery &gallery, int from, int to)
{
    QString markup =
        QStringLiteral("<body><div class=\"aghl_big aghl_title\">") + gallery.title + QStringLiteral("</div>");
    if (gallery.bindings)
        markup += QStringLiteral("<script>var u = \"/photo/p?kw=b&amp;pic_id=\" + id;</script>"
                                 "<template x-for=\"id in ids\">") +
                  rowOf(gallery, 0) + QStringLiteral("</template>");
    for (int n = from + 1; n <= to; ++n)
        markup += rowOf(gallery, n);
    return markup + QStringLiteral("</body>");
}

void FakeBrowser::Navigate(const QString &address)
{
    const quint64 navigation = ++m_navigation;
    m_gallery = m_galleries(address);
    m_navigatedMs = m_clock.nowMs();
    m_lastShownMs = -1;
    m_landedMs = -1;
    m_complete = false;
    m_shown = std::min(m_gallery.shown, m_gallery.pictures);
    m_scrollY = 0;
    m_changes = 0;
    m_requests = 0;
    m_open = m_gallery.pollsForEver ? 1 : 0;
    m_network = 0;
    m_animations = 0;
    m_streams = 0;
    m_deliveries = 0;
    m_asking = false;
    m_armed = false;
    m_timing = false;
    m_movedAway = false;
    m_spoiled = false;
    m_drawn.clear();
    m_replaced = 0;
    m_states.clear();
    m_recorded.clear();
    m_handedOver = 0;
    forgetShown();
    loaded << address;
    m_states.append({QStringLiteral("<div class=\"aghl_big aghl_title\">") + m_gallery.title + QStringLiteral("</div>"),
                     0, 0, true});
    draw();
    if (m_net && m_net->heldBy == this)
        m_net->heldBy = nullptr;
    if (m_gallery.floods && m_net)
        m_net->heldBy = this;
    if (m_gallery.loadMs >= 0)
        finishLoad(navigation, m_gallery.loadMs);
    if (m_gallery.changesUnaskedAtMs >= 0)
        m_clock.after(m_gallery.changesUnaskedAtMs, this, [this, navigation] {
            if (navigation != m_navigation)
                return;
            ++m_changes;
            m_armed = true;
        });
    if (m_gallery.movesAwayAtMs >= 0)
        m_clock.after(m_gallery.movesAwayAtMs, this, [this, navigation] {
            if (navigation == m_navigation)
                m_movedAway = true;
        });
    if (m_gallery.seen == FakeGallery::Seen::Stream) {
        m_clock.after(m_gallery.documentMs, this, [this, navigation] {
            if (navigation != m_navigation)
                return;
            ++m_streams;
            ++m_deliveries;
            m_clock.after(m_gallery.answerMs, this, [this, navigation] { push(navigation); });
        });
    }
}

void FakeBrowser::push(quint64 navigation)
{
    if (navigation != m_navigation || hung() || m_shown >= m_gallery.pictures)
        return;
    ++m_deliveries;
    m_shown = std::min(m_gallery.pictures, m_shown + m_gallery.batch);
    ++m_changes;
    draw();
    m_clock.after(m_gallery.answerMs, this, [this, navigation] { push(navigation); });
}

void FakeBrowser::finishLoad(quint64 navigation, int ms)
{
    m_clock.after(ms, this, [this, navigation] {
        if (navigation != m_navigation)
            return;
        if (m_net && m_net->heldBy && m_net->heldBy != this)
            return finishLoad(navigation, 100);
        m_complete = true;
        emit readyStateChanged();
    });
}

void FakeBrowser::giveUpLoad()
{
    // The engine's network side is renewed at the next navigation: the flood is cut off.
    if (m_net && m_net->heldBy == this && !m_complete)
        m_net->heldBy = nullptr;
}

qint64 FakeBrowser::limit() const
{
    // A gallery that keeps few rows stands in for the rest with room above and below them, so its
    // height is that of every row it showed.
    return std::max<qint64>(0, titleHeight + qint64(m_shown) * m_gallery.pictureHeight + footerHeight - viewHeight);
}

void FakeBrowser::draw()
{
    const int h = std::max(1, m_gallery.pictureHeight);
    int first = 1;
    int last = m_shown;
    if (m_gallery.rows == FakeGallery::Rows::Last)
        first = std::max(1, m_shown - m_gallery.keepsRows + 1);
    if (m_gallery.rows == FakeGallery::Rows::InView || m_gallery.rows == FakeGallery::Rows::Pool) {
        first = std::max<qint64>(1, (m_scrollY - titleHeight) / h + 1);
        last = std::min<qint64>(m_shown, (m_scrollY + viewHeight - 1 - titleHeight) / h + 1);
    }
    std::map<int, int> drawn;
    for (int n = first; n <= last; ++n)
        drawn[n] = m_gallery.rows == FakeGallery::Rows::Pool ? (n - 1) % std::max(1, m_gallery.poolRows) : n;
    for (const auto &[n, slot] : m_drawn) {
        if (!drawn.count(n))
            ++m_replaced;
    }
    for (const auto &[n, slot] : drawn) {
        if (m_drawn.count(n))
            continue;
        // The row's own start tag and text, where it stands: its picture is inside it.
        QString own = rowOf(m_gallery, n);
        own.replace(QStringLiteral("<img src=\"t.jpg\">"), QString());
        const qint64 y = titleHeight + qint64(n - 1) * h;
        if (m_recorded.contains(own + QString::number(y)))
            continue;
        m_recorded.insert(own + QString::number(y));
        if (m_gallery.measuresFirst && n <= m_gallery.shown)
            m_states.append({own, titleHeight + 2 * qint64(n - 1) * h, 0, true});
        m_states.append({own, y, 0, true});
    }
    m_drawn = std::move(drawn);
    if (m_shown >= m_gallery.pictures && m_lastShownMs < 0)
        m_lastShownMs = m_clock.nowMs();
}

void FakeBrowser::readBody(QObject *context, std::function<void(const Body &)> then)
{
    Body body;
    if (hung()) {
        body.read = BodyRead::NoAnswer;
    } else if (!documentThere()) {
        body.read = BodyRead::NoPage;
    } else if (m_gallery.tooLarge) {
        body.read = BodyRead::TooLarge;
    } else {
        body.read = BodyRead::Markup;
        // The rows in the order they stand in the document: a pool's in the order of its rows.
        std::vector<std::pair<int, int>> bySlot;
        for (const auto &[n, slot] : m_drawn)
            bySlot.emplace_back(slot, n);
        std::sort(bySlot.begin(), bySlot.end());
        QString markup = markupOf(m_gallery, 0, 0);
        markup.chop(7); // </body>
        for (const auto &[slot, n] : bySlot)
            markup += rowOf(m_gallery, n);
        body.markup = markup + QStringLiteral("</body>");
        if (m_gallery.changesForEver)
            body.markup += QStringLiteral("<p>%1</p>").arg(age() / 100);
    }
    answer<Body>(context, std::move(then), body);
}

void FakeBrowser::Scroll(int x, int y)
{
    Q_UNUSED(x)
    ++scrolls;
    if (hung() || !documentThere())
        return;
    const qint64 to = std::clamp<qint64>(y, 0, limit());
    if (to == m_scrollY)
        return;
    m_scrollY = to;
    draw();
    if (m_landedMs >= 0 && m_clock.nowMs() - m_landedMs < m_gallery.restsAfterBatchMs)
        return;
    if (m_armed) {
        m_armed = false;
        return ask();
    }
    if (!m_gallery.asksOnScroll || m_gallery.seen == FakeGallery::Seen::Stream || m_scrollY < limit() || m_asking)
        return;
    const auto wantsMore = [this] { return m_shown < m_gallery.pictures || m_gallery.endless; };
    if (m_gallery.askAfterMs <= 0) {
        if (wantsMore())
            ask();
        return;
    }
    // A debounce waits for the scrolling to rest whether or not more is to come.
    const quint64 debounce = ++m_debounce;
    const quint64 navigation = m_navigation;
    // A timer of the page's own script world is open as a request of its own while it waits.
    if (m_gallery.debounceSeen && !m_timing) {
        m_timing = true;
        ++m_open;
    }
    m_clock.after(m_gallery.askAfterMs, this, [this, debounce, navigation, wantsMore] {
        if (debounce != m_debounce || navigation != m_navigation)
            return;
        if (m_timing) {
            m_timing = false;
            --m_open;
            ++m_requests;
        }
        if (!m_asking && wantsMore())
            ask();
    });
}

void FakeBrowser::ask()
{
    m_asking = true;
    if (m_gallery.seen == FakeGallery::Seen::Script) {
        ++m_requests;
        ++m_open;
    }
    if (m_gallery.seen == FakeGallery::Seen::Script || m_gallery.seen == FakeGallery::Seen::Network)
        ++m_network;
    const quint64 navigation = m_navigation;
    if (m_gallery.seen == FakeGallery::Seen::Animation) {
        ++m_animations;
        m_clock.after(m_gallery.answerMs - m_gallery.animationEventLateMs, this, [this, navigation] {
            if (navigation == m_navigation)
                --m_animations;
        });
    }
    m_clock.after(m_gallery.answerMs, this, [this, navigation] { arrive(navigation); });
}

void FakeBrowser::arrive(quint64 navigation)
{
    if (navigation != m_navigation || hung())
        return;
    // Nothing comes while another page holds the network side.
    if (m_net && m_net->heldBy && m_net->heldBy != this)
        return m_clock.after(100, this, [this, navigation] { arrive(navigation); });
    m_asking = false;
    if (m_gallery.seen == FakeGallery::Seen::Script) {
        ++m_requests;
        --m_open;
    }
    m_shown = m_gallery.endless ? m_shown + m_gallery.batch : std::min(m_gallery.pictures, m_shown + m_gallery.batch);
    if (m_gallery.endless)
        m_gallery.pictures = std::max(m_gallery.pictures, m_shown);
    m_landedMs = m_clock.nowMs();
    ++m_changes;
    draw();
}

void FakeBrowser::readActivity(QObject *context, std::function<void(const Activity &)> then)
{
    Activity now;
    if (!hung() && documentThere()) {
        now.answered = true;
        now.scrollY = m_scrollY;
        now.scrollLimit = limit();
        now.viewHeight = viewHeight;
        now.rowsReplaced = m_replaced;
        now.shownStates = m_states.size();
        now.changes = m_changes + (m_gallery.changesForEver ? age() / 100 : 0);
        now.requests = m_requests + (m_gallery.pollsForEver ? age() / 1000 : 0);
        now.openRequests = m_open;
        now.networkRequests = m_network + (m_gallery.pollsForEver ? age() / 1000 : 0);
        now.animations = m_animations;
        now.streams = m_streams;
        now.deliveries = m_deliveries;
    }
    answer<Activity>(context, std::move(then), now);
}

void FakeBrowser::fetchSource(Network &network, const QString &address, QObject *context,
                              std::function<void(const QString &)> then)
{
    Q_UNUSED(network)
    const FakeGallery gallery = m_galleries(address.section(u'#', 0, 0));
    answer<QString>(context, std::move(then), gallery.failure.isEmpty() ? markupOf(gallery, 0, 0) : QString());
}

FakePages::FakePages(int count, std::function<FakeGallery(const QString &)> galleries, const Timings &timings)
{
    for (int i = 0; i < count; ++i) {
        m_pages.push_back(std::make_unique<FakeBrowser>(m_clock, galleries, timings.scriptAnswerLimitMs));
        m_pages.back()->shareNetwork(&m_network);
    }
}
