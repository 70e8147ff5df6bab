#include "job/albums/albumfolders.h"
#include "job/albums/listpagescan.h"
#include "job/pictures/picturescan.h"
#include "job/records/failurefile.h"
#include "job/records/resumerecord.h"
#include "job/render/albumrendering.h"
#include "job/text/markersearch.h"
#include "job/text/split2.h"
#include "web/files/foldername.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

const QString Host = u"forum.test"_s;
const QString AlbumMarker = u"grbm_ele_a grbm_ele_big"_s;
const QString Emoji = u"\U0001F600"_s;

QString album(const QString &id)
{
    return u"<div class=\"grbm_ele_wrap\"><a class=\""_s + AlbumMarker + u"\" href=\"/p/"_s + id +
           u"\" target=\"_blank\"><img src=\"t.jpg\"></a></div>"_s;
}

// The "next page" link carries a pn= of its own, so only the window before the last-page
// marker may be read.
QString pager(const QString &lastPage)
{
    return u"<div class=\"pager\"><a href=\"/photo/g?kw=x&amp;pn=2\">下一页</a><a href=\"/photo/g?kw=x&amp;pn="_s +
           lastPage + u"\">尾页</a></div>"_s;
}

QString urls(const QStringList &paths)
{
    QString all;
    for (const QString &path : paths)
        all += u"http://"_s + Host + u'/' + path + u"\r\n"_s;
    return all;
}

QString pictureLink(const QString &id)
{
    return u"<a href=\"/photo/p?kw=x&amp;pic_id="_s + id + u"\"><img src=\"s.jpg\"></a>"_s;
}

// How an identifier the scan does not hand out shows in the expected lists: the blank in it
// keeps it from ever being a handed-out identifier.
const QString NotFetched = u"(not fetched)"_s;

QStringList shown(const QList<std::optional<QString>> &ids)
{
    QStringList list;
    for (const std::optional<QString> &id : ids)
        list << id.value_or(NotFetched);
    return list;
}

QSet<QString> treeBelow(const QString &root)
{
    QSet<QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.insert(QDir(root).relativeFilePath(it.next()));
    return entries;
}

void cutRow(const char *name, const QString &a, const QString &b, const QString &c, bool d, bool e,
            const std::optional<QString> &expected)
{
    QTest::newRow(name) << a << b << c << d << e << expected.has_value() << expected.value_or(QString());
}

void stringColumns()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
}

} // namespace

class TestTextCutting : public QObject
{
    Q_OBJECT
private slots:
    void split2Cuts_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("c");
        QTest::addColumn<bool>("d");
        QTest::addColumn<bool>("e");
        QTest::addColumn<bool>("hasValue");
        QTest::addColumn<QString>("expected");

