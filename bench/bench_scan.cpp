// Times the two page scans on crafted pages and reports the process's peak memory:
//   bench_scan ids <characters>   ";pic_id=x" repeated, one quote at the very end
//   bench_scan albums <count>     an album list page with <count> album links and a pager at its end
// One scan per process, so that the peak belongs to that scan alone.
#include "job/albums/listpagescan.h"
#include "job/pictures/picturescan.h"

#include <QElapsedTimer>
#include <QString>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QString overlappingIds(qsizetype characters)
{
    const QString unit = QStringLiteral(";pic_id=x");
    QString html = QStringLiteral("<");
    html.reserve(characters + unit.size());
    while (html.size() + unit.size() < characters)
        html += unit;
    return html + u'"';
}

QString albumList(qsizetype count)
{
    QString html = QStringLiteral("<html>");
    for (qsizetype i = 0; i < count; ++i)
        html += QStringLiteral("<div class=\"grbm_ele_wrap\"><a class=\"grbm_ele_a grbm_ele_big\" href=\"/p/%1\" "
                               "target=\"_blank\"><img src=\"t.jpg\"></a></div>")
                    .arg(7310000 + i);
    return html + QStringLiteral("<a href=\"/photo/g?kw=x&amp;pn=99\">尾页</a></html>");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "ids") != 0 && std::strcmp(argv[1], "albums") != 0)) {
        std::fprintf(stderr, "usage: %s ids <characters> | albums <count>\n", argv[0]);
        return 2;
    }
    const bool ids = std::strcmp(argv[1], "ids") == 0;
    const qsizetype size = std::atoll(argv[2]);
    const QString html = ids ? overlappingIds(size) : albumList(size);
    const long before = peakKiB();

    QElapsedTimer clock;
    clock.start();
    qsizetype results = 0;
    if (ids)
        results = scanPictureIds(html).size();
    else
        results = scanListPage(html, QStringLiteral("forum.test"), 1).albumUrls.count(u'\n');
    const double ms = double(clock.nsecsElapsed()) / 1e6;

    std::printf("%s %lld: page %lld characters, %lld results, %.1f ms, peak %ld KiB (page built: %ld KiB)\n", argv[1],
                static_cast<long long>(size), static_cast<long long>(html.size()), static_cast<long long>(results), ms,
                peakKiB(), before);
    return 0;
}
