#include "tests/fakebrowser.h"
#include "tests/recordingwindow.h"
#include "tests/testsupport.h"
#include "tests/testwaits.h"
#include "tools/forumsim/forumserver.h"

#include "job/albums/albumfolders.h"
#include "job/jobstate.h"
#include "job/pictures/picturescan.h"
#include "job/records/barrecords.h"
#include "job/records/failurefile.h"

#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>

#include <optional>

Q_DECLARE_METATYPE(FakeGallery)

using TestSupport::sorted;
using namespace Qt::StringLiterals;

class TestCommands : public QObject
{
    Q_OBJECT

private:
    ForumServer m_server;
    std::unique_ptr<Engine> m_engine;

    Engine &engine() { return *m_engine; }

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
            {"id":"slow","size":6000,"rate":2000},"after"]}]},
            {"name":"假","albums":[{"id":"91"},{"id":"92","pictures":["m1","m2"]},{"id":"93"}]},
            {"name":"断","albums":[{"id":"81","pictures":[{"id":"cut","shortLength":1000,"size":20000}]}]}]})"));
        m_engine = std::make_unique<Engine>(TestSupport::shortSettings(m_server.hostAndPort()));
    }

    void init() { m_server.clearRequests(); }

    void harvestKeepsTheListsPaired()
    {
        QTemporaryDir program;
        engine().setFolders(TestSupport::programFolder(program.path()));
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
        harvestAlbum(engine(), state, window);
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
        // One picture at a time, the first arriving steadily for longer than the limit: the
        // second waits for its slot past its own limit, and still has all of it once it is sent.
        // Any byte is progress, so only a stall of nearly the whole limit could fail the first.
        const TestSupport::ScopedTimings oneAtATime(engine().network(), [](Timings &t) {
            t.parallelPictures = 1;
            t.progressBytes = 1;
        });
        QTemporaryDir program;
        engine().setFolders(TestSupport::programFolder(program.path()));
        RecordingWindow window;
        JobState state;
        state.AlbumFolder = program.path() + QStringLiteral("/t");
        state.AlbumHtml = QStringLiteral("<a href=\"?a&amp;pic_id=slow\"><a href=\"?a&amp;pic_id=after\">");
        QVERIFY(6000 / 2000 > engine().timings().pictureLimitSeconds);
        harvestAlbum(engine(), state, window);
        QCOMPARE(window.log,
                 QStringList({QStringLiteral("第1页,第1张下载成功！"), QStringLiteral("第1页,第2张下载成功！")}));
    }

    void albumWithoutPicturesMakesNoFolder()
    {
        QTemporaryDir program;
        engine().setFolders(TestSupport::programFolder(program.path()));
        RecordingWindow window;
        JobState state;
        state.BarFolder = program.path();
        state.AlbumTitle = QStringLiteral("t");
        state.AlbumFolder = program.path() + QStringLiteral("/t");
        state.AlbumHtml = QStringLiteral("<body>pic_id=x\"</body>");
        harvestAlbum(engine(), state, window);
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
            outcome.url = pictureAddress(m_server.hostAndPort(), outcome.id);
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
                records.emplace(engine().hosts());
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
        BarRecords later(engine().hosts());
        QCOMPARE(later.open(bar), ResumeRecord::Access::Ready);
        QStringList found;
        for (const QString &id : std::as_const(albums)) {
            if (later.finished(bar, id))
                found << id;
        }
        found.sort();
        QCOMPARE(found, passedOver);
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
            BarRecords records(engine().hosts());
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
        {
            // Another run saved them, though failed.txt, written later, still lists them.
            BarRecords another(engine().hosts());
            another.earlierAlbumFolders(bar);
            for (const QString &picture : std::as_const(savedSince)) {
                QVERIFY(QDir().mkpath(QFileInfo(pathOf(picture)).path()));
                QVERIFY(TestSupport::putFile(pathOf(picture), "jpeg"));
                PictureOutcome outcome;
                outcome.kind = PictureOutcome::Kind::Saved;
                outcome.id = idOf(picture);
                outcome.url = pictureAddress(m_server.hostAndPort(), outcome.id);
                outcome.path = pathOf(picture);
                outcome.bytes = 4;
                another.pictureFinished(outcome);
            }
            another.release();
        }
        QList<FailureFile::Entry> listed;
        for (const QString &picture : std::as_const(earlier)) {
            const QString path = picture == u"outside" ? program.filePath(u"y.jpg"_s) : pathOf(picture);
            listed.append({pictureAddress(m_server.hostAndPort(), idOf(picture)), path, idOf(picture)});
        }
        QCOMPARE(FailureFile::write(bar, listed), QString());
        BarRecords records(engine().hosts());
        records.earlierAlbumFolders(bar);
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
            expected.append(pictureAddress(m_server.hostAndPort(), idOf(picture)), pathOf(picture));
        QCOMPARE(lists.FailedUrls, expected.FailedUrls);
        QCOMPARE(lists.FailedPaths, expected.FailedPaths);
        // The retries saved nothing: failed.txt lists exactly what was carried, or is gone.
        const BarRecords::Failures left = records.failures(bar);
        QCOMPARE(left.problem, QString());
        QCOMPARE(left.failed.size(), carried.size());
        QCOMPARE(QFileInfo::exists(FailureFile::pathIn(bar)), !carried.isEmpty());
        QStringList now;
        for (const FailureFile::Entry &entry : FailureFile::read(bar, m_server.hostAndPort()).entries)
            now << entry.path;
        QStringList paths;
        for (const QString &picture : std::as_const(carried))
            paths << pathOf(picture);
        QCOMPARE(now, paths);
        records.release();
    }

    // failed.txt and album.json as the steps go, from what an earlier run left in failed.txt:
    //   "ready <folder> [<pictures>]"         the album's page settled (1 picture unless said)
    //   "saved|failed|bogus <folder>/<n>"     picture n's outcome (bogus: no usable identifier)
    //   "retried|refailed <folder>/<n>"       a retry saved it, or it failed again
    //   "retry ended"
    //   "= <folder>/<n>..."                   failed.txt lists these now (none: it is gone)
    //   "json <folder> <n>s|f|-..."           album.json holds picture n saved, failed or neither
    //                                         yet (none: there is no album.json)
    // `failing`: the bar's failures at the end, those without an address included. A bar
    // another process keeps is not written.
    void recordsAsAlbumsEnd_data()
    {
        QTest::addColumn<QStringList>("earlier");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("failing");
        QTest::newRow("an album come to again drops its old failures")
            << QStringList{u"a/1"_s, u"b/1"_s} << QStringList{u"ready a"_s} << false << QStringList{u"b/1"_s} << 1;
        QTest::newRow("a new failure goes behind the old ones")
            << QStringList{u"b/1"_s} << QStringList{u"ready a 2"_s, u"failed a/2"_s} << false
            << QStringList{u"b/1"_s, u"a/2"_s} << 2;
        QTest::newRow("a picture saved since leaves the list")
            << QStringList{u"b/1"_s, u"b/2"_s} << QStringList{u"saved b/1"_s} << false << QStringList{u"b/2"_s} << 1;
        QTest::newRow("the last one saved removes the file")
            << QStringList{u"b/1"_s} << QStringList{u"saved b/1"_s} << false << QStringList() << 0;
        QTest::newRow("written once the album ends, whole")
            << QStringList{u"b/1"_s}
            << QStringList{u"ready a 3"_s, u"failed a/1"_s, u"saved a/2"_s, u"= b/1"_s,
                           u"json a"_s,    u"saved a/3"_s,  u"= b/1 a/1"_s, u"json a 1f 2s 3s"_s}
            << false << QStringList{u"b/1"_s, u"a/1"_s} << 2;
        QTest::newRow("a picture without an address counts, unlisted")
            << QStringList()
            << QStringList{u"ready a 2"_s, u"bogus a/1"_s, u"failed a/2"_s, u"= a/2"_s, u"json a 1f 2f"_s} << false
            << QStringList{u"a/2"_s} << 2;
        QTest::newRow("a retry's outcomes written when it ends")
            << QStringList()
            << QStringList{u"ready a 3"_s,   u"failed a/1"_s,   u"failed a/2"_s,     u"saved a/3"_s,
                           u"retried a/1"_s, u"refailed a/2"_s, u"= a/1 a/2"_s,      u"json a 1f 2f 3s"_s,
                           u"retry ended"_s, u"= a/2"_s,        u"json a 1s 2f 3s"_s}
            << false << QStringList{u"a/2"_s} << 1;
        QTest::newRow("another process keeps the bar")
            << QStringList{u"a/1"_s, u"b/1"_s}
            << QStringList{u"ready a"_s, u"failed a/1"_s, u"saved b/1"_s, u"json a"_s} << true
            << QStringList{u"a/1"_s, u"b/1"_s} << 2;
    }

    void recordsAsAlbumsEnd()
    {
        QFETCH(QStringList, earlier);
        QFETCH(QStringList, steps);
        QFETCH(bool, busy);
        QFETCH(QStringList, listed);
        QFETCH(int, failing);
        QTemporaryDir program;
        const QString bar = program.filePath(u"x吧"_s);
        QVERIFY(QDir().mkdir(bar));
        const auto idOf = [](const QString &picture) -> QString { return QString(picture).remove(u'/'); };
        const auto pathOf = [&](const QString &picture) -> QString { return bar + u'/' + picture + u".jpg"_s; };
        const auto failedTxt = [&] {
            QStringList now;
            for (const FailureFile::Entry &entry : FailureFile::read(bar, m_server.hostAndPort()).entries)
                now << entry.path;
            return now;
        };
        QList<FailureFile::Entry> entries;
        for (const QString &picture : std::as_const(earlier))
            entries.append({pictureAddress(m_server.hostAndPort(), idOf(picture)), pathOf(picture), idOf(picture)});
        QCOMPARE(FailureFile::write(bar, entries), QString());
        BarRecords other(engine().hosts());
        if (busy)
            QCOMPARE(other.open(bar), ResumeRecord::Access::Ready);
        BarRecords records(engine().hosts(), BarRecords::AlbumFiles::Written);
        QCOMPARE(records.open(bar), busy ? ResumeRecord::Access::Busy : ResumeRecord::Access::Ready);
        for (const QString &step : std::as_const(steps)) {
            const QStringList w = step.split(u' ', Qt::SkipEmptyParts);
            if (w.at(0) == u"=") {
                QStringList paths;
                for (const QString &picture : w.mid(1))
                    paths << pathOf(picture);
                QVERIFY2(failedTxt() == paths, qPrintable(step));
                QCOMPARE(QFileInfo::exists(FailureFile::pathIn(bar)), w.size() > 1);
                continue;
            }
            if (w.at(0) == u"json") {
                QFile file(bar + u'/' + w.at(1) + u"/album.json"_s);
                QCOMPARE(file.exists(), w.size() > 2);
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                const QJsonObject album = QJsonDocument::fromJson(file.readAll()).object();
                QCOMPARE(album.value(u"bar"_s).toString(), u"x吧"_s);
                const QJsonArray pictures = album.value(u"pictures"_s).toArray();
                QCOMPARE(pictures.size(), w.size() - 2);
                for (const QString &expected : w.mid(2)) {
                    const QJsonObject picture = pictures.at(expected.chopped(1).toInt() - 1).toObject();
                    const QString state = picture.contains(u"failed"_s)  ? u"f"_s
                                          : picture.contains(u"saved"_s) ? u"s"_s
                                                                         : u"-"_s;
                    QVERIFY2(expected.endsWith(state), qPrintable(step));
                }
                continue;
            }
            if (w.at(0) == u"retry") {
                records.retryEnded();
                continue;
            }
            QVERIFY(QDir().mkpath(bar + u'/' + w.at(1).section(u'/', 0, 0)));
            if (w.at(0) == u"ready") {
                AlbumReady ready;
                ready.id = w.at(1);
                ready.folder = bar + u'/' + w.at(1);
                ready.bar = u"x吧"_s;
                for (int n = 1; n <= w.value(2, u"1"_s).toInt(); ++n)
                    ready.pictureIds << w.at(1) + QString::number(n);
                records.albumReady(ready);
                continue;
            }
            PictureOutcome outcome;
            outcome.kind = w.at(0) == u"saved" || w.at(0) == u"retried" ? PictureOutcome::Kind::Saved
                                                                        : PictureOutcome::Kind::Failed;
            outcome.number = w.at(0).startsWith(u"re"_s) ? 0 : w.at(1).section(u'/', 1).toInt();
            outcome.id = w.at(0) == u"bogus" ? QString() : idOf(w.at(1));
            outcome.url = outcome.id.isEmpty() ? QString() : pictureAddress(m_server.hostAndPort(), outcome.id);
            outcome.path = pathOf(w.at(1));
            outcome.reason = w.at(0) == u"bogus" ? u"图片标识无效"_s : u"HTTP 404"_s;
            if (outcome.kind == PictureOutcome::Kind::Saved) {
                QVERIFY(TestSupport::putFile(outcome.path, "jpeg"));
                outcome.bytes = 4;
            }
            records.pictureFinished(outcome);
        }
        QCOMPARE(records.failures(bar).failed.size(), failing);
        records.release();
        QStringList paths;
        for (const QString &picture : std::as_const(listed))
            paths << pathOf(picture);
        QCOMPARE(failedTxt(), paths);
        QCOMPARE(QFileInfo::exists(FailureFile::pathIn(bar)), !listed.isEmpty());
    }

    void barFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("folder");
        QTest::newRow("a plain name") << u"风景"_s << u"/p/风景吧"_s;
        QTest::newRow("a name with a separator stays one level") << u"a/../b"_s << u"/p/a_.._b吧"_s;
    }

    void barFolder()
    {
        QFETCH(QString, name);
        QFETCH(QString, folder);
        QCOMPARE(BarRecords::barFolder(u"/p"_s, name), folder);
    }

    // A whole job on fake pages: the album between two others decides what the end of the job
    // counts among the albums whose page did not load.
    void failedAlbumsAreCounted_data()
    {
        QTest::addColumn<FakeGallery>("middle");
        QTest::addColumn<QStringList>("lines"); // the middle album's, up to the next album's line
        QTest::addColumn<int>("failedAlbums");
        FakeGallery settled;
        settled.title = u"中"_s;
        settled.idPrefix = u"m"_s;
        settled.pictures = settled.shown = 2;
        const QString middle = u"开始处理相册(2/3):中"_s;
        QTest::newRow("settled") << settled
                                 << QStringList{middle, u"第1页,第1张下载成功！"_s, u"第1页,第2张下载成功！"_s} << 0;
        FakeGallery cut = settled;
        cut.loadMs = -1;
        const QString cutLine = u"相册页面加载超时，按已载入的内容继续"_s;
        QTest::newRow("read before it settled, its pictures shown")
            << cut << QStringList{cutLine, middle, u"第1页,第1张下载成功！"_s, u"第1页,第2张下载成功！"_s} << 0;
        cut.pictures = cut.shown = 0;
        QTest::newRow("read before it settled, no picture shown") << cut << QStringList{cutLine, middle} << 1;
        FakeGallery refused = settled;
        refused.failure = u"转向其他网站"_s;
        QTest::newRow("refused") << refused
                                 << QStringList{u"相册页面没有载入，此相册下载失败（转向其他网站）"_s,
                                                u"开始处理相册(2/3):92"_s}
                                 << 1;
    }

    void failedAlbumsAreCounted()
    {
        QFETCH(FakeGallery, middle);
        QFETCH(QStringList, lines);
        QFETCH(int, failedAlbums);
        QTemporaryDir program;
        engine().setFolders(TestSupport::programFolder(program.path()));
        FakePages pages(
            1,
            [middle](const QString &url) {
                FakeGallery empty;
                empty.pictures = empty.shown = 0;
                empty.title = url.endsWith(u"/91") ? u"前"_s : u"后"_s;
                return url.endsWith(u"/92") ? middle : empty;
            },
            engine().timings());
        RecordingWindow window;
        const JobSummary summary = runJob(window, JobRequest::now(engine(), u"假"_s, pages));
        QCOMPARE(summary.failedAlbums, failedAlbums);
        QStringList expected = {u"开始获取相册地址！"_s, u"获取相册地址完成！假吧共有3个相册"_s,
                                u"开始处理相册(1/3):前"_s};
        expected << lines << u"开始处理相册(3/3):后"_s << u"所有相册下载完毕！"_s;
        if (failedAlbums > 0)
            expected << u"其中1个相册的页面没有载入，未能下载"_s;
        QCOMPARE(window.log, expected);
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
        runRetry(engine(), lists);
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
        runRetry(engine(), lists);
        QCOMPARE(pictureRequests(), sorted(kept));
    }

    void retryWithFewerPathsThanUrls()
    {
        FailureLists lists{entries({url(QStringLiteral("a")), url(QStringLiteral("b"))}), entries({QString()})};
        lists.FailedPaths.chop(2);
        runRetry(engine(), lists);
        // Without a path to go to, a picture stays recorded; the pairing of the rest is kept.
        QCOMPARE(lists.FailedUrls, entries({url(QStringLiteral("a")), url(QStringLiteral("b"))}));
        QCOMPARE(lists.FailedPaths, entries({QString(), QString()}));
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_commands.moc"
