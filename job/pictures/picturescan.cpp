#include "job/pictures/picturescan.h"

#include <QHash>
#include <QSet>

#include <utility>

#include "job/hosts.h"
#include "job/text/markersearch.h"

#include <algorithm>

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

QList<std::optional<QString>> scanPictureIds(const QString &AlbumHtml)
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
    QList<std::optional<QString>> ids;
    qsizetype ScanPos = 1;
    for (;;) {
        const qsizetype found = find(AlbumHtml, marker, ScanPos + 1);
        if (found == 0)
            break;
        ScanPos = found + marker.size();
        // The quote is looked for from the identifier's second character on, so an empty
        // identifier runs on to the next quote in the text.
        const qsizetype IdEnd = quote.from(ScanPos + 1);
        if (IdEnd == 0)
            break;
        const qsizetype length = IdEnd - ScanPos;
        const qsizetype firstUnsafe = unsafe.from(ScanPos);
        if (length > maxPictureIdLength || (firstUnsafe != 0 && firstUnsafe < IdEnd))
            ids.emplaceBack();
        else
            ids.append(AlbumHtml.mid(ScanPos - 1, length));
    }
    return ids;
}

namespace {
const QString pictureItemPath = QStringLiteral("/forum/pic/item/");
} // namespace

QString pictureAddress(const QString &ImageId)
{
    return QStringLiteral("http://") + Hosts::imageHost() + pictureItemPath + ImageId + QStringLiteral(".jpg");
}

QString pictureIdOf(const QString &url)
{
    const qsizetype at = url.indexOf(pictureItemPath);
    QString id = at < 0 ? url : url.mid(at + pictureItemPath.size());
    if (id.endsWith(QStringLiteral(".jpg")))
        id.chop(4);
    return id;
}

QList<std::optional<QString>> picturesShown(const QString &AlbumHtml, const QStringList &removed)
{
    QList<std::optional<QString>> shown = scanPictureIds(AlbumHtml);
    if (removed.isEmpty())
        return shown;
    QSet<QString> last;
    for (const std::optional<QString> &id : std::as_const(shown)) {
        if (id)
            last.insert(*id);
    }
    // The ones taken out, in the order they went, each once.
    QStringList gone;
    QSet<QString> seen;
    for (const QString &element : removed) {
        for (const std::optional<QString> &id : scanPictureIds(element)) {
            if (id && !seen.contains(*id)) {
                seen.insert(*id);
                gone.append(*id);
            }
        }
    }
    // Each run of pictures missing from the last markup goes before the picture of it that
    // followed the run when they went. Pictures taken out after the last one the markup still
    // holds were below it; when it holds none of them, they were all above what it shows.
    QHash<QString, QStringList> before;
    QStringList run;
    bool anchored = false;
    for (const QString &id : std::as_const(gone)) {
        if (!last.contains(id)) {
            run.append(id);
            continue;
        }
        anchored = true;
        if (!run.isEmpty())
            before[id] += std::exchange(run, {});
    }
    if (before.isEmpty() && run.isEmpty())
        return shown;
    QList<std::optional<QString>> merged;
    if (!anchored)
        for (const QString &id : std::as_const(run))
            merged.append(id);
    for (const std::optional<QString> &id : std::as_const(shown)) {
        if (id && before.contains(*id)) {
            for (const QString &earlier : before.value(*id))
                merged.append(earlier);
        }
        merged.append(id);
    }
    if (anchored)
        for (const QString &id : std::as_const(run))
            merged.append(id);
    return merged;
}
