#include "picturescan.h"

#include "textscan.h"

using TextScan::find;

QStringList scanPictureIds(const QString &AlbumHtml)
{
    static const QString marker = QStringLiteral(";pic_id=");
    QStringList ids;
    qsizetype ScanPos = 1;
    for (;;) {
        const qsizetype found = find(AlbumHtml, marker, ScanPos + 1);
        if (found == 0)
            break;
        ScanPos = found + marker.size();
        // The quote is looked for from the identifier's second character on, so an empty
        // identifier runs on to the next quote in the text.
        const qsizetype IdEnd = find(AlbumHtml, u"\"", ScanPos + 1);
        if (IdEnd == 0)
            break;
        ids.append(AlbumHtml.mid(ScanPos - 1, IdEnd - ScanPos));
    }
    return ids;
}
