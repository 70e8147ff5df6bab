#include "job/records/failurelists.h"

#include <QStringList>

QList<FailureLists::Entry> FailureLists::entries() const
{
    // The last piece is the empty text behind the final CR LF, or an address cut short.
    QStringList urls = FailedUrls.split(QStringLiteral("\r\n"));
    urls.removeLast();
    const QStringList paths = FailedPaths.split(QStringLiteral("\r\n"));
    QList<Entry> all;
    all.reserve(urls.size());
    for (qsizetype i = 0; i < urls.size(); ++i)
        all.append(Entry{urls.at(i), paths.value(i)});
    return all;
}
