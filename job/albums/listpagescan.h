#pragma once

#include <QString>

// What one album-list page adds to the job: the album addresses it links, each followed by
// CR LF, and the page count its last-page link announces (unchanged when the page has no album).
struct ListPageScan
{
    QString albumUrls;
    double pageCount = 1;
};

ListPageScan scanListPage(const QString &ListHtml, const QString &forumHost, double PageCount);
