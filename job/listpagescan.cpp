#include "listpagescan.h"

#include "textscan.h"

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

} // namespace

ListPageScan scanListPage(const QString &ListHtml, const QString &forumHost, double PageCount)
{
    ListPageScan result;
    result.pageCount = PageCount;
    qsizetype ScanPos = 1;
    while (find(ListHtml, albumMarker, ScanPos + 1) != 0) {
        ScanPos = find(ListHtml, albumMarker, ScanPos + 1);
        ScanPos = find(ListHtml, linkStart, ScanPos + 1);
        const qsizetype LinkEnd = find(ListHtml, linkEnd, ScanPos + 1);
        // A link that never closes has no address to take; the scan goes on past it.
        if (ScanPos != 0 && LinkEnd != 0) {
            const QString path = TextScan::mid(ListHtml, ScanPos + 2, LinkEnd - ScanPos - 2);
            result.albumUrls += QStringLiteral("http://") + forumHost + u'/' + path + QStringLiteral("\r\n");
        }
        result.pageCount = lastPageCount(ListHtml);
        // Without a link after the marker the next search would find the same marker for ever.
        if (ScanPos == 0)
            break;
    }
    return result;
}
