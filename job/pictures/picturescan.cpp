#include "job/pictures/picturescan.h"

#include <QHash>
#include <QSet>

#include <utility>

#include "job/pictures/hiddenmarkers.h"
#include "job/text/markersearch.h"

#include <algorithm>
#include <tuple>

using TextScan::find;

namespace {

// Blanks, quotes, brackets, the characters that end or split a path segment, controls and
// lone surrogates (which have no encoding in an address). ';' is among them, so an identifier
// that passes never reaches into the next marker: the identifiers handed out never overlap.
bool unsafeAt(QStringView text, qsizetype i)
{
    const QChar ch = text[i];
    if (TextScan::isControl(ch) || QStringView(u" \"<>;?#/\\").contains(ch))
        return true;
    if (ch.isHighSurrogate())
        return i + 1 >= text.size() || !text[i + 1].isLowSurrogate();
    if (ch.isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

// The first position at or after `from` of something in the text, remembered: the scan asks
// with ever later starts, so a found position still at or after the new start is the answer
// again, and every character is looked at once for the whole page, however the markers nest.
template<typename Search> class MonotoneFind
{
public:
    explicit MonotoneFind(Search search)
        : m_search(search)
    { }
    qsizetype from(qsizetype start)
    {
        if (m_found != 0 && m_found >= start)
            return m_found;
        if (m_exhausted)
            return 0;
        m_found = m_search(start);
        m_exhausted = m_found == 0;
        return m_found;
    }

private:
    Search m_search;
    qsizetype m_found = 0;
    bool m_exhausted = false;
};

} // namespace

namespace {

// A marker's identifier, and the text it was cut from (up to maxPictureIdLength + 1 characters,
// enough to tell unusable ones apart) when asked for.
struct Marker
{
    std::optional<QString> id;
    QString text;
};

QList<Marker> scanMarkers(const QString &AlbumHtml, bool withText)
{
    static const QString marker = QStringLiteral(";pic_id=");
    // Positions are 1-based, 0 for "not found", as in TextScan.
    MonotoneFind quote([&](qsizetype start) { return find(AlbumHtml, u"\"", start); });
    MonotoneFind unsafe([&](qsizetype start) {
        for (qsizetype i = std::max<qsizetype>(start, 1) - 1; i < AlbumHtml.size(); ++i) {
            if (unsafeAt(AlbumHtml, i))
                return i + 1;
        }
        return qsizetype(0);
    });
    const QList<MarkupSpan> hidden = hiddenMarkerSpans(AlbumHtml);
    auto nextHidden = hidden.cbegin();
    QList<Marker> markers;
    qsizetype ScanPos = 1;
    for (;;) {
        const qsizetype found = find(AlbumHtml, marker, ScanPos + 1);
        if (found == 0)
            break;
        ScanPos = found + marker.size();
        while (nextHidden != hidden.cend() && nextHidden->to <= found - 1)
            ++nextHidden;
        if (nextHidden != hidden.cend() && nextHidden->from <= found - 1)
            continue;
        // The quote is looked for from the identifier's second character on, so an empty
        // identifier runs on to the next quote in the text.
        const qsizetype IdEnd = quote.from(ScanPos + 1);
        if (IdEnd == 0)
            break;
        const qsizetype length = IdEnd - ScanPos;
        const qsizetype firstUnsafe = unsafe.from(ScanPos);
        Marker m;
        if (length <= maxPictureIdLength && (firstUnsafe == 0 || firstUnsafe >= IdEnd))
            m.id = AlbumHtml.mid(ScanPos - 1, length);
        else if (withText)
            m.text = AlbumHtml.mid(ScanPos - 1, std::min(length, maxPictureIdLength + 1));
        markers.append(std::move(m));
    }
    return markers;
}

} // namespace

QList<std::optional<QString>> scanPictureIds(const QString &AlbumHtml)
{
    const QList<Marker> markers = scanMarkers(AlbumHtml, false);
    QList<std::optional<QString>> ids;
    ids.reserve(markers.size());
    for (const Marker &m : markers)
        ids.append(m.id);
    return ids;
}

namespace {
const QString pictureItemPath = QStringLiteral("/forum/pic/item/");
} // namespace

QString pictureAddress(const QString &imageHost, const QString &ImageId)
{
    return QStringLiteral("http://") + imageHost + pictureItemPath + ImageId + QStringLiteral(".jpg");
}

QString pictureIdOf(const QString &url)
{
    const qsizetype at = url.indexOf(pictureItemPath);
    QString id = at < 0 ? url : url.mid(at + pictureItemPath.size());
    if (id.endsWith(QStringLiteral(".jpg")))
        id.chop(4);
    return id;
}

namespace {

// A picture as the page showed it: where it stood when last seen laid out, and when it was first
// seen. A gallery that measures its rows before it places them, or lays them out anew as their
// pictures come in, shows each where it leaves it; a row parked out of the way is not laid out.
struct Sighting
{
    // Not a std::optional: sorting moves these about, which the compiler misreads as a read of an
    // empty one.
    QString id;
    bool usable = false;
    qint64 y = 0;
    qint64 x = 0;
    qsizetype first = 0;
    bool placed = false; // laid out where it was seen; otherwise where the one seen before it was
};

// What tells one picture from another: its identifier, or for one without a usable identifier
// the text it was cut from.
QString keyOf(const Marker &m)
{
    return m.id ? u'i' + *m.id : u't' + m.text;
}

} // namespace

QList<std::optional<QString>> picturesShown(const QString &AlbumHtml, const QList<ShownElement> &shown)
{
    const QList<Marker> last = scanMarkers(AlbumHtml, !shown.isEmpty());
    QList<std::optional<QString>> lastIds;
    for (const Marker &m : last)
        lastIds.append(m.id);
    if (shown.isEmpty())
        return lastIds;
    QHash<QString, Sighting> seen;
    QStringList order; // keys, as first seen
    // An element the page had not laid out stands where the one seen before it stood.
    qint64 lastY = 0;
    qint64 lastX = 0;
    for (const ShownElement &element : shown) {
        if (element.placed) {
            lastY = element.y;
            lastX = element.x;
        }
        for (const Marker &m : scanMarkers(element.markup, true)) {
            const QString key = keyOf(m);
            auto found = seen.find(key);
            if (found == seen.end()) {
                found = seen.insert(key, Sighting{m.id.value_or(QString()), m.id.has_value(), lastY, lastX,
                                                  order.size(), element.placed});
                order.append(key);
            } else if (element.placed) {
                found->y = lastY;
                found->x = lastX;
                found->placed = true;
            }
        }
    }
    QSet<QString> inLast;
    for (const Marker &m : last)
        inLast.insert(keyOf(m));
    if (std::all_of(order.cbegin(), order.cend(), [&](const QString &key) { return inLast.contains(key); }))
        return lastIds;
    QList<Sighting> all;
    for (const QString &key : std::as_const(order))
        all.append(seen.value(key));
    // Pictures of the last markup that no state showed stand right after the one before them.
    Sighting before{QString(), false, 0, 0, -1, false};
    for (const Marker &m : last) {
        const QString key = keyOf(m);
        if (const auto found = seen.constFind(key); found != seen.cend()) {
            before = *found;
            continue;
        }
        before.id = m.id.value_or(QString());
        before.usable = m.id.has_value();
        seen.insert(key, before);
        all.append(before);
    }
    std::stable_sort(all.begin(), all.end(), [](const Sighting &a, const Sighting &b) {
        return std::tie(a.y, a.x, a.first) < std::tie(b.y, b.x, b.first);
    });
    QList<std::optional<QString>> ids;
    for (const Sighting &s : std::as_const(all))
        ids.append(s.usable ? std::optional(s.id) : std::nullopt);
    return ids;
}
