#include "retrycommand.h"

#include "failurelists.h"

#include "savejpg.h"

#include <QStringList>

namespace {

QStringList pieces(const QString &list)
{
    return list.isEmpty() ? QStringList() : list.split(QStringLiteral("\r\n"));
}

} // namespace

void runRetry(FailureLists &lists)
{
    const QStringList urls = pieces(lists.FailedUrls);
    const QStringList paths = pieces(lists.FailedPaths);
    lists.FailedUrls.clear();
    lists.FailedPaths.clear();
    // The last piece is the empty text behind the final CR LF.
    for (qsizetype i = 0; i + 1 < urls.size(); ++i) {
        const QString path = paths.value(i);
        if (SaveJpg(urls.at(i), path) != 0)
            continue;
        lists.FailedUrls += urls.at(i) + QStringLiteral("\r\n");
        lists.FailedPaths += path + QStringLiteral("\r\n");
    }
}
