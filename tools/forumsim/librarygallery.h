#pragma once

#include "tools/forumsim/forumcontent.h"

#include <QByteArray>
#include <QString>

// Album galleries built the way pages built on published front-end libraries are: the library's
// own file, served by the simulator from /vendor/, does the work, and a few lines of the page
// glue it to the album's batches.
class LibraryGallery
{
public:
    // What follows the album's title and count on its page: the library, the first pictures (or
    // their ids) and the script that asks for the rest as the reader scrolls.
    static QString markup(const QString &barName, const ForumAlbum &album);
    // Pictures from..from+count-1 as the rows of an htmx gallery, the last one asking for the next
    // rows once it is revealed while the album has more (UTF-8).
    static QByteArray rows(const QString &barName, const ForumAlbum &album, int from, int count);
    // The row height of galleries with one picture a row.
    static int rowHeight(const ForumAlbum &album);

private:
    static QString rowsMarkup(const QString &barName, const ForumAlbum &album, int from, int count);
    static QString htmx(const QString &barName, const ForumAlbum &album);
    static QString masonry(const QString &barName, const ForumAlbum &album);
    static QString script(const QString &barName, const ForumAlbum &album, const QString &gallery);
};
