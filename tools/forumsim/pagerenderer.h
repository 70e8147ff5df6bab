#pragma once

#include "tools/forumsim/forumcontent.h"

#include <QByteArray>
#include <QString>

class QJsonValue;

// The forum's HTML pages, in GBK like the real site, with exactly the markup the client reads.
class PageRenderer
{
public:
    // bar may be nullptr for an unknown bar name; page is 1-based.
    static QByteArray listPage(const QString &barName, const ForumBar *bar, int page);
    static QByteArray albumPage(const QString &barName, const ForumAlbum &album);
    // The page an iframe loader fetches its batches through, and a worker loader's script.
    static QByteArray batchFrame();
    static QByteArray batchWorker();
    // JSON is valid JavaScript; the value, safe inside a script element.
    static QString jsLiteral(const QJsonValue &value);
    // Percent-encodes as encodeURIComponent does.
    static QString urlPart(const QString &text);

private:
    static QString frame(const QString &title, const QString &barName, const QString &content);
    static QString albumEntries(const ForumBar &bar, int page);
    static QString pager(const ForumBar &bar, const QString &barName, int page);
    static QString listLink(const QString &barName, int page, const QString &label);
    static QString pictureLink(const QString &barName, const QString &pictureId, int height);
    static QString galleryScript(const QString &barName, const ForumAlbum &album);
    static QString tickerScript();
    static QString blindScripts(const ForumAlbum &album);
    static QByteArray gbk(const QString &html);
};
