#include "tests/recordingwindow.h"
#include "tests/testsupport.h"
#include "tools/forumsim/forumserver.h"

#include "job/albums/albumfolders.h"
#include "job/jobstate.h"
#include "job/pictures/pictureharvest.h"
#include "job/pictures/picturescan.h"
#include "job/records/barrecords.h"
#include "job/records/failurefile.h"
#include "job/retrycommand.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <optional>

using TestSupport::sorted;
using namespace Qt::StringLiterals;

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
            {"id":"gone","status":404},{"id":"flaky","status":500,"once":true},{"id":"cut","shortLength":1000,"size":20000},
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

    // Runs over one bar folder, each with a keeper of its own as a new process would have, told
    // what the job would tell it. Steps, one run after another:
    //   "ready <album> <folder> <pictures> [cut]"  the album's page settled (cut: not whole)
    //   "saved <n>", "failed <n>", "skipped <n>"   picture n of the album last ready
    //   "retried <folder>/<n>"                     a retry saved it
    //   "end"                                      the run ends
    //   "delete <folder>/<n>", "truncate <folder>/<n>", "rmdir <folder>"   the user, between runs
    // `passedOver`: the albums a later --update run passes over.
    void albumsPassedOver_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("passedOver");
        const QStringList finishedA = {u"ready A t 2"_s, u"saved 1"_s, u"saved 2"_s, u"end"_s};
        QTest::newRow("every picture saved") << finishedA << QStringList{u"A"_s};
        QTest::newRow("a picture failed")
            << QStringList{u"ready A t 2"_s, u"saved 1"_s, u"failed 2"_s, u"end"_s} << QStringList();
        QTest::newRow("a picture failed again, its earlier file still there")
            << finishedA + QStringList{u"ready A t 2"_s, u"saved 1"_s, u"failed 2"_s, u"end"_s} << QStringList();
        QTest::newRow("the failed picture saved by a retry")
            << QStringList{u"ready A t 2"_s, u"saved 1"_s, u"failed 2"_s, u"retried t/2"_s, u"end"_s}
            << QStringList{u"A"_s};
        QTest::newRow("skipped pictures saved before")
            << QStringList{u"ready A t 2"_s, u"saved 1"_s,   u"failed 2"_s, u"end"_s,
                           u"ready A t 2"_s, u"skipped 1"_s, u"saved 2"_s,  u"end"_s}
            << QStringList{u"A"_s};
        QTest::newRow("a page read before it settled")
            << QStringList{u"ready A t 2 cut"_s, u"saved 1"_s, u"saved 2"_s, u"end"_s} << QStringList();
        QTest::newRow("a picture deleted since") << finishedA + QStringList{u"delete t/1"_s} << QStringList();
        QTest::newRow("a picture truncated to 0 bytes since")
            << finishedA + QStringList{u"truncate t/2"_s} << QStringList();
        QTest::newRow("the folder removed since") << finishedA + QStringList{u"rmdir t"_s} << QStringList();
        QTest::newRow("the folder given to another album since")
            << finishedA + QStringList{u"ready B t 2"_s, u"saved 1"_s, u"saved 2"_s, u"end"_s} << QStringList{u"B"_s};
    }

    void albumsPassedOver()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, passedOver);
        for (const BarRecords::FailureFileWrites writes :
             {BarRecords::FailureFileWrites::AtTheEnd, BarRecords::FailureFileWrites::AlbumByAlbum}) {
            QTemporaryDir program;
            const QString bar = program.filePath(u"x吧"_s);
            QVERIFY(QDir().mkdir(bar));
            std::optional<BarRecords> records;
            QString album, folder;
            QHash<QString, QString> albumIn; // by folder
            QSet<QString> albums;
            const auto picture = [&](const QString &where, int number, PictureOutcome::Kind kind, bool retried) {
                PictureOutcome outcome;
                outcome.kind = kind;
                outcome.number = retried ? 0 : number;
                outcome.id = albumIn.value(where) + QString::number(number);
                outcome.url = pictureAddress(outcome.id);
                outcome.path = bar + u'/' + where + u'/' + QString::number(number) + u".jpg"_s;
                if (kind == PictureOutcome::Kind::Saved) {
                    const QByteArray bytes(100 + number, 'j');
                    QVERIFY(TestSupport::putFile(outcome.path, bytes));
                    outcome.bytes = bytes.size();
                }
                records->pictureFinished(outcome);
            };
            for (const QString &step : std::as_const(steps)) {
                const QStringList w = step.split(u' ');
                const bool user = w.at(0) == u"delete" || w.at(0) == u"truncate" || w.at(0) == u"rmdir";
                if (!records && !user && w.at(0) != u"end") {
                    records.emplace(writes);
                    records->earlierAlbumFolders(bar);
                }
                if (w.at(0) == u"ready") {
                    album = w.at(1);
                    folder = w.at(2);
                    albums << album;
                    albumIn.insert(folder, album);
                    QVERIFY(QDir().mkpath(bar + u'/' + folder));
                    AlbumReady ready;
                    ready.id = album;
                    ready.folder = bar + u'/' + folder;
                    for (int n = 1; n <= w.at(3).toInt(); ++n)
                        ready.pictureIds << album + QString::number(n);
                    ready.whole = w.size() < 5;
                    records->albumReady(ready);
                } else if (w.at(0) == u"saved" || w.at(0) == u"failed" || w.at(0) == u"skipped") {
                    picture(folder, w.at(1).toInt(),
                            w.at(0) == u"saved"    ? PictureOutcome::Kind::Saved
                            : w.at(0) == u"failed" ? PictureOutcome::Kind::Failed
                                                   : PictureOutcome::Kind::Skipped,
                            false);
                } else if (w.at(0) == u"retried") {
                    picture(w.at(1).section(u'/', 0, 0), w.at(1).section(u'/', 1).toInt(), PictureOutcome::Kind::Saved,
                            true);
                } else if (w.at(0) == u"end") {
                    records->release();
                    records.reset();
                } else if (w.at(0) == u"delete") {
                    QVERIFY(QFile::remove(bar + u'/' + w.at(1) + u".jpg"_s));
                } else if (w.at(0) == u"truncate") {
                    QVERIFY(QFile::resize(bar + u'/' + w.at(1) + u".jpg"_s, 0));
                } else if (w.at(0) == u"rmdir") {
                    QVERIFY(QDir(bar + u'/' + w.at(1)).removeRecursively());
                } else {
                    QFAIL(qPrintable(u"unknown step: "_s + step));
                }
            }
            QVERIFY(!records); // every run ended
            BarRecords later(writes);
            QCOMPARE(later.open(bar), ResumeRecord::Access::Ready);
            QStringList found;
            for (const QString &id : std::as_const(albums)) {
                if (later.finished(bar, id))
                    found << id;
            }
            found.sort();
            QCOMPARE(found, passedOver);
        }
    }

    // Two runs over one bar folder, each giving its albums ("<title>:<id>", in list order)
    // folders with what the keeper knew of the run before.
    void albumFolderBelongsToOneAlbum_data()
    {
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::addColumn<QStringList>("folders"); // of the second run's albums
        const QStringList both = {u"t:A"_s, u"t:B"_s};
        QTest::newRow("the same list") << both << both << QStringList{u"t"_s, u"t (B)"_s};
        QTest::newRow("the list turned round")
            << both << QStringList{u"t:B"_s, u"t:A"_s} << QStringList{u"t (B)"_s, u"t"_s};
        QTest::newRow("the first album gone from the list") << both << QStringList{u"t:B"_s} << QStringList{u"t (B)"_s};
        QTest::newRow("a new album of the same title first")
            << QStringList{u"t:A"_s} << QStringList{u"t:C"_s, u"t:A"_s} << QStringList{u"t (C)"_s, u"t"_s};
    }

    void albumFolderBelongsToOneAlbum()
    {
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        QFETCH(QStringList, folders);
        QTemporaryDir program;
        const QString bar = program.filePath(u"x吧"_s);
        QVERIFY(QDir().mkdir(bar));
        QStringList given;
        for (const QStringList &albums : {first, second}) {
            BarRecords records(BarRecords::FailureFileWrites::AtTheEnd);
            AlbumFolders claims;
            claims.setEarlier(records.earlierAlbumFolders(bar));
            given.clear();
            for (const QString &album : albums) {
                AlbumReady ready;
                ready.id = album.section(u':', 1);
                ready.folder = bar + u'/' + claims.claim(album.section(u':', 0, 0), ready.id);
                ready.pictureIds << ready.id + u'1';
                QVERIFY(QDir().mkpath(ready.folder));
                records.albumReady(ready);
                given << QFileInfo(ready.folder).fileName();
            }
            records.release();
        }
        QCOMPARE(given, folders);
    }

    // failed.txt from an earlier run, the albums this run came to and the pictures saved since:
    // what is carried into this run's retries, and what failed.txt lists once they are over.
    void failuresCarriedOver_data()
    {
        QTest::addColumn<QStringList>("earlier"); // "<album folder>/<n>" each, or "outside"
        QTest::addColumn<QStringList>("cameTo");  // album folders
        QTest::addColumn<QStringList>("savedSince");
        QTest::addColumn<QStringList>("carried");
        QTest::addColumn<int>("dropped");
        QTest::newRow("nothing failed before")
            << QStringList() << QStringList{u"a"_s} << QStringList() << QStringList() << 0;
        QTest::newRow("an album the run did not come to")
            << QStringList{u"a/1"_s, u"b/1"_s, u"b/3"_s} << QStringList{u"a"_s} << QStringList()
            << QStringList{u"b/1"_s, u"b/3"_s} << 0;
        QTest::newRow("every album come to")
            << QStringList{u"a/1"_s, u"b/1"_s} << QStringList{u"a"_s, u"b"_s} << QStringList() << QStringList() << 0;
        QTest::newRow("saved since") << QStringList{u"b/1"_s, u"b/2"_s} << QStringList() << QStringList{u"b/2"_s}
                                     << QStringList{u"b/1"_s} << 0;
        QTest::newRow("listed twice") << QStringList{u"b/1"_s, u"b/1"_s} << QStringList() << QStringList()
                                      << QStringList{u"b/1"_s} << 0;
        QTest::newRow("a line naming no picture of the bar")
            << QStringList{u"outside"_s, u"b/1"_s} << QStringList() << QStringList() << QStringList{u"b/1"_s} << 1;
    }

    void failuresCarriedOver()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, cameTo);
        QFETCH(QStringList, savedSince);
        QFETCH(QStringList, carried);
        QFETCH(int, dropped);
        QTemporaryDir program;
        const QString bar = program.filePath(u"x吧"_s);
        QVERIFY(QDir().mkdir(bar));
        const auto idOf = [](const QString &picture) -> QString { return QString(picture).remove(u'/'); };
        const auto pathOf = [&](const QString &picture) -> QString { return bar + u'/' + picture + u".jpg"_s; };
        QList<FailureFile::Entry> listed;
        for (const QString &picture : std::as_const(earlier)) {
            const QString path = picture == u"outside" ? program.filePath(u"y.jpg"_s) : pathOf(picture);
            listed.append({pictureAddress(idOf(picture)), path, idOf(picture)});
        }
        QCOMPARE(FailureFile::write(bar, listed), QString());
        BarRecords records(BarRecords::FailureFileWrites::AtTheEnd);
        records.earlierAlbumFolders(bar);
        for (const QString &picture : std::as_const(savedSince)) {
            QVERIFY(QDir().mkpath(QFileInfo(pathOf(picture)).path()));
            QVERIFY(TestSupport::putFile(pathOf(picture), "jpeg"));
            PictureOutcome outcome;
            outcome.kind = PictureOutcome::Kind::Saved;
            outcome.id = idOf(picture);
            outcome.url = pictureAddress(outcome.id);
            outcome.path = pathOf(picture);
            outcome.bytes = 4;
            records.pictureFinished(outcome);
        }
        for (const QString &folder : std::as_const(cameTo)) {
            AlbumReady ready;
            ready.id = folder;
            ready.folder = bar + u'/' + folder;
            records.albumReady(ready);
        }
        FailureLists lists;
        const BarRecords::CarryOver carry = records.carryOver(bar, lists);
        QCOMPARE(carry.carried, carried.size());
        QCOMPARE(carry.dropped, dropped);
        QVERIFY(!carry.refused);
        FailureLists expected;
        for (const QString &picture : std::as_const(carried))
            expected.append(pictureAddress(idOf(picture)), pathOf(picture));
        QCOMPARE(lists.FailedUrls, expected.FailedUrls);
        QCOMPARE(lists.FailedPaths, expected.FailedPaths);
        // The retries saved nothing: failed.txt lists exactly what was carried, or is gone.
        const BarRecords::Report report = records.report(bar, lists);
        QCOMPARE(report.problem, QString());
        QCOMPARE(report.failed.size(), carried.size());
        QCOMPARE(QFileInfo::exists(FailureFile::pathIn(bar)), !carried.isEmpty());
        QStringList now;
        for (const FailureFile::Entry &entry : FailureFile::read(bar).entries)
            now << entry.path;
        QStringList paths;
        for (const QString &picture : std::as_const(carried))
            paths << pathOf(picture);
        QCOMPARE(now, paths);
        records.release();
    }

    // The window's failed.txt, kept up to date album by album: what it lists after the steps
    // ("ready <album folder>", "failed <folder>/<n>", "saved <folder>/<n>"), from what an earlier
    // run left in it. A bar another process keeps is not written.
    void failuresKeptAlbumByAlbum_data()
    {
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QStringList>("listed"); // none: the file is gone
        QTest::newRow("an album come to again drops its old failures")
            << QStringList{u"a/1"_s, u"b/1"_s} << QStringList{u"ready a"_s} << false << QStringList{u"b/1"_s};
        QTest::newRow("a new failure goes behind the old ones")
            << QStringList{u"b/1"_s} << QStringList{u"ready a"_s, u"failed a/2"_s} << false
            << QStringList{u"b/1"_s, u"a/2"_s};
        QTest::newRow("a picture saved since leaves the list")
            << QStringList{u"b/1"_s, u"b/2"_s} << QStringList{u"saved b/1"_s} << false << QStringList{u"b/2"_s};
        QTest::newRow("the last one saved removes the file")
            << QStringList{u"b/1"_s} << QStringList{u"saved b/1"_s} << false << QStringList();
        QTest::newRow("another process keeps the bar")
            << QStringList{u"a/1"_s, u"b/1"_s} << QStringList{u"ready a"_s, u"failed a/2"_s, u"saved b/1"_s} << true
            << QStringList{u"a/1"_s, u"b/1"_s};
    }

    void failuresKeptAlbumByAlbum()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, steps);
        QFETCH(bool, busy);
        QFETCH(QStringList, listed);
        QTemporaryDir program;
        const QString bar = program.filePath(u"x吧"_s);
        QVERIFY(QDir().mkdir(bar));
        const auto idOf = [](const QString &picture) -> QString { return QString(picture).remove(u'/'); };
        const auto pathOf = [&](const QString &picture) -> QString { return bar + u'/' + picture + u".jpg"_s; };
        QList<FailureFile::Entry> entries;
        for (const QString &picture : std::as_const(earlier))
            entries.append({pictureAddress(idOf(picture)), pathOf(picture), idOf(picture)});
        QCOMPARE(FailureFile::write(bar, entries), QString());
        BarRecords other(BarRecords::FailureFileWrites::AlbumByAlbum);
        if (busy)
            QCOMPARE(other.open(bar), ResumeRecord::Access::Ready);
        BarRecords records(BarRecords::FailureFileWrites::AlbumByAlbum);
        QCOMPARE(records.open(bar), busy ? ResumeRecord::Access::Busy : ResumeRecord::Access::Ready);
        for (const QString &step : std::as_const(steps)) {
            const QString what = step.section(u' ', 0, 0);
            const QString picture = step.section(u' ', 1);
            QVERIFY(QDir().mkpath(bar + u'/' + picture.section(u'/', 0, 0)));
            if (what == u"ready") {
                AlbumReady ready;
                ready.id = picture;
                ready.folder = bar + u'/' + picture;
                ready.pictureIds << picture + u'1';
                records.albumReady(ready);
                continue;
            }
            PictureOutcome outcome;
            outcome.kind = what == u"saved" ? PictureOutcome::Kind::Saved : PictureOutcome::Kind::Failed;
            outcome.id = idOf(picture);
            outcome.url = pictureAddress(outcome.id);
            outcome.path = pathOf(picture);
            if (outcome.kind == PictureOutcome::Kind::Saved) {
                QVERIFY(TestSupport::putFile(outcome.path, "jpeg"));
                outcome.bytes = 4;
            }
            records.pictureFinished(outcome);
        }
        records.release();
        QCOMPARE(QFileInfo::exists(FailureFile::pathIn(bar)), !listed.isEmpty());
        QStringList now;
        for (const FailureFile::Entry &entry : FailureFile::read(bar).entries)
            now << entry.path;
        QStringList paths;
        for (const QString &picture : std::as_const(listed))
            paths << pathOf(picture);
        QCOMPARE(now, paths);
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
        // Qt takes a picture shorter than its body for a whole answer; the picture's end tells. Not
        // one whose server closes early: that can make Qt ask again by itself, at a moment the
        // machine's timing decides, and the requests are counted here.
        QTest::newRow("a picture cut short fails again")
            << QStringList({QStringLiteral("a"), QStringLiteral("cut")}) << QStringList({QStringLiteral("cut")})
            << QStringList({QStringLiteral("a"), QStringLiteral("cut")});
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
