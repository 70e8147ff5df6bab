#include "tools/forumsim/forumserver.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringBuilder>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

namespace {

const QByteArray Forum = R"({"bars": [
  {"name": "风景", "perPage": 2, "albums": [
    {"id": "1", "title": "A &amp; B", "pictures": ["p1", {"id": "gone", "status": 404, "once": true},
                                                   {"id": "cut", "drop": true}, {"id": "big", "size": 100000}]},
    {"id": "2", "title": "二", "pictures": ["q1", {"id": "slow4k", "size": 4000, "rate": 8000},
      {"id": "drip", "trickleMs": 100}, {"id": "interim", "flood": "continue", "floodMs": 300},
      {"id": "heads", "flood": "headers", "floodMs": 300}, {"id": "away", "redirect": "http:\/\/elsewhere.invalid/x.jpg"},
      {"id": "lie", "falseLength": 100}, {"id": "rest", "status": 429, "retryAfter": 7},
      {"id": "restdate", "status": 503, "retryAfter": 7, "retryAfterDate": true},
      {"id": "short", "shortLength": 5000, "size": 20000}, {"id": "cutoff", "cutAt": 5000},
      {"id": "cutpadded", "cutAt": 15000, "size": 20000}, {"id": "png", "format": "png"},
      {"id": "gif", "format": "gif"}, {"id": "webp", "format": "webp", "size": 1000}]},
    {"id": "3", "title": "三", "pictures": []}]},
  {"name": "a&b+c 风", "albums": [{"id": "9", "title": "x", "pictures": ["z"]}]},
  {"name": "新", "albums": [
    {"id": "5", "title": "五", "loader": "debounce", "debounceMs": 200, "batchFrom": "fetch", "delayMs": 200,
     "noise": "longPoll", "pollMs": 300, "pictures": ["r1", "r2", "r3", "r4"]},
    {"id": "6", "title": "六", "loader": "timer", "gapMs": 50, "batchFrom": "xhr", "initial": 1, "batch": 2,
     "pictureHeight": 150, "noise": "beacon", "noiseMs": 100, "pictures": ["s1", "s2", "s3"]},
    {"id": "7", "title": "七", "loader": "nearEnd", "batchFrom": "iframe", "perFrame": 2, "jumpToTop": "always",
     "pictureHeight": 150, "virtualRows": true, "thumbFlood": "t2", "pictures": ["t1", "t2", "t3"]},
    {"id": "8", "title": "八", "loader": "debounce", "debounceMs": 3500, "batchFrom": "worker", "delayMs": 100,
     "delayMaxMs": 400, "jumpToTop": "once", "pictures": ["u1", "u2", "u3"]},
    {"id": "10", "title": "十", "continueFlood": true, "pictures": ["v1"]},
    {"id": "11", "title": "十一", "library": "htmx", "initial": 2, "batch": 2, "delayMs": 200,
     "pictures": ["h1", "h2", "h3", "h4", "h5"]},
    {"id": "12", "title": "十二", "library": "alpine", "thumbs": false, "pictures": ["l1", "l2"]},
    {"id": "13", "title": "十三", "batchFrom": "events", "initial": 1, "batch": 2, "pushEveryMs": 100,
     "eventsEnd": "close", "pictures": ["e1", "e2", "e3", "e4"]},
    {"id": "14", "title": "十四", "batchFrom": "events", "batch": 2, "pushEveryMs": 100, "pictures": ["k1", "k2", "k3"]},
    {"id": "15", "title": "十五", "loader": "frames", "gapFrames": 7, "batchAnimationMs": 300, "freezeAfterMs": 50,
     "navigateTo": "5", "navigateAfterMs": 900, "pictures": ["f1", "f2"]},
    {"id": "16", "title": "十六", "loader": "nearEnd", "batchTransitionMs": 400, "pictures": ["w1"]},
    {"id": "17", "title": "十七", "library": "hyperlist", "pictureHeight": 40, "pictures": ["y1"]}]}]})";

const QByteArray BadFlood =
    R"({"bars": [{"name": "x", "albums": [{"id": "1", "pictures": [{"id": "a", "flood": "x"}]}]}]})";
const QByteArray BadFormat =
    R"({"bars": [{"name": "x", "albums": [{"id": "1", "pictures": [{"id": "a", "format": "bmp"}]}]}]})";
const QByteArray MisspeltRate =
    R"({"pictureRate": 1, "bars": [{"name": "x", "albums": [{"id": "1", "pictures": [{"id": "a", "rates": 1}]}]}]})";

struct Reply
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray contentType;
    QByteArray body;
};

} // namespace

