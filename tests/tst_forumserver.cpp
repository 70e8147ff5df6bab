#include "tools/forumsim/forumserver.h"

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
    {"id": "10", "title": "十", "continueFlood": true, "pictures": ["v1"]}]}]})";

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
        const QList<QPair<QByteArray, QString>> badAlbums{{R"("loader": "debounced")", u"loader"_qs},
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
                                                          {R"("thumbFlood": "elsewhere")", u"thumbFlood"_qs}};
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
