#include "forumserver.h"

#include <QEventLoop>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStringDecoder>
#include <QStringBuilder>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

namespace {

const QByteArray Forum = R"({"bars": [
  {"name": "风景", "perPage": 2, "albums": [
    {"id": "1", "title": "A &amp; B", "pictures": ["p1", {"id": "gone", "status": 404, "once": true},
                                                   {"id": "cut", "drop": true}, {"id": "big", "size": 100000}]},
    {"id": "2", "title": "二", "pictures": ["q1"]},
    {"id": "3", "title": "三", "pictures": []}]},
  {"name": "a&b+c 风", "albums": [{"id": "9", "title": "x", "pictures": ["z"]}]}]})";

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