class TestForumServer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_server.loadJson(Forum, &error), qPrintable(error));
        QVERIFY(m_server.listen());
        QVERIFY(!m_server.loadJson("{\"bars\": [{\"name\": \"x\", \"perPage\": 0}]}", &error));
        QVERIFY(error.contains(u"perPage"_qs));
        QVERIFY(!m_server.loadJson(BadFlood, &error));
        QVERIFY(error.contains(u"flood"_qs));
        QVERIFY(!m_server.loadJson(BadFormat, &error));
        QVERIFY(error.contains(u"format"_qs));
        QVERIFY(!m_server.loadJson(MisspeltRate, &error));
        QVERIFY(error.contains(u"rates"_qs));
        // An album's gallery keys: a value that is not one of theirs, or a pace its album does not use.
        const QList<QPair<QByteArray, QString>> badAlbums{
            {R"("loader": "debounced")", u"loader"_qs},
            {R"("batchFrom": "ajax")", u"batchFrom"_qs},
            {R"("noise": "beacons")", u"noise"_qs},
            {R"("loader": "timer", "gapMS": 5)", u"gapMS"_qs},
            {R"("loader": "nearEnd", "gapMs": 5)", u"gapMs"_qs},
            {R"("noise": "beacon", "pollMs": 5)", u"pollMs"_qs},
            {R"("batchFrom": "frame")", u"batchFrom"_qs},
            {R"("jumpToTop": "twice")", u"jumpToTop"_qs},
            {R"("perFrame": 0)", u"perFrame"_qs},
            {R"("delayMs": 500, "delayMaxMs": 400)", u"delayMaxMs"_qs},
            {R"("virtualRows": true)", u"virtualRows"_qs},
            {R"("thumbFlood": "elsewhere")", u"thumbFlood"_qs},
            {R"("library": "react")", u"library"_qs},
            {R"("thumbs": false)", u"thumbs"_qs},
            {R"("library": "htmx", "loader": "nearEnd")", u"loader"_qs},
            {R"("library": "masonry", "batchFrom": "xhr")", u"batchFrom"_qs},
            {R"("library": "alpine", "freezeAfterMs": 5)", u"freezeAfterMs"_qs},
            {R"("library": "recycle", "ticking": true)", u"ticking"_qs},
            {R"("gapFrames": 5)", u"gapFrames"_qs},
            {R"("pushEveryMs": 5)", u"pushEveryMs"_qs},
            {R"("batchFrom": "events", "eventsEnd": "never")", u"eventsEnd"_qs},
            {R"("batchFrom": "events", "loader": "timer")", u"loader"_qs},
            {R"("batchAnimationMs": 5, "batchTransitionMs": 5)", u"batchTransitionMs"_qs},
            {R"("batchAnimationMs": 5, "perFrame": 2)", u"perFrame"_qs},
            {R"("navigateTo": "1")", u"navigateTo"_qs},
            {R"("navigateTo": "2")", u"navigateTo"_qs},
            {R"("navigateAfterMs": 5)", u"navigateAfterMs"_qs},
            {R"("freezeAfterMs": -1)", u"freezeAfterMs"_qs},
            {R"("batchAnimatonMs": 5)", u"batchAnimatonMs"_qs}};
        for (const auto &[keys, word] : badAlbums) {
            QVERIFY(!m_server.loadJson(R"({"bars": [{"name": "x", "albums": [{"id": "1", )" + keys + "}]}]}", &error));
            QVERIFY2(error.contains(word), qPrintable(error));
        }
    }

    void listPage_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("albums");
        QTest::addColumn<QString>("firstLink");
        QTest::addColumn<bool>("lastPageLink");
        const QString kw = u"kw=%E9%A3%8E%E6%99%AF"_qs;
        QTest::newRow("page 1") << kw % u"&pn=1"_qs << 2 << u"/p/1"_qs << true;
        QTest::newRow("page 2") << kw % u"&pn=2"_qs << 1 << u"/p/3"_qs << false;
        QTest::newRow("no pn") << kw << 2 << u"/p/1"_qs << true;
        QTest::newRow("out of range") << kw % u"&pn=3"_qs << 0 << QString() << false;
        QTest::newRow("unknown bar") << u"kw=%E6%B2%A1&pn=1"_qs << 0 << QString() << false;
        QTest::newRow("& + blank") << u"kw=a%26b%2Bc%20%E9%A3%8E&pn=1"_qs << 1 << u"/p/9"_qs << false;
    }

    void listPage()
    {
        QFETCH(QString, query);
        const Reply reply = fetch(u"/photo/g?"_qs % query);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.contentType, QByteArray("text/html; charset=GBK"));
        const QString html = QStringDecoder("GBK").decode(reply.body);
        QVERIFY(html.contains(u"<meta charset=\"gbk\">"_qs));
        const QString marker = u"grbm_ele_a grbm_ele_big"_qs;
        QTEST(int(html.count(marker)), "albums");
        const qsizetype link = html.indexOf(u"\"/p/"_qs, html.indexOf(marker)) + 1;
        QTEST(link > 0 ? html.mid(link, html.indexOf(u'"', link) - link) : QString(), "firstLink");
        QTEST(html.contains(u"&amp;pn=2\">尾页</a>"_qs), "lastPageLink");
    }

    void albumPage()
    {
        const Reply reply = fetch(u"/p/1?see_lz=1"_qs);
        QCOMPARE(reply.status, 200);
        const QString html = QStringDecoder("GBK").decode(reply.body);
        QVERIFY(html.contains(u"aghl_big aghl_title\">A &amp; B</div>"_qs));
        QVERIFY(!html.contains(u";pic_id="_qs));
        QVERIFY(html.contains(u"[\"p1\",\"gone\",\"cut\",\"big\"]"_qs));
        QCOMPARE(fetch(u"/p/404"_qs).status, 404);
        // A gallery that asks the server for its batches knows only how many pictures are to come.
        const QString asking = QStringDecoder("GBK").decode(fetch(u"/p/6"_qs).body);
        QVERIFY(asking.contains(u"var album = \"6\", first = 1, total = 2;"_qs));
        QVERIFY(asking.contains(u"new XMLHttpRequest()"_qs));
        QVERIFY(!asking.contains(u"\"s2\""_qs));
        QVERIFY(asking.contains(u"navigator.sendBeacon("_qs));
        QVERIFY(asking.contains(u"var jumps = 0;"_qs));
        // The unusual galleries: which pieces of script each one's keys put in its page.
        const QString framed = QStringDecoder("GBK").decode(fetch(u"/p/7"_qs).body);
        QVERIFY(framed.contains(u"<iframe id=\"ag_frame\" src=\"/p/7/frame\""_qs));
        QVERIFY(framed.contains(u"frame.contentWindow.fetchBatch"_qs));
        QVERIFY(framed.contains(u"requestAnimationFrame(function frame() {\n      got.slice(at, at + 2)"_qs));
        QVERIFY(framed.contains(u"var jumps = Infinity;"_qs));
        QVERIFY(framed.contains(u"<div id=\"ag_gone\"></div>\n<div id=\"ag_list\""_qs));
        QVERIFY(framed.contains(u"new MutationObserver(shed)"_qs));
        QVERIFY(!framed.contains(u"\"t2\""_qs));
        const QString working = QStringDecoder("GBK").decode(fetch(u"/p/8"_qs).body);
        QVERIFY(working.contains(u"new Worker(\"/p/\" + encodeURIComponent(album) + \"/worker.js\")"_qs));
        QVERIFY(working.contains(u"}, 3500);"_qs));
        QVERIFY(working.contains(u"var jumps = 1;"_qs));
        QVERIFY(!working.contains(u"requestAnimationFrame"_qs));
        QVERIFY(!working.contains(u"ag_gone"_qs));
        QVERIFY(!working.contains(u"<iframe"_qs));
        // The library galleries: the library's file, and the pictures as the library shows them.
        const QString rowsPage = QStringDecoder("GBK").decode(fetch(u"/p/11"_qs).body);
        QVERIFY(rowsPage.contains(u"<script src=\"/vendor/htmx.org/htmx.min.js\"></script>"_qs));
        QVERIFY(
            rowsPage.contains(u"&amp;pic_id=h2\" hx-get=\"/p/11/rows?from=2&amp;count=2\" hx-trigger=\"revealed\""_qs));
        QCOMPARE(rowsPage.count(u";pic_id="_qs), 2);
        const QString bound = QStringDecoder("GBK").decode(fetch(u"/p/12"_qs).body);
        QVERIFY(bound.contains(u"<template x-for=\"(id, index) in ids\""_qs));
        QVERIFY(bound.contains(u"'&amp;pic_id=' + encodeURIComponent(id)\">"_qs));
        QVERIFY(bound.contains(u"<span x-text="_qs));
        QVERIFY(bound.contains(u"thumbs = false, ids = [\"l1\",\"l2\"]"_qs));
        QVERIFY(bound.contains(u"<script defer src=\"/vendor/alpinejs/cdn.min.js\"></script>"_qs));
        const QString listed = QStringDecoder("GBK").decode(fetch(u"/p/17"_qs).body);
        QVERIFY(listed.contains(u"<script src=\"/vendor/hyperlist/hyperlist.js\"></script>"_qs));
        QVERIFY(listed.contains(u"height = 40;"_qs));
        QVERIFY(!listed.contains(u"12000px"_qs));
        // The pages that fool a pace.
        const QString pushed = QStringDecoder("GBK").decode(fetch(u"/p/13"_qs).body);
        QVERIFY(pushed.contains(u"new EventSource(\"/p/\" + encodeURIComponent(album) + \"/events\")"_qs));
        QVERIFY(pushed.contains(u"var album = \"13\", first = 1, total = 3;"_qs));
        QVERIFY(!pushed.contains(u"addEventListener(\"scroll\""_qs));
        QVERIFY(!pushed.contains(u"12000px"_qs));
        const QString blind = QStringDecoder("GBK").decode(fetch(u"/p/15"_qs).body);
        QVERIFY(blind.contains(u"if (++frames < 7)"_qs));
        QVERIFY(blind.contains(u"#ag_cue.ag_run{animation:ag_cue 300ms linear}"_qs));
        QVERIFY(blind.contains(u"cue.addEventListener(\"animationend\""_qs));
        QVERIFY(blind.contains(u"querySelectorAll(\"a.ag_ele_a\").length < 2)"_qs));
        QVERIFY(blind.contains(u"for (;;) {"_qs));
        QVERIFY(blind.contains(u"}, 50);"_qs));
        QVERIFY(blind.contains(u"location.href = \"/p/\" + encodeURIComponent(\"5\");\n}, 900);"_qs));
        QVERIFY(!blind.contains(u"setTimeout(function () { grow(later); }"_qs));
        const QString flipping = QStringDecoder("GBK").decode(fetch(u"/p/16"_qs).body);
        QVERIFY(flipping.contains(u"transition:width 400ms linear"_qs));
        QVERIFY(flipping.contains(u"cue.addEventListener(\"transitionend\""_qs));
        QVERIFY(!flipping.contains(u"for (;;)"_qs));
        QVERIFY(!flipping.contains(u"location.href"_qs));
    }

    // Each vendored library file is served as it is in the package it came from.
    void vendorFiles_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("sha256"); // empty: not served
        const QByteArray js = "text/javascript; charset=utf-8";
        QTest::newRow("alpinejs") << u"alpinejs/cdn.min.js"_qs << js
                                  << QByteArray("b600e363d99d95444db54acbfb2deffec9ae792aa99a09229bcda078e5b55643");
        QTest::newRow("clusterize.js") << u"clusterize.js/clusterize.min.js"_qs << js
                                       << QByteArray(
                                              "e0106ab7084c796f1076b70a875ca38a9ea7720470fe6b74d78f9c0e8cd40870");
        QTest::newRow("htmx.org") << u"htmx.org/htmx.min.js"_qs << js
                                  << QByteArray("e209dda5c8235479f3166defc7750e1dbcd5a5c1808b7792fc2e6733768fb447");
        QTest::newRow("hyperlist") << u"hyperlist/hyperlist.js"_qs << js
                                   << QByteArray("95801eca60d3ac51da66e9b0068a0006eaa84df131984a0fdeb7fb5fc9e10e11");
        QTest::newRow("imagesloaded") << u"imagesloaded/imagesloaded.pkgd.min.js"_qs << js
                                      << QByteArray("86dacb15f649eafe6e74e1bede434b20d20a87682fa0aab01211d87d34cc2027");
        QTest::newRow("@egjs/infinitegrid")
            << u"infinitegrid/infinitegrid.min.js"_qs << js
            << QByteArray("86fdd186309a46d52b0149f235e766c166a5dcd81d4e5b59281a12fef7f8dd1b");
        QTest::newRow("lit-virtualizer, a module")
            << u"lit-virtualizer/lit-virtualizer.js"_qs << js
            << QByteArray("228cf9e84de0cf76fe195a216bd5f4bf043b4b1a299fcfa8a11040a055b5ac81");
        QTest::newRow("a module in a package's folder")
            << u"lit-virtualizer/layouts/shared/SizeCache.js"_qs << js
            << QByteArray("681e6e71225eb0df46de878eef8baabd423b9058b3c1355676a9d7d755b5f2ae");
        QTest::newRow("tslib") << u"tslib/tslib.es6.js"_qs << js
                               << QByteArray("41e3426dec3004b8d683fe1ed78ea82c3504f6426d0b705f62811b918298d865");
        QTest::newRow("masonry-layout") << u"masonry-layout/masonry.pkgd.min.js"_qs << js
                                        << QByteArray(
                                               "367d6afdfc741fb48d2d9310e47c3924b693459a74c882c0fc545ec5ed7d55d2");
        QTest::newRow("vue") << u"vue/vue.global.prod.js"_qs << js
                             << QByteArray("c459ba7cc8db65c982589fa5d64c7ff478877e8e5b0fd75683207cec6a4e89e8");
        QTest::newRow("vue-virtual-scroller")
            << u"vue-virtual-scroller/vue-virtual-scroller.min.js"_qs << js
            << QByteArray("7e836cde5a6dc977ee2093523d5d17265c816b12095e91bbc46202060272d838");
        QTest::newRow("vue-virtual-scroller's styles")
            << u"vue-virtual-scroller/vue-virtual-scroller.css"_qs << QByteArray("text/css; charset=utf-8")
            << QByteArray("b315b2e031eede603430e4dab4f9d213a9d9824117b957bd547618e10bf4b02e");
        QTest::newRow("a licence") << u"htmx.org/LICENSE"_qs << QByteArray() << QByteArray();
        QTest::newRow("a package") << u"htmx.org"_qs << QByteArray() << QByteArray();
        QTest::newRow("a package's folder") << u"htmx.org/"_qs << QByteArray() << QByteArray();
        QTest::newRow("a folder's way out") << u"lit/../htmx.org/htmx.min.js"_qs << QByteArray() << QByteArray();
        QTest::newRow("an empty folder") << u"lit//index.js"_qs << QByteArray() << QByteArray();
        QTest::newRow("a folder") << u"lit-virtualizer/layouts"_qs << QByteArray() << QByteArray();
        QTest::newRow("up and back") << u"htmx.org/../htmx.org/htmx.min.js"_qs << QByteArray() << QByteArray();
        QTest::newRow("an unknown package") << u"react/react.js"_qs << QByteArray() << QByteArray();
    }

    void vendorFiles()
    {
        QFETCH(QString, path);
        QFETCH(QByteArray, sha256);
        // A raw request, so that no client tidies the path on the way.
        QTcpSocket socket;
        QByteArray received;
        connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, m_server.port());
        socket.write("GET /vendor/" + path.toUtf8() + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        const qsizetype bodyAt = received.indexOf("\r\n\r\n") + 4;
        QVERIFY(bodyAt >= 4);
        const QByteArray head = received.left(bodyAt);
        if (sha256.isEmpty()) {
            QVERIFY2(head.startsWith("HTTP/1.1 404 "), head.constData());
            return;
        }
        QVERIFY2(head.startsWith("HTTP/1.1 200 "), head.constData());
        QFETCH(QByteArray, contentType);
        QVERIFY(head.contains(QByteArray("\r\nContent-Type: " + contentType + "\r\n")));
        QCOMPARE(QCryptographicHash::hash(received.mid(bodyAt), QCryptographicHash::Sha256).toHex(), sha256);
    }

    // An event stream's batches, a piece every pushEveryMs; one that ends closes, one that does not
    // stays open; a stream opened again goes on after the last event it had, and one that has sent
    // everything and ends is refused with 204, so that the browser stops asking.
    void eventStreams_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("needle"); // the last piece the stream sends
        QTest::addColumn<int>("notBeforeMs");
        QTest::addColumn<bool>("closes");
        QTest::newRow("ends") << QByteArray("GET /p/13/events HTTP/1.1\r\n")
                              << QByteArray("\r\n\r\nid: 1\ndata: [\"e2\",\"e3\"]\n\nid: 2\ndata: [\"e4\"]\n\n") << 200
                              << true;
        QTest::newRow("stays open") << QByteArray("GET /p/14/events HTTP/1.1\r\n")
                                    << QByteArray("id: 1\ndata: [\"k1\",\"k2\"]\n\nid: 2\ndata: [\"k3\"]\n\n") << 200
                                    << false;
        QTest::newRow("goes on") << QByteArray("GET /p/13/events HTTP/1.1\r\nLast-Event-ID: 1\r\n")
                                 << QByteArray("\r\n\r\nid: 2\ndata: [\"e4\"]\n\n") << 100 << true;
        QTest::newRow("all sent, ends") << QByteArray("GET /p/13/events HTTP/1.1\r\nLast-Event-ID: 2\r\n")
                                        << QByteArray("HTTP/1.1 204 No Content\r\n") << 0 << false;
        QTest::newRow("all sent, stays open")
            << QByteArray("GET /p/14/events HTTP/1.1\r\nLast-Event-ID: 2\r\n")
            << QByteArray("Content-Type: text/event-stream; charset=utf-8\r\n") << 0 << false;
        QTest::newRow("not an events album")
            << QByteArray("GET /p/5/events HTTP/1.1\r\n") << QByteArray("HTTP/1.1 404 Not Found\r\n") << 0 << false;
    }

    void eventStreams()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, needle);
        QFETCH(int, notBeforeMs);
        QFETCH(bool, closes);
        QTcpSocket socket;
        QByteArray received;
        connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
        QElapsedTimer clock;
        clock.start();
        socket.connectToHost(QHostAddress::LocalHost, m_server.port());
        socket.write(request + "Host: x\r\n\r\n");
        QTRY_VERIFY(received.contains(needle));
        QVERIFY(clock.elapsed() >= notBeforeMs);
        // A stream has no length: it ends with its connection.
        const bool stream = received.contains("\r\nContent-Type: text/event-stream");
        if (stream)
            QVERIFY(!received.contains("\r\nContent-Length: "));
        if (closes) {
            QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
            QVERIFY(received.endsWith(needle));
        } else if (stream) {
            // Nothing more comes, and the server does not hang up.
            const QByteArray sofar = received;
            QTest::qWait(300);
            QCOMPARE(socket.state(), QAbstractSocket::ConnectedState);
            QCOMPARE(received, sofar);
        }
    }

    void pictures()
    {
        for (const QString &id : {u"p1"_qs, u"big"_qs, u"undeclared"_qs}) {
            const Reply reply = fetch(u"/forum/pic/item/"_qs % id % u".jpg"_qs);
            QCOMPARE(reply.contentType, QByteArray("image/jpeg"));
            QCOMPARE(reply.body, m_server.pictureBytes(id));
            QVERIFY(!QImage::fromData(reply.body, "JPEG").isNull());
        }
        QCOMPARE(m_server.pictureBytes(u"big"_qs).size(), 100000);
        QVERIFY(m_server.pictureBytes(u"p1"_qs) != m_server.pictureBytes(u"q1"_qs));
    }

    // Pictures in the other formats: real ones, each carrying its id.
    void pictureFormats_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QSize>("size"); // that Qt reads; empty: Qt reads no such pictures
        QTest::newRow("PNG") << u"png"_qs << QByteArray("image/png") << QSize(320, 240);
        QTest::newRow("GIF") << u"gif"_qs << QByteArray("image/gif") << QSize(32, 24);
        QTest::newRow("WebP") << u"webp"_qs << QByteArray("image/webp") << QSize();
    }

    void pictureFormats()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, contentType);
        QFETCH(QSize, size);
        const Reply reply = fetch(u"/forum/pic/item/"_qs % id % u".jpg"_qs);
        QCOMPARE(reply.contentType, contentType);
        QCOMPARE(reply.body, m_server.pictureBytes(id));
        QVERIFY(reply.body.contains(QByteArray("forumsim picture " + id.toUtf8())));
        if (size.isValid()) {
            const QImage image = QImage::fromData(reply.body);
            QCOMPARE(image.size(), size);
            // Every row decodes, down to the last: the GIF's four colours all show in its bands.
            QSet<QRgb> lastRow;
            for (int x = 0; x < image.width(); ++x)
                lastRow.insert(image.pixel(x, image.height() - 1));
            QVERIFY(lastRow.size() >= (id == u"gif" ? 4 : 2));
        } else {
            // The RIFF length tells where the picture ends; the zeros of its size follow.
            QVERIFY(reply.body.startsWith("RIFF") && reply.body.mid(8, 4) == "WEBP");
            const QByteArray length = reply.body.mid(4, 4);
            const int riffEnd = 8 + (quint8(length[0]) | quint8(length[1]) << 8 | quint8(length[2]) << 16);
            QVERIFY(riffEnd < 1000 && reply.body.size() == 1000);
            QVERIFY(reply.body.mid(riffEnd).count('\0') == 1000 - riffEnd);
        }
    }

    // Answers cut short: Qt takes both for whole pictures, with the bytes that came.
    void cutPicturesLookWholeToQt_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<int>("bytes");
        QTest::newRow("a length shorter than the body") << u"short"_qs << 5000;
        QTest::newRow("closed after some bytes, without a length") << u"cutoff"_qs << 5000;
        QTest::newRow("closed inside the padding") << u"cutpadded"_qs << 15000;
    }

    void cutPicturesLookWholeToQt()
    {
        QFETCH(QString, id);
        QFETCH(int, bytes);
        QVERIFY(m_server.pictureBytes(id).size() > bytes);
        const Reply reply = fetch(u"/forum/pic/item/"_qs % id % u".jpg"_qs);
        QCOMPARE(reply.status, 200);
        QCOMPARE(reply.error, QNetworkReply::NoError);
        QCOMPARE(reply.body, m_server.pictureBytes(id).left(bytes));
    }

    void onceFaultRecovers()
    {
        QCOMPARE(fetch(u"/forum/pic/thumb/gone.jpg"_qs).status, 200);
        QCOMPARE(fetch(u"/forum/pic/item/gone.jpg"_qs).status, 404);
        const Reply retry = fetch(u"/forum/pic/item/gone.jpg"_qs);
        QCOMPARE(retry.status, 200);
        QCOMPARE(retry.body, m_server.pictureBytes(u"gone"_qs));
    }

    void droppedConnectionFails()
    {
        m_server.clearRequests();
        const Reply reply = fetch(u"/forum/pic/item/cut.jpg"_qs);
        QVERIFY(reply.error != QNetworkReply::NoError);
        QCOMPARE(m_server.requests().size(), 1);
        QCOMPARE(m_server.requests().first().target, QByteArray("/forum/pic/item/cut.jpg"));
    }

    void keepAliveAndPieces()
    {
        m_server.clearRequests();
        QTcpSocket socket;
        QByteArray received;
        connect(&socket, &QTcpSocket::readyRead, this, [&] { received += socket.readAll(); });
        socket.connectToHost(QHostAddress::LocalHost, m_server.port());
        socket.write("GET /forum/pic/item/k1.jpg HTTP/1.1\r\nHo");
        QTest::qWait(20);
        socket.write("st: x\r\nX-Test: 1\r\n\r\nGET /forum/pic/thumb/k2.jpg HTTP/1.1\r\nConnection: close\r\n\r\n");
        QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(received.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(received.contains(QByteArray(m_server.pictureBytes(u"k1"_qs) + "HTTP/1.1 200 OK\r\n")));
        QVERIFY(received.endsWith(QByteArray("\r\n\r\n" % m_server.pictureBytes(u"k2"_qs))));
        QCOMPARE(m_server.requests().size(), 2);
        QCOMPARE(m_server.requests().first().headers.value("x-test"), QByteArray("1"));
    }

    // The raw answers of the misbehaving pictures, and of the requests album pages make besides
    // their pictures, as a client's socket sees them.
    void pictureFaults_data()
    {
        QTest::addColumn<QString>("id");        // a picture id, or a request's method and target
        QTest::addColumn<QByteArray>("needle"); // empty: the whole picture, at the end
        QTest::addColumn<int>("notBeforeMs");   // the needle cannot have come sooner
        QTest::addColumn<bool>("closes");
        QTest::newRow("paced") << u"slow4k"_qs << QByteArray() << 450 << false;
        QTest::newRow("trickle") << u"drip"_qs << QByteArray("\r\n\r\n" + m_server.pictureBytes(u"drip"_qs).left(3))
                                 << 250 << false;
        QTest::newRow("interim answers without end")
            << u"interim"_qs << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\n\r\n") << 0 << true;
        QTest::newRow("headers without end") << u"heads"_qs << QByteArray("HTTP/1.1 200 OK\r\nX-Filler: ") << 0 << true;
        QTest::newRow("redirect") << u"away"_qs << QByteArray("HTTP/1.1 302 Found\r\n") << 0 << false;
        QTest::newRow("redirect's address")
            << u"away"_qs << QByteArray("\r\nLocation: http://elsewhere.invalid/x.jpg\r\n") << 0 << false;
        QTest::newRow("a rest asked for") << u"rest"_qs << QByteArray("\r\nRetry-After: 7\r\n") << 0 << false;
        QTest::newRow("a rest asked for until a date") << u"restdate"_qs << QByteArray(" GMT\r\n") << 0 << false;
        QTest::newRow("conflicting lengths")
            << u"lie"_qs
            << QByteArray("\r\nContent-Length: 100\r\nContent-Length: " +
                          QByteArray::number(m_server.pictureBytes(u"lie"_qs).size()) + "\r\n")
            << 0 << false;
        QTest::newRow("a length shorter than the body")
            << u"short"_qs << QByteArray("\r\nContent-Length: 5000\r\nConnection: keep-alive\r\n") << 0 << false;
        QTest::newRow("the whole body behind the short length") << u"short"_qs << QByteArray() << 0 << false;
        QTest::newRow("cut short without a length")
            << u"cutoff"_qs
            << QByteArray("Content-Type: image/jpeg\r\nConnection: close\r\nServer: forumsim\r\n\r\n" +
                          m_server.pictureBytes(u"cutoff"_qs).left(5000))
            << 0 << true;
        QTest::newRow("a batch asked of the server")
            << u"GET /p/5/batch?from=1&count=2"_qs << QByteArray("\r\n\r\n[\"r2\",\"r3\"]") << 200 << false;
        QTest::newRow("the last batch") << u"GET /p/5/batch?from=3&count=5"_qs << QByteArray("\r\n\r\n[\"r4\"]") << 200
                                        << false;
        QTest::newRow("a batch of an unknown album")
            << u"GET /p/88/batch?from=0&count=1"_qs << QByteArray("HTTP/1.1 404 Not Found\r\n") << 0 << false;
        QTest::newRow("beacon") << u"GET /beacon"_qs << QByteArray("HTTP/1.1 204 No Content\r\n") << 0 << false;
        QTest::newRow("sendBeacon") << u"POST /beacon"_qs << QByteArray("HTTP/1.1 204 No Content\r\n") << 0 << false;
        // from 2 of album 8: 100 ms and 2 × 7919 mod 301 of its 300 ms spread.
        QTest::newRow("a batch in its spread")
            << u"GET /p/8/batch?from=2&count=5"_qs << QByteArray("\r\n\r\n[\"u3\"]") << 286 << false;
        QTest::newRow("an iframe loader's frame")
            << u"GET /p/7/frame"_qs << QByteArray("window.fetchBatch = function (address, done)") << 0 << false;
        QTest::newRow("a worker loader's script")
            << u"GET /p/8/worker.js"_qs << QByteArray("\r\n\r\nonmessage = function (message)") << 0 << false;
        QTest::newRow("no frame for another loader")
            << u"GET /p/8/frame"_qs << QByteArray("HTTP/1.1 404 Not Found\r\n") << 0 << false;
        QTest::newRow("a flooding thumbnail")
            << u"GET /forum/pic/thumb/t2.jpg"_qs
            << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue") << 0
            << false;
        QTest::newRow("the flooding thumbnail's picture") << u"t2"_qs << QByteArray() << 0 << false;
        QTest::newRow("a flooding album page")
            << u"GET /p/10"_qs << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue") << 0 << false;
        QTest::newRow("rows asked of the server")
            << u"GET /p/11/rows?from=2&count=2"_qs
            << QByteArray("&amp;pic_id=h4\" hx-get=\"/p/11/rows?from=4&amp;count=2\" hx-trigger=\"revealed\" "
                          "hx-swap=\"afterend\"><img src=\"/forum/pic/thumb/h4.jpg\"")
            << 200 << false;
        QTest::newRow("the last rows") << u"GET /p/11/rows?from=4&count=2"_qs
                                       << QByteArray(
                                              "&amp;pic_id=h5\"><img src=\"/forum/pic/thumb/h5.jpg\" width=\"60\" "
                                              "height=\"46\"></a>\n")
                                       << 200 << false;
        QTest::newRow("rows past the end")
            << u"GET /p/11/rows?from=9&count=2"_qs << QByteArray("Content-Length: 0\r\n") << 0 << false;
        QTest::newRow("rows of no number")
            << u"GET /p/11/rows?from=x&count=2"_qs << QByteArray("HTTP/1.1 400 Bad Request\r\n") << 0 << false;
        QTest::newRow("a long poll held")
            << u"GET /poll?album=5"_qs << QByteArray("HTTP/1.1 204 No Content\r\n") << 300 << false;
    }

    void pictureFaults()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, needle);
        QFETCH(int, notBeforeMs);
        QFETCH(bool, closes);
        QTcpSocket socket;
        QByteArray received;
        // Only the start of a flood is kept.
        connect(&socket, &QTcpSocket::readyRead, this, [&] {
            const QByteArray bytes = socket.readAll();
            if (received.size() < 65536)
                received += bytes;
        });
        QElapsedTimer clock;
        clock.start();
        socket.connectToHost(QHostAddress::LocalHost, m_server.port());
        const QByteArray request = id.contains(u' ') ? id.toUtf8() : "GET /forum/pic/item/" + id.toUtf8() + ".jpg";
        socket.write(request + " HTTP/1.1\r\nHost: x\r\n\r\n");
        if (needle.isEmpty())
            QTRY_VERIFY(received.endsWith(m_server.pictureBytes(id)));
        else
            QTRY_VERIFY(received.contains(needle));
        QVERIFY(clock.elapsed() >= notBeforeMs);
        if (closes)
            QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    }

private:
    Reply fetch(const QString &pathAndQuery)
    {
        const QUrl url(u"http://"_qs % m_server.hostAndPort() % pathAndQuery);
        std::unique_ptr<QNetworkReply> reply(m_manager.get(QNetworkRequest(url)));
        QEventLoop loop;
        connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->error(),
                reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->readAll()};
    }

    ForumServer m_server;
    QNetworkAccessManager m_manager;
};

QTEST_GUILESS_MAIN(TestForumServer)
#include "tst_forumserver.moc"