        const QString kv = u"k=[v];"_s, none;
        cutRow("between markers", kv, u"["_s, u"]"_s, false, false, u"v"_s);
        cutRow("keep start marker", kv, u"["_s, u"]"_s, true, false, u"[v"_s);
        cutRow("append end marker", kv, u"["_s, u"]"_s, false, true, u"v]"_s);
        cutRow("keep both markers", kv, u"["_s, u"]"_s, true, true, u"[v]"_s);
        cutRow("empty end takes rest", kv, u"["_s, none, false, false, u"v];"_s);
        cutRow("empty end keeps start", kv, u"["_s, none, true, false, u"[v];"_s);
        cutRow("empty end ignores append", kv, u"["_s, none, false, true, u"v];"_s);
        cutRow("absent start counts from text start", kv, u"#"_s, u"]"_s, false, false, u"k=[v"_s);
        cutRow("absent long start shifts by its length", kv, u"##"_s, u"]"_s, false, false, u"=[v"_s);
        cutRow("absent start, empty end gives whole text", kv, u"#"_s, none, false, false, kv);
        cutRow("absent start kept", kv, u"#"_s, u"]"_s, true, false, std::nullopt);
        cutRow("absent start kept, empty end", kv, u"#"_s, none, true, false, std::nullopt);
        cutRow("end missing", u"k=[v"_s, u"["_s, u"]"_s, false, false, std::nullopt);
        cutRow("end only before start", u"]k=[v"_s, u"["_s, u"]"_s, false, false, std::nullopt);
        cutRow("start at the very end", u"ab["_s, u"["_s, u"]"_s, false, false, std::nullopt);
        cutRow("start at the very end, empty end", u"ab["_s, u"["_s, none, false, false, QString());
        cutRow("end inside start marker", u"ab]cd"_s, u"b]c"_s, u"]"_s, false, false, std::nullopt);
        cutRow("end inside kept start marker", u"ab]cd"_s, u"b]c"_s, u"]"_s, true, false, u"b"_s);
        cutRow("end inside kept start, appended", u"ab]cd"_s, u"b]c"_s, u"]"_s, true, true, u"b]"_s);
        cutRow("nothing between markers", u"[]"_s, u"["_s, u"]"_s, false, false, QString());
        cutRow("nothing between, end appended", u"[]"_s, u"["_s, u"]"_s, false, true, u"]"_s);
        cutRow("first occurrences only", u"[a][b]"_s, u"["_s, u"]"_s, false, false, u"a"_s);
        cutRow("rest after first start", u"x[a]y[b]z"_s, u"["_s, none, false, false, u"a]y[b]z"_s);
        cutRow("same marker both ends", u"'x'y'"_s, u"'"_s, u"'"_s, false, false, u"x"_s);
        cutRow("long end marker", u"<b>x</b>"_s, u"<b>"_s, u"</b>"_s, false, true, u"x</b>"_s);
        cutRow("empty start, end sought from second char", u"]ab]"_s, none, u"]"_s, false, false, u"]ab"_s);
        cutRow("empty start in empty text", none, none, none, false, false, std::nullopt);
        cutRow("empty text, end marker", none, u"["_s, u"]"_s, false, false, std::nullopt);
        cutRow("empty text, empty end", none, u"["_s, none, false, false, QString());
        // The marker starts at 13 and the title's closing '<' is at 37.
        cutRow("album title", u"<div class=\"aghl_big aghl_title\">春天的花</div>"_s, u"aghl_big aghl_title\">"_s,
               u"<"_s, false, false, u"春天的花"_s);
    }

    void split2Cuts()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QString, c);
        QFETCH(bool, d);
        QFETCH(bool, e);
        QFETCH(bool, hasValue);
        QFETCH(QString, expected);

        const std::optional<QString> cut = split2(a, b, c, d, e);
        QCOMPARE(cut.has_value(), hasValue);
        if (cut)
            QCOMPARE(*cut, expected);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");

        QTest::newRow("digits before a quote") << u"3\">尾页"_s << 3.0;
        QTest::newRow("leading zeros") << u"00712"_s << 712.0;
        QTest::newRow("minus sign") << u"-7x"_s << -7.0;
        QTest::newRow("decimal") << u"2.5px"_s << 2.5;
        QTest::newRow("second point ends it") << u"1.2.3"_s << 1.2;
        QTest::newRow("no exponent") << u"12e3"_s << 12.0;
        QTest::newRow("letters") << u"abc"_s << 0.0;
        QTest::newRow("empty") << QString() << 0.0;
        QTest::newRow("sign alone") << u"-"_s << 0.0;
        QTest::newRow("sign and point") << u"+."_s << 0.0;
        QTest::newRow("full-width digits") << u"４２"_s << 0.0;
        QTest::newRow("full-width digit ends it") << u"3４"_s << 3.0;
    }

    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(TextScan::leadingNumber(text), expected);
    }

    void listPage_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<double>("passedCount");
        QTest::addColumn<QString>("expectedUrls");
        QTest::addColumn<double>("expectedCount");

        const QString html = u"<html>"_s, one = album(u"1"_s);
        QTest::newRow("empty page keeps count") << QString() << 4.0 << QString() << 4.0;
        QTest::newRow("no album keeps count despite pager") << html + pager(u"37"_s) << 4.0 << QString() << 4.0;
        QTest::newRow("one album without pager") << html + one << 9.0 << urls({u"p/1"_s}) << 1.0;
        QTest::newRow("albums in order with pager")
            << html + album(u"11"_s) + album(u"22"_s) + album(u"33"_s) + pager(u"37"_s) << 1.0
            << urls({u"p/11"_s, u"p/22"_s, u"p/33"_s}) << 37.0;
        QTest::newRow("repeated link stays repeated") << html + one + one << 1.0 << urls({u"p/1"_s, u"p/1"_s}) << 1.0;
        QTest::newRow("second link after one marker ignored")
            << u"<i "_s + AlbumMarker + u" \"/p/1\" \"/p/2\" "_s + AlbumMarker + u" \"/p/3\""_s << 1.0
            << urls({u"p/1"_s, u"p/3"_s}) << 1.0;
        QTest::newRow("link before the marker ignored")
            << u"<a href=\"/p/9\">x</a>"_s + album(u"10"_s) << 1.0 << urls({u"p/10"_s}) << 1.0;
        QTest::newRow("marker at the first character missed")
            << AlbumMarker + u" href=\"/p/1\""_s << 6.0 << QString() << 6.0;
        QTest::newRow("marker without link ends scan after count")
            << html + pager(u"5"_s) + one + u"<b class=\""_s + AlbumMarker + u"\">"_s << 1.0 << urls({u"p/1"_s}) << 5.0;
        QTest::newRow("lone marker without link") << u"<i "_s + AlbumMarker << 8.0 << QString() << 1.0;
        QTest::newRow("unclosed link skipped")
            << html + album(u"0"_s) + u"<a class=\""_s + AlbumMarker + u" href=\"/p/1"_s << 1.0 << urls({u"p/0"_s})
            << 1.0;
        QTest::newRow("count cut to five digits") << one + pager(u"123456"_s) << 1.0 << urls({u"p/1"_s}) << 12345.0;
        QTest::newRow("non-numeric count") << one + pager(u"last"_s) << 3.0 << urls({u"p/1"_s}) << 0.0;
        QTest::newRow("last-page marker near the start")
            << u"<a href=\"?pn=7\">尾页</a>"_s + one << 1.0 << urls({u"p/1"_s}) << 7.0;
        // pn= exactly 20 characters before the marker is still inside the window; one further is not,
        // and then the count is read from position 3 of the page.
        QTest::newRow("pn= at window edge")
            << u"<!42-->"_s + one + u"<a href=\"?pn=5&kw=bbbbbbbbbbbb\">尾页</a>"_s << 1.0 << urls({u"p/1"_s}) << 5.0;
        QTest::newRow("pn= outside window")
            << u"<!42-->"_s + one + u"<a href=\"?pn=5&kw=bbbbbbbbbbbbb\">尾页</a>"_s << 1.0 << urls({u"p/1"_s}) << 42.0;
        // A line break in a link would make extra "albums" of whatever follows it.
        QTest::newRow("line break in link skipped")
            << html + album(u"9201\r\nfile:///etc/passwd"_s) + album(u"2"_s) + pager(u"3"_s) << 1.0 << urls({u"p/2"_s})
            << 3.0;
        QTest::newRow("controls in links skipped")
            << html + album(u"1\t2"_s) + album(u"3\x7f"_s) + album(u"4\u0085"_s) + album(u"5"_s) << 1.0
            << urls({u"p/5"_s}) << 1.0;
        QTest::newRow("only skipped links still read the count")
            << html + album(u"1\n"_s) + pager(u"6"_s) << 1.0 << QString() << 6.0;
    }

    void listPage()
    {
        QFETCH(QString, html);
        QFETCH(double, passedCount);
        QFETCH(QString, expectedUrls);
        QFETCH(double, expectedCount);

        const ListPageScan scan = scanListPage(html, Host, passedCount);
        QCOMPARE(scan.albumUrls, expectedUrls);
        QCOMPARE(scan.pageCount, expectedCount);
    }

    // Pages built to make the scans quadratic in time or memory; the bounds are generous.
    void craftedPagesScanQuickly()
    {
        QString ids = u"<"_s + u";pic_id=x"_s.repeated(1024 * 1024 / 9) + u'"';
        QElapsedTimer clock;
        clock.start();
        const QList<std::optional<QString>> found = scanPictureIds(ids);
        QVERIFY2(clock.elapsed() < 5000, "overlapping identifiers");
        QCOMPARE(found.size(), 1024 * 1024 / 9);
        QVERIFY(std::all_of(found.cbegin(), found.cend() - 1, [](const auto &id) { return !id; }));
        QCOMPARE(found.last(), std::optional(u"x"_s));

        QString list = u"<html>"_s;
        for (int i = 0; i < 100000; ++i)
            list += album(QString::number(i));
        list += pager(u"7"_s);
        clock.restart();
        const ListPageScan scan = scanListPage(list, Host, 1);
        QVERIFY2(clock.elapsed() < 5000, "many album links");
        QCOMPARE(scan.albumUrls.count(u"\r\n"_s), 100000);
        QCOMPARE(scan.pageCount, 7.0);
    }

    void pictureIds_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("album links") << pictureLink(u"abc123"_s) + pictureLink(u"def456"_s)
                                     << QStringList{u"abc123"_s, u"def456"_s};
        QTest::newRow("repeats kept in order")
            << pictureLink(u"a"_s) + pictureLink(u"b"_s) + pictureLink(u"a"_s) << QStringList{u"a"_s, u"b"_s, u"a"_s};
        QTest::newRow("key without semicolon") << u"<a href=\"/photo/p?pic_id=9\">"_s << QStringList();
        QTest::newRow("empty page") << QString() << QStringList();
        QTest::newRow("adjacent one-character ids") << u"x;pic_id=a\";pic_id=b\""_s << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("marker at the first character missed") << u";pic_id=a\";pic_id=b\""_s << QStringList{u"b"_s};
        // ';' cannot stand in the identifier's path segment, so this one is counted but not handed out.
        QTest::newRow("id runs to the first quote") << u"x;pic_id=12&amp;see_lz=1\">"_s << QStringList{NotFetched};
        QTest::newRow("unclosed marker ends scan") << u"x;pic_id=a\";pic_id=b"_s << QStringList{u"a"_s};
        QTest::newRow("quote right after marker") << u"x;pic_id=\"\""_s << QStringList{NotFetched};
        // The quoted run swallows the next marker, which the search from the id's second character
        // still finds.
        QTest::newRow("quoted run restarts inside") << u"x;pic_id=\"y;pic_id=z\""_s << QStringList{NotFetched, u"z"_s};
        QTest::newRow("overlapping ids keep their numbers")
            << u"x"_s + u";pic_id=ab"_s.repeated(3) + u'"' << QStringList{NotFetched, NotFetched, u"ab"_s};
        QTest::newRow("line break") << pictureLink(u"a\r\nb"_s) + pictureLink(u"c"_s)
                                    << QStringList{NotFetched, u"c"_s};
        QTest::newRow("longest id") << pictureLink(QString(1024, u'a')) << QStringList{QString(1024, u'a')};
        QTest::newRow("one character too long")
            << pictureLink(QString(1025, u'a')) + pictureLink(u"b"_s) << QStringList{NotFetched, u"b"_s};
        QStringList unsafe;
        QString unsafeLinks;
        for (const QChar ch : u" <>;?#/\\\t\x7f\u0085"_s) {
            unsafeLinks += pictureLink(u"a"_s + ch + u"b"_s);
            unsafe << NotFetched;
        }
        QTest::newRow("characters unfit for a path")
            << unsafeLinks + pictureLink(u"%41-_.~"_s) << unsafe + QStringList{u"%41-_.~"_s};
        QTest::newRow("in a script's text: no picture")
            << u"<script>var u = \"/photo/p?kw=x&amp;pic_id=\" + id;</script>"_s + pictureLink(u"a"_s)
            << QStringList{u"a"_s};
        QTest::newRow("in a template: no picture")
            << u"<template x-for=\"id in ids\">"_s + pictureLink(u"t"_s) + u"</template>"_s + pictureLink(u"a"_s)
            << QStringList{u"a"_s};
        QTest::newRow("nested templates") << u"<template><template>"_s + pictureLink(u"t"_s) + u"</template>"_s +
                                                 pictureLink(u"u"_s) + u"</template>"_s + pictureLink(u"a"_s)
                                          << QStringList{u"a"_s};
        QTest::newRow("in bindings: no picture, the bound link is")
            << u"<a :href=\"'/photo/p?kw=x&amp;pic_id=' + id\" href=\"/photo/p?kw=x&amp;pic_id=a\"></a>"
               u"<a x-bind:href=\"u + '&amp;pic_id=' + id\" v-bind:src=\"'x&amp;pic_id='\" "
               u"ng-href=\"/p?&amp;pic_id={{id}}\" data-bind=\"attr: {href: '&amp;pic_id=' + id}\" "
               u"[href]=\"'&amp;pic_id=' + id\" href=\"/photo/p?kw=x&amp;pic_id=b\"></a>"_s
            << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("namespaced attributes are no bindings")
            << u"<svg><a xlink:href=\"/photo/p?kw=x&amp;pic_id=s\"></a></svg>"_s << QStringList{u"s"_s};
        QTest::newRow("a style, a comment and a title's text are read as before")
            << u"<style>.x{}</style><!-- <script> -->"_s + pictureLink(u"a"_s) + u"<title>x;pic_id=t\"</title>"_s
            << QStringList{u"a"_s, u"t"_s};
        QTest::newRow("a script without its end hides the rest")
            << pictureLink(u"a"_s) + u"<script>"_s + pictureLink(u"b"_s) << QStringList{u"a"_s};
        QTest::newRow("surrogate pair kept, lone halves not")
            << pictureLink(Emoji) + pictureLink(u"x\xd800"_s) + pictureLink(u"\xdc00x"_s)
            << QStringList{Emoji, NotFetched, NotFetched};
    }

    void pictureIds()
    {
        QFETCH(QString, html);
        QFETCH(QStringList, expected);
        QCOMPARE(shown(scanPictureIds(html)), expected);
    }

    // Pictures a gallery showed and took away or pointed elsewhere still count, each once, in the
    // order a reader scrolling down meets them where the gallery left them; a page that kept them all keeps today's numbers.
    void picturesShownKeepsEveryState_data()
    {
        QTest::addColumn<QStringList>("links");  // the last markup's
        QTest::addColumn<QStringList>("states"); // id@y, id@y,x, or id@ for one not laid out
        QTest::addColumn<QStringList>("expected");
        const QStringList none;
        QTest::newRow("nothing recorded")
            << QStringList{u"a"_s, u"?"_s, u"b"_s} << none << QStringList{u"a"_s, NotFetched, u"b"_s};
        QTest::newRow("all still there: the last markup's order, repeats and all")
            << QStringList{u"b"_s, u"a"_s, u"b"_s} << QStringList{u"a@10"_s, u"b@20"_s}
            << QStringList{u"b"_s, u"a"_s, u"b"_s};
        QTest::newRow("rows scrolled past went above")
            << QStringList{u"e"_s, u"f"_s} << QStringList{u"a@0"_s, u"b@40"_s, u"c@80"_s, u"d@120"_s, u"e@160"_s}
            << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s};
        QTest::newRow("a pool of rows in the order of its rows, not of its pictures")
            << QStringList{u"f"_s, u"d"_s, u"e"_s}
            << QStringList{u"a@0"_s, u"b@40"_s, u"c@80"_s, u"d@120"_s, u"e@160"_s, u"f@200"_s}
            << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s, u"f"_s};
        QTest::newRow("side by side: by line, then from the left")
            << QStringList{u"a"_s} << QStringList{u"c@50,0"_s, u"b@0,60"_s, u"a@0,0"_s, u"d@50,60"_s}
            << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
        QTest::newRow("where it was last seen laid out")
            << QStringList{u"b"_s} << QStringList{u"b@"_s, u"b@0"_s, u"a@300"_s, u"b@500"_s, u"a@0"_s}
            << QStringList{u"a"_s, u"b"_s};
        QTest::newRow("not laid out: where the one seen before it stood")
            << QStringList{u"b"_s} << QStringList{u"b@90"_s, u"a@10"_s, u"x@"_s} << QStringList{u"a"_s, u"x"_s, u"b"_s};
        QTest::newRow("one the markup alone holds follows the one before it")
            << QStringList{u"a"_s, u"m"_s, u"b"_s} << QStringList{u"b@50"_s, u"a@0"_s, u"gone@100"_s}
            << QStringList{u"a"_s, u"m"_s, u"b"_s, u"gone"_s};
        QTest::newRow("an unusable one is counted once")
            << QStringList{u"a"_s} << QStringList{u"?@0"_s, u"?@0"_s, u"a@20"_s, u"gone@50"_s}
            << QStringList{NotFetched, u"a"_s, u"gone"_s};
        QTest::newRow("a page that froze before its last read")
            << none << QStringList{u"a@0"_s, u"b@40"_s} << QStringList{u"a"_s, u"b"_s};
    }

    void picturesShownKeepsEveryState()
    {
        QFETCH(QStringList, links);
        QFETCH(QStringList, states);
        QFETCH(QStringList, expected);
        const auto link = [](const QString &id) { return id == u"?"_s ? u"x;pic_id=\"\""_s : pictureLink(id); };
        QString markup;
        for (const QString &id : links)
            markup += link(id);
        QList<ShownElement> elements;
        for (const QString &state : states) {
            ShownElement element;
            element.markup = link(state.section(u'@', 0, 0));
            const QString at = state.section(u'@', 1);
            element.placed = !at.isEmpty();
            element.y = at.section(u',', 0, 0).toLongLong();
            element.x = at.section(u',', 1).toLongLong();
            elements << element;
        }
        QCOMPARE(shown(picturesShown(markup, elements)), expected);
    }

    void folderName_data()
    {
        stringColumns();
        QTest::newRow("plain title kept") << u"我的 相册.2024"_s << u"我的 相册.2024"_s;
        QTest::newRow("dot dot") << u".."_s << u"__"_s;
        QTest::newRow("dot") << u"."_s << u"_"_s;
        QTest::newRow("leading dots kept") << u"..x"_s << u"..x"_s;
        QTest::newRow("climbing path") << u"../../x"_s << u".._.._x"_s;
        QTest::newRow("slash") << u"a/b"_s << u"a_b"_s;
        QTest::newRow("backslash") << u"a\\b"_s << u"a_b"_s;
        QTest::newRow("newline and tab") << u"x\ny\tz"_s << u"x_y_z"_s;
        QTest::newRow("delete") << u"x\x7fy"_s << u"x_y"_s;
        QTest::newRow("C1 control") << u"x\u0085y"_s << u"x_y"_s;
        QTest::newRow("embedded NUL") << u"a\0b"_s << u"a_b"_s;
        QTest::newRow("trailing dot and blank") << u"name. "_s << u"name__"_s;
        QTest::newRow("blanks around") << u"  x  "_s << u"  x__"_s;
        QTest::newRow("empty") << QString() << u"_"_s;
        QTest::newRow("ascii cut") << QString(300, u'a') << QString(255, u'a');
        QTest::newRow("chinese cut, three bytes each") << u"图"_s.repeated(300) << u"图"_s.repeated(85);
        QTest::newRow("emoji cut, four bytes each") << Emoji.repeated(200) << Emoji.repeated(63);
        QTest::newRow("emoji filling exactly") << QString(251, u'a') + Emoji << QString(251, u'a') + Emoji;
        QTest::newRow("emoji one byte over") << QString(252, u'a') + Emoji + u"b"_s << QString(252, u'a');
        QTest::newRow("chinese one byte over") << QString(253, u'a') + u"图"_s << QString(253, u'a');
        QTest::newRow("cut leaves a trailing dot") << QString(254, u'a') + u".b"_s << QString(254, u'a') + u'_';
        QTest::newRow("lone surrogates") << u"a"_s + QChar(0xdc00) + u"b"_s + QChar(0xd800) + Emoji + QChar(0xd83d)
                                         << u"a_b_"_s + Emoji + u"_"_s;
        QTest::newRow("many lone surrogates") << QString(200, QChar(0xd800)) << QString(200, u'_');
        QTest::newRow("lone surrogate after pair at the cut")
            << QString(251, u'a') + Emoji + QChar(0xd800) << QString(251, u'a') + Emoji;
    }

    void folderName()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(safeFolderName(input), expected);
    }

    void folderNameStaysInBar_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("dot dot") << u".."_s;
        QTest::newRow("dot") << u"."_s;
        QTest::newRow("climbing path") << u"../../x"_s;
        QTest::newRow("climbing backslashes") << u"..\\..\\x"_s;
        QTest::newRow("slash") << u"a/b"_s;
        QTest::newRow("absolute path") << u"/etc"_s;
        QTest::newRow("newline") << u"x\ny"_s;
        QTest::newRow("long chinese") << u"风景"_s.repeated(150);
        QTest::newRow("many emoji") << Emoji.repeated(200);
        QTest::newRow("trailing dot and blank") << u"name. "_s;
        QTest::newRow("embedded NUL") << u"a\0b"_s;
        QTest::newRow("empty") << QString();
        QTest::newRow("lone surrogates") << QString(200, QChar(0xdc00));
    }

    void folderNameStaysInBar()
    {
        QFETCH(QString, name);
        const QString folder = safeFolderName(name);
        QVERIFY(!folder.isEmpty());
        QVERIFY(!folder.contains(u'/'));
        QVERIFY(folder != u"."_s && folder != u".."_s);
        QVERIFY(QFile::encodeName(folder).size() <= 255);
        QVERIFY(folder.isValidUtf16());

        QTemporaryDir root;
        QVERIFY(root.isValid());
        // Two levels of parents, so that a name climbing out of the bar folder lands where we look.
        const QString bar = root.filePath(u"forum/bar"_s);
        QVERIFY(QDir().mkpath(bar));
        const QSet<QString> before = treeBelow(root.path());
        QVERIFY(QDir(bar).mkdir(folder));
        const QSet<QString> added = treeBelow(root.path()) - before;
        QCOMPARE(QStringList(added.cbegin(), added.cend()), QStringList{u"forum/bar/"_s + folder});
        QCOMPARE(QFileInfo(bar + u'/' + folder).fileName(), folder);
    }

    void albumFolders_data()
    {
        // Each album as "title|id", in job order; the folders they get, in the same order; and
        // what earlier jobs left known, as "folder|album id".
        QTest::addColumn<QStringList>("albums");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("earlier");
        const QString longTitle = u"图"_s.repeated(100);
        QTest::newRow("distinct titles keep their folders")
            << QStringList{u"甲|1"_s, u"乙|2"_s} << QStringList{u"甲"_s, u"乙"_s} << QStringList();
        QTest::newRow("same title") << QStringList{u"甲|1"_s, u"乙|2"_s, u"甲|3"_s, u"甲|4"_s}
                                    << QStringList{u"甲"_s, u"乙"_s, u"甲 (3)"_s, u"甲 (4)"_s} << QStringList();
        QTest::newRow("titles that become one name")
            << QStringList{u"a/b|1"_s, u"a\\b|2"_s, u".|3"_s, u"|4"_s}
            << QStringList{u"a_b"_s, u"a_b (2)"_s, u"_"_s, u" (4)"_s} << QStringList();
        QTest::newRow("case tells folders apart")
            << QStringList{u"Sea|1"_s, u"sea|2"_s} << QStringList{u"Sea"_s, u"sea"_s} << QStringList();
        QTest::newRow("album listed twice, then a third time")
            << QStringList{u"x|7"_s, u"x|7"_s, u"x|7"_s} << QStringList{u"x"_s, u"x (7)"_s, u"x (7, 2)"_s}
            << QStringList();
        QTest::newRow("a title that reads like a renamed one")
            << QStringList{u"x|1"_s, u"x (2)|3"_s, u"x|2"_s} << QStringList{u"x"_s, u"x (2)"_s, u"x (2, 2)"_s}
            << QStringList();
        // 300 bytes of title: the title is cut, never the id that tells the albums apart.
        QTest::newRow("long titles keep the id")
            << QStringList{longTitle + u"|1"_s, longTitle + u"|22"_s}
            << QStringList{u"图"_s.repeated(85), u"图"_s.repeated(83) + u" (22)"_s} << QStringList();
        QTest::newRow("a folder an earlier job gave another album")
            << QStringList{u"甲|1"_s, u"甲|2"_s} << QStringList{u"甲 (1)"_s, u"甲 (2)"_s} << QStringList{u"甲|9"_s};
        QTest::newRow("albums get their folders back, wherever they stand")
            << QStringList{u"甲|2"_s, u"甲|1"_s} << QStringList{u"甲 (2)"_s, u"甲"_s}
            << QStringList{u"甲|1"_s, u"甲 (2)|2"_s};
        QTest::newRow("a folder from an earlier title is not taken back")
            << QStringList{u"新|1"_s, u"旧|2"_s} << QStringList{u"新"_s, u"旧 (2)"_s} << QStringList{u"旧|1"_s};
        QTest::newRow("the numbered name given to another album too")
            << QStringList{u"x|2"_s} << QStringList{u"x (2, 2)"_s} << QStringList{u"x|1"_s, u"x (2)|5"_s};
    }

    void albumFolders()
    {
        QFETCH(QStringList, albums);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, earlier);
        struct Known final : EarlierAlbumFolders
        {
            QHash<QString, QString> owners, folders;
            QString albumOf(const QString &name) const override { return owners.value(name); }
            QString folderOf(const QString &albumId) const override { return folders.value(albumId); }
            qsizetype folderCount() const override { return owners.size(); }
        } known;
        for (const QString &fact : earlier) {
            known.owners.insert(fact.section(u'|', 0, 0), fact.section(u'|', 1));
            known.folders.insert(fact.section(u'|', 1), fact.section(u'|', 0, 0));
        }
        AlbumFolders folders;
        if (!earlier.isEmpty())
            folders.setEarlier(&known);
        QStringList got;
        for (const QString &album : albums)
            got << folders.claim(album.section(u'|', 0, 0), album.section(u'|', 1));
        QCOMPARE(got, expected);
        for (const QString &name : got)
            QVERIFY(name.toUtf8().size() <= 255);
    }

    void titleEntities_data()
    {
        stringColumns();
        QTest::newRow("ampersand") << u"A &amp; B"_s << u"A & B"_s;
        QTest::newRow("angle brackets") << u"&lt;b&gt;"_s << u"<b>"_s;
        QTest::newRow("quotes") << u"&quot;x&quot; &#39;y&#39;"_s << u"\"x\" 'y'"_s;
        QTest::newRow("no-break space") << u"a&nbsp;b"_s << u"a\u00a0b"_s;
        QTest::newRow("no double decoding") << u"&amp;lt;"_s << u"&lt;"_s;
        QTest::newRow("unknown entities kept") << u"&copy;&#40;"_s << u"&copy;&#40;"_s;
        QTest::newRow("upper case kept") << u"&AMP;"_s << u"&AMP;"_s;
        QTest::newRow("no semicolon kept") << u"&amp &lt"_s << u"&amp &lt"_s;
        QTest::newRow("bare ampersands") << u"&&amp;;"_s << u"&&;"_s;
        QTest::newRow("chinese untouched") << u"春天&amp;秋天"_s << u"春天&秋天"_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("lone surrogates") << u"\xd800&amp;\xdc00&lt;x"_s << u"\xd800&\xdc00<x"_s;
        QTest::newRow("entity at the very end") << u"a&nbsp;"_s << u"a\u00a0"_s;
        QTest::newRow("cut-off entity at the end") << u"a&amp"_s << u"a&amp"_s;
    }

    void titleEntities()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(decodeTitleEntities(input), expected);
    }

    void albumId_data()
    {
        stringColumns();
        QTest::newRow("plain") << u"http://h/p/12345"_s << u"12345"_s;
        QTest::newRow("trailing slash") << u"http://h/p/12345/"_s << u"12345"_s;
        QTest::newRow("query") << u"http://h/p/12345?pn=2"_s << u"12345"_s;
        QTest::newRow("fragment") << u"http://h/p/12345#!/l/p1"_s << u"12345"_s;
    }

    void albumId()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(albumIdFromUrl(input), expected);
    }

    void stateFilesStayWholeOrOld_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("failed.txt on a full disk") << u"full failed.txt"_s;
        QTest::newRow("the record's rewrite on a full disk") << u"full record"_s;
        QTest::newRow("a record that is a link") << u"linked record"_s;
        QTest::newRow("a failed.txt that is a link") << u"linked failed.txt"_s;
    }

    // A full disk, played by a file-size limit (the write fails the same way), or a state file
    // that is a link: the old file, or the file linked to, stays as it was.
    void stateFilesStayWholeOrOld()
    {
        QFETCH(QString, kind);
        QTemporaryDir root;
        const QString imageHost = u"pictures.test"_s;
        const QString bar = root.filePath(u"bar"_s);
        QVERIFY(QDir().mkpath(bar + u"/a"_s));
        const QString file = bar + u'/' + (kind.endsWith(u"record"_s) ? ResumeRecord::fileName : FailureFile::name());
        const QString target = root.filePath(u"elsewhere"_s);
        const QByteArray old =
            kind.endsWith(u"record"_s)
                ? QByteArray("a/\t11\na/1.jpg\tp1\t5\na/2.jpg\tp2") // a torn last line, which loading rewrites
                : QByteArray(pictureAddress(imageHost, u"p1"_s).toUtf8() + '\t' + bar.toUtf8() + "/a/1.jpg\n");
        {
            QFile write(kind.startsWith(u"linked"_s) ? target : file);
            QVERIFY(write.open(QIODevice::WriteOnly) && write.write(old) == old.size());
        }
        if (kind.startsWith(u"linked"_s))
            QVERIFY(QFile::link(target, file));
        const QList<FailureFile::Entry> failures = {{pictureAddress(imageHost, u"p2"_s), bar + u"/a/2.jpg"_s, u"p2"_s},
                                                    {pictureAddress(imageHost, u"p3"_s), bar + u"/a/3.jpg"_s, u"p3"_s}};
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = kind.startsWith(u"full"_s) ? 10 : saved.rlim_cur;
        setrlimit(RLIMIT_FSIZE, &small);
        QString problem;
        bool added = true;
        ResumeRecord record(bar);
        if (kind.endsWith(u"record"_s)) {
            const ResumeRecord::Access access = record.open();
            QCOMPARE(access, kind.startsWith(u"full"_s) ? ResumeRecord::Access::Ready : ResumeRecord::Access::Unusable);
            problem = record.problem();
            added = record.add(bar + u"/a/3.jpg"_s, u"p3"_s, 5);
        } else {
            QCOMPARE(FailureFile::read(bar, imageHost).refused, kind.startsWith(u"linked"_s));
            problem = FailureFile::write(bar, failures);
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        QFile kept(kind.startsWith(u"linked"_s) ? target : file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), old);
        if (kind.startsWith(u"full"_s))
            QCOMPARE(problem, QString::fromLocal8Bit(std::strerror(EFBIG)));
        if (kind.endsWith(u"record"_s))
            QVERIFY(!added); // nothing is appended behind a torn line, nor written through a link
        if (kind == u"linked failed.txt") {
            // The link itself is replaced by the new list.
            QVERIFY(problem.isEmpty());
            QVERIFY(!QFileInfo(file).isSymLink());
            const FailureFile::Contents now = FailureFile::read(bar, imageHost);
            QCOMPARE(now.entries.size(), 2);
            QCOMPARE(now.entries.at(1).path, bar + u"/a/3.jpg"_s);
        }
        // No temporary file is left beside it.
        QCOMPARE(QDir(bar).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QFileInfo(file).fileName()});
    }
};

QTEST_GUILESS_MAIN(TestTextCutting)
#include "tst_textcutting.moc"
