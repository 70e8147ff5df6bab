#include "tests/fakebrowser.h"

#include "web/limits.h"

#include <QTimer>

#include <algorithm>

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

FakeBrowser::FakeBrowser(VirtualClock &clock, std::function<FakeGallery(const QString &)> galleries)
    : m_clock(clock)
    , m_galleries(std::move(galleries))
{ }

template<typename Value>
void FakeBrowser::answer(QObject *context, std::function<void(const Value &)> then, Value value)
{
    // A page that hangs keeps its renderer busy: its answers never come, and the engine gives up
    // on them after its answer limit.
    const int delay = hung() ? Settings::timings().scriptAnswerLimitMs : 0;
    m_clock.after(delay, context, [then = std::move(then), value = std::move(value)] { then(value); });
}

QString FakeBrowser::markupOf(const FakeGallery &gallery, int from, int to)
{
    QString markup =
        QStringLiteral("<body><div class=\"aghl_big aghl_title\">") + gallery.title + QStringLiteral("</div>");
    for (int n = from + 1; n <= to; ++n)
        markup += QStringLiteral("<a href=\"/photo/p?kw=b&amp;pic_id=%1%2\"><img src=\"t.jpg\"></a>")
                      .arg(gallery.idPrefix)
                      .arg(n);
    return markup + QStringLiteral("</body>");
}

void FakeBrowser::Navigate(const QString &address)
{
    const quint64 navigation = ++m_navigation;
    m_gallery = m_galleries(address);
    m_navigatedMs = m_clock.nowMs();
    m_complete = false;
    m_shown = std::min(m_gallery.shown, m_gallery.pictures);
    m_scrollY = 0;
    m_changes = 0;
    m_requests = 0;
    m_open = m_gallery.pollsForEver ? 1 : 0;
    m_network = 0;
    m_asking = false;
    m_armed = false;
    m_timing = false;
    m_removed.clear();
    loaded << address;
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
    // A gallery that keeps few rows stands in for the rest with room above them, so its height is
    // that of every row it showed; the window is the window browser's.
    return std::max<qint64>(0, qint64(m_shown) * m_gallery.pictureHeight + 400 - 153);
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
        const int from = m_gallery.keepsRows > 0 ? std::max(0, m_shown - m_gallery.keepsRows) : 0;
        body.markup = markupOf(m_gallery, from, m_shown);
        if (m_gallery.changesForEver)
            body.markup += QStringLiteral("<p>%1</p>").arg(age() / 100);
        body.removed = m_removed;
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
    if (m_armed) {
        m_armed = false;
        return ask();
    }
    if (!m_gallery.asksOnScroll || m_scrollY < limit() || m_asking ||
        (m_shown >= m_gallery.pictures && !m_gallery.endless))
        return;
    if (m_gallery.askAfterMs <= 0)
        return ask();
    const quint64 debounce = ++m_debounce;
    const quint64 navigation = m_navigation;
    // A timer of the page's own script world is open as a request of its own while it waits.
    if (m_gallery.debounceSeen && !m_timing) {
        m_timing = true;
        ++m_open;
    }
    m_clock.after(m_gallery.askAfterMs, this, [this, debounce, navigation] {
        if (debounce != m_debounce || navigation != m_navigation)
            return;
        if (m_timing) {
            m_timing = false;
            --m_open;
            ++m_requests;
        }
        if (!m_asking)
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
    if (m_gallery.seen != FakeGallery::Seen::Nothing)
        ++m_network;
    const quint64 navigation = m_navigation;
    m_clock.after(m_gallery.answerMs, this, [this, navigation] { arrive(navigation); });
}

void FakeBrowser::arrive(quint64 navigation)
{
    if (navigation != m_navigation)
        return;
    // Nothing comes while another page holds the network side.
    if (m_net && m_net->heldBy && m_net->heldBy != this)
        return m_clock.after(100, this, [this, navigation] { arrive(navigation); });
    m_asking = false;
    if (m_gallery.seen == FakeGallery::Seen::Script) {
        ++m_requests;
        --m_open;
    }
    const int before = m_shown;
    m_shown = m_gallery.endless ? m_shown + m_gallery.batch : std::min(m_gallery.pictures, m_shown + m_gallery.batch);
    if (m_gallery.endless)
        m_gallery.pictures = std::max(m_gallery.pictures, m_shown);
    if (m_gallery.keepsRows > 0) {
        // The rows that leave the view leave the document, in page order.
        const int goneBefore = std::max(0, before - m_gallery.keepsRows);
        const int goneNow = std::max(0, m_shown - m_gallery.keepsRows);
        for (int n = goneBefore; n < goneNow; ++n)
            m_removed
                << markupOf(m_gallery, n, n + 1).remove(QStringLiteral("<body>")).remove(QStringLiteral("</body>"));
    }
    ++m_changes;
}

void FakeBrowser::readScrollLimit(QObject *context, std::function<void(qint64)> then)
{
    answer<qint64>(context, std::move(then), hung() ? -1 : limit());
}

void FakeBrowser::readActivity(QObject *context, std::function<void(const Activity &)> then)
{
    Activity now;
    if (!hung() && documentThere()) {
        now.answered = true;
        now.scrollY = m_scrollY;
        now.scrollLimit = limit();
        now.changes = m_changes + (m_gallery.changesForEver ? age() / 100 : 0);
        now.requests = m_requests + (m_gallery.pollsForEver ? age() / 1000 : 0);
        now.openRequests = m_open;
        now.networkRequests = m_network + (m_gallery.pollsForEver ? age() / 1000 : 0);
    }
    answer<Activity>(context, std::move(then), now);
}

void FakeBrowser::fetchSource(const QString &address, QObject *context, std::function<void(const QString &)> then)
{
    const FakeGallery gallery = m_galleries(address.section(u'#', 0, 0));
    answer<QString>(context, std::move(then), gallery.failure.isEmpty() ? markupOf(gallery, 0, 0) : QString());
}

FakePages::FakePages(int count, std::function<FakeGallery(const QString &)> galleries)
{
    for (int i = 0; i < count; ++i) {
        m_pages.push_back(std::make_unique<FakeBrowser>(m_clock, galleries));
        m_pages.back()->shareNetwork(&m_network);
    }
}
