#include "tests/recordingwindow.h"
#include "tests/testsupport.h"
#include "tools/forumsim/forumserver.h"

#include "job/harvest.h"
#include "job/jobstate.h"
#include "job/retrycommand.h"

#include <QDir>
#include <QTemporaryDir>

using TestSupport::sorted;

class TestCommands : public QObject
{
    Q_OBJECT

private:
    ForumServer m_server;

    QString url(const QString &id) const { return TestSupport::pictureUrl(m_server.hostAndPort(), id); }

    static QString entries(const QStringList &items)
    {
        QString list;
        for (const QString &item : items)
            list += item + QStringLiteral("\r\n");
        return list;
    }

    // Sorted: pictures side by side go out on network lines of their own, so the order their
    // requests arrive in is not the program's.
    QStringList pictureRequests() const
    {
        QStringList ids;
        for (const ForumRequest &r : m_server.requests())
            ids << QString::fromUtf8(r.target).section(u'/', -1).chopped(4);
        ids.sort();
        return ids;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        QVERIFY(m_server.loadJson(R"({"bars":[{"name":"x","albums":[{"id":"1","pictures":[
            {"id":"gone","status":404},{"id":"flaky","status":500,"once":true},
            {"id":"w1","delayMs":1200},{"id":"w2","delayMs":1200},{"id":"w3","delayMs":1200},{"id":"w4","delayMs":1200},
            {"id":"w5","delayMs":1200},{"id":"w6","delayMs":1200},{"id":"w7","delayMs":1200},{"id":"w8","delayMs":1200}]}]}]})"));
        Settings::setTimings(TestSupport::shortTimings());
        setPagePace(TestSupport::shortPace());
        Hosts::setHosts(m_server.hostAndPort(), m_server.hostAndPort());
    }

    void init() { m_server.clearRequests(); }

    void harvestKeepsTheListsPaired()
    {
        QTemporaryDir program;
        Settings::setProgramFolder(program.path());
        RecordingWindow window;
        window.lists.FailedUrls = entries({QStringLiteral("earlier")});
        window.lists.FailedPaths = entries({QStringLiteral("earlier.jpg")});
        JobState state;
        state.BarFolder = program.path();
        state.AlbumTitle = QStringLiteral("t");
        state.AlbumFolder = program.path() + QStringLiteral("/t");
        // A line break inside an identifier would split its list entry in two; an identifier
        // too long for any real picture is not fetched either.
        state.AlbumHtml = QStringLiteral("<a href=\"?a&amp;pic_id=p1\"><a href=\"?a&amp;pic_id=bad\r\nid\">"
                                         "<a href=\"?a&amp;pic_id=gone\"><a href=\"?a&amp;pic_id=p1\">"
                                         "<a href=\"?a&amp;pic_id=") +
                          QString(1025, u'x') + QStringLiteral("\"><a href=\"?a&amp;pic_id=unclosed");
        harvestAlbum(state, window);
        QCOMPARE(window.log,
                 QStringList({QStringLiteral("第1页,第1张下载成功！"), QStringLiteral("第1页,第2张下载失败！"),
                              QStringLiteral("第1页,第3张下载失败！"), QStringLiteral("第1页,第4张下载成功！"),
                              QStringLiteral("第1页,第5张下载失败！")}));
        QCOMPARE(window.shownLines, QList<int>({1, 2, 3, 4, 5}));
        QCOMPARE(pictureRequests(), sorted({QStringLiteral("p1"), QStringLiteral("gone"), QStringLiteral("p1")}));
        QCOMPARE(window.lists.FailedUrls, entries({QStringLiteral("earlier"), url(QStringLiteral("gone"))}));
        QCOMPARE(window.lists.FailedPaths,
                 entries({QStringLiteral("earlier.jpg"), program.path() + QStringLiteral("/t/3.jpg")}));
        QCOMPARE(TestSupport::filesBelow(program.path()),
                 QStringList({QStringLiteral("cs.txt"), QStringLiteral("t/1.jpg"), QStringLiteral("t/4.jpg")}));
    }

    void timeLimitRunsFromSendingNotFromWaiting()
    {
        // Twice as many slow pictures as run at once: the later ones wait for a slot longer
        // than their own limit, and still have all of it once they are sent.
        QTemporaryDir program;
        Settings::setProgramFolder(program.path());
        RecordingWindow window;
        JobState state;
        state.AlbumFolder = program.path() + QStringLiteral("/t");
        for (int i = 1; i <= 2 * Settings::timings().parallelPictures; ++i)
            state.AlbumHtml += QStringLiteral("<a href=\"?a&amp;pic_id=w%1\">").arg(i);
        QVERIFY(1.2 * 2 > Settings::timings().pictureLimitSeconds);
        harvestAlbum(state, window);
        QVERIFY2(!window.log.join(u'\n').contains(QStringLiteral("失败")), qPrintable(window.log.join(u'\n')));
        QCOMPARE(window.log.size(), 2 * Settings::timings().parallelPictures);
    }

    void albumWithoutPicturesMakesNoFolder()
    {
        QTemporaryDir program;
        Settings::setProgramFolder(program.path());
        RecordingWindow window;
        JobState state;
        state.BarFolder = program.path();
        state.AlbumTitle = QStringLiteral("t");
        state.AlbumFolder = program.path() + QStringLiteral("/t");
        state.AlbumHtml = QStringLiteral("<body>pic_id=x\"</body>");
        harvestAlbum(state, window);
        QVERIFY(window.log.isEmpty());
        QVERIFY(QDir(program.path()).isEmpty());
    }

    void retry_data()
    {
        QTest::addColumn<QStringList>("ids");     // recorded failures, in order
        QTest::addColumn<QStringList>("kept");    // what fails again
        QTest::addColumn<QStringList>("fetched"); // what was asked of the server
        QTest::newRow("nothing recorded") << QStringList() << QStringList() << QStringList();
        QTest::newRow("only the middle one fails again")
            << QStringList({QStringLiteral("a"), QStringLiteral("gone"), QStringLiteral("b")})
            << QStringList({QStringLiteral("gone")})
            << QStringList({QStringLiteral("a"), QStringLiteral("gone"), QStringLiteral("b")});
        QTest::newRow("all recovered") << QStringList({QStringLiteral("a"), QStringLiteral("b")}) << QStringList()
                                       << QStringList({QStringLiteral("a"), QStringLiteral("b")});
    }

    void retry()
    {
        QFETCH(QStringList, ids);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, fetched);
        QTemporaryDir folder;
        auto pathOf = [&](const QString &id) { return folder.filePath(id + QStringLiteral(".jpg")); };
        FailureLists lists;
        for (const QString &id : ids) {
            lists.FailedUrls += url(id) + QStringLiteral("\r\n");
            lists.FailedPaths += pathOf(id) + QStringLiteral("\r\n");
        }
        runRetry(lists);
        QCOMPARE(pictureRequests(), sorted(fetched));
        QStringList keptUrls, keptPaths;
        for (const QString &id : kept) {
            keptUrls << url(id);
            keptPaths << pathOf(id);
        }
        QCOMPARE(lists.FailedUrls, entries(keptUrls));
        QCOMPARE(lists.FailedPaths, entries(keptPaths));
        for (const QString &id : ids)
            QCOMPARE(QFile(pathOf(id)).exists(), !kept.contains(id));
        // A second press retries only what failed in the first.
        m_server.clearRequests();
        runRetry(lists);
        QCOMPARE(pictureRequests(), sorted(kept));
    }

    void retryWithFewerPathsThanUrls()
    {
        FailureLists lists{entries({url(QStringLiteral("a")), url(QStringLiteral("b"))}), entries({QString()})};
        lists.FailedPaths.chop(2);
        runRetry(lists);
        // Without a path to go to, a picture stays recorded; the pairing of the rest is kept.
        QCOMPARE(lists.FailedUrls, entries({url(QStringLiteral("a")), url(QStringLiteral("b"))}));
        QCOMPARE(lists.FailedPaths, entries({QString(), QString()}));
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
