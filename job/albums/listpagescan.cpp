#include "job/albums/listpagescan.h"

#include "job/text/markersearch.h"

#include <algorithm>

using TextScan::find;

namespace {

const QString albumMarker = QStringLiteral("grbm_ele_a grbm_ele_big");
const QString linkStart = QStringLiteral("\"/p/");
const QString linkEnd = QStringLiteral("\"");
const QString lastPageMarker = QStringLiteral("\">尾页</a>");
const QString pageNumberKey = QStringLiteral("pn=");

double lastPageCount(const QString &html)
{
    const qsizetype LastPos = find(html, lastPageMarker, 1);
    if (LastPos == 0)
        return 1;
    // A marker within the first 20 characters would start the search before the text.
    const qsizetype PnPos = find(html, pageNumberKey, std::max<qsizetype>(LastPos - 20, 1));
    return TextScan::leadingNumber(TextScan::mid(html, PnPos + 3, 5));
}

// A control character has no place in a link's path; a line break in it would split the
// album list into albums the page never linked, and the address could leave the forum host.
bool plainPath(QStringView path)
{
    return std::none_of(path.begin(), path.end(), TextScan::isControl);
}

} // namespace

ListPageScan scanListPage(const QString &ListHtml, const QString &forumHost, double PageCount)
{
    ListPageScan result;
    result.pageCount = PageCount;
    qsizetype ScanPos = 1;
    qsizetype MarkerPos = find(ListHtml, albumMarker, ScanPos + 1);
    // The last-page link is the same for every album of the page, so it is read once: on a page
    // with any album at all, as the count is only taken from such pages.
    if (MarkerPos != 0)
        result.pageCount = lastPageCount(ListHtml);
    for (; MarkerPos != 0; MarkerPos = find(ListHtml, albumMarker, ScanPos + 1)) {
        ScanPos = find(ListHtml, linkStart, MarkerPos + 1);
        // Without a link after the marker the next search would find the same marker for ever.
        if (ScanPos == 0)
            break;
        const qsizetype LinkEnd = find(ListHtml, linkEnd, ScanPos + 1);
        // A link that never closes has no address to take; the scan goes on past it.
        if (LinkEnd == 0)
            continue;
        const QStringView path = QStringView(ListHtml).mid(ScanPos + 1, LinkEnd - ScanPos - 2);
        if (plainPath(path))
            result.albumUrls += QStringLiteral("http://") + forumHost + u'/' + path + QStringLiteral("\r\n");
    }
    return result;
}
