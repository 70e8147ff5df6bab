// The command-line front end against the simulated forum in this process: in this process too,
// on an engine of each run's own, where a row needs no process of its own; otherwise as the
// process a script would start (tests/clidriver, on an engine with short timings).
#include "cli/climain.h"
#include "cli/clirun.h"
#include "cli/console.h"
#include "cli/terminaltext.h"
#include "tests/widgetsupport.h"
#include "tools/forumsim/forumserver.h"

#include "job/records/resumerecord.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

using TestSupport::filesBelow;
using TestSupport::sorted;

namespace {

QString cli()
{
    return qEnvironmentVariable("QUILLORY_BUILD_DIR") + QStringLiteral("/tests/clidriver");
}

// 风景: two list pages, two albums. 坏: faults on every request. 偶: faults on the first
// request only (an error status, a broken-off body, a stall past the time limit). 慢: pictures
// that take a while, so that a run can be stopped in the middle.
const QByteArray forum = R"({"bars":[
    {"name":"风景","perPage":1,"albums":[
        {"id":"11","title":"春游","pictures":["a1","a2","a3"]},
        {"id":"12","title":"秋 &amp; 冬","pictures":["b1","b2"]}]},
    {"name":"空","albums":[]},
    {"name":"坏","albums":[{"id":"21","title":"t","pictures":["c1",{"id":"c2","status":404},{"id":"c3","drop":true}]}]},
    {"name":"偶","albums":[{"id":"31","title":"t","pictures":[
        {"id":"d1","status":500,"once":true},{"id":"d2","drop":true,"once":true},{"id":"d3","delayMs":3000,"once":true}]}]},
    {"name":"慢","albums":[
        {"id":"41","title":"一","pictures":[{"id":"e1","delayMs":250},{"id":"e2","delayMs":250},{"id":"e3","delayMs":250}]},
        {"id":"42","title":"二","pictures":[{"id":"e4","delayMs":250},{"id":"e5","delayMs":1200},{"id":"e6","delayMs":1500}]}]}
]})";

// 伪: an album whose second picture's marker holds an identifier too long for any picture.
const QByteArray forumBogus = R"({"bars":[{"name":"伪","albums":[{"id":"51","title":"t","pictures":["v1",")" +
                              QByteArray(1100, 'x') + R"("]}]}]})";

// 风景 after one album gained a picture and the other lost its last.
const QByteArray forumChanged = R"({"bars":[{"name":"风景","perPage":1,"albums":[
    {"id":"11","title":"春游","pictures":["a1","a2","a3","a4"]},
    {"id":"12","title":"秋 &amp; 冬","pictures":["b1"]}]}]})";

// 风景 after a third album was added.
const QByteArray forumAdded = R"({"bars":[{"name":"风景","perPage":1,"albums":[
    {"id":"11","title":"春游","pictures":["a1","a2","a3"]},
    {"id":"12","title":"秋 &amp; 冬","pictures":["b1","b2"]},
    {"id":"14","title":"夏","pictures":["h1"]}]}]})";

// 风景 after a picture in the middle of an album was replaced.
const QByteArray forumReplaced = R"({"bars":[{"name":"风景","perPage":1,"albums":[
    {"id":"11","title":"春游","pictures":["a1","z2","a3"]},
    {"id":"12","title":"秋 &amp; 冬","pictures":["b1","b2"]}]}]})";

// 风景 after its first album gave way to another album of the same title, and after such an
// album came in front of it.
const QByteArray forumSameTitle = R"({"bars":[{"name":"风景","perPage":1,"albums":[
    {"id":"13","title":"春游","pictures":["s1","s2"]},
    {"id":"12","title":"秋 &amp; 冬","pictures":["b1","b2"]}]}]})";
const QByteArray forumSameTitleFirst = R"({"bars":[{"name":"风景","perPage":1,"albums":[
    {"id":"13","title":"春游","pictures":["s1","s2"]},
    {"id":"11","title":"春游","pictures":["a1","a2","a3"]},
    {"id":"12","title":"秋 &amp; 冬","pictures":["b1","b2"]}]}]})";

// 坏 with a second album of the same title, whose picture fails too; and both mended, listed
// the other way round.
const QByteArray badTwins = R"({"bars":[{"name":"坏","albums":[
    {"id":"21","title":"t","pictures":["c1",{"id":"c2","status":404},{"id":"c3","drop":true}]},
    {"id":"23","title":"t","pictures":[{"id":"g1","status":404}]}]}]})";
const QByteArray badTwinsMended = R"({"bars":[{"name":"坏","albums":[
    {"id":"23","title":"t","pictures":["g1"]},
    {"id":"21","title":"t","pictures":["c1","c2","c3"]}]}]})";

// 坏 with its faults gone, and 坏 with its album gone from the list in favour of another.
const QByteArray badMended =
    R"({"bars":[{"name":"坏","albums":[{"id":"21","title":"t","pictures":["c1","c2","c3"]}]}]})";
const QByteArray badMoved = R"({"bars":[{"name":"坏","albums":[{"id":"22","title":"u","pictures":["f1"]}]}]})";

struct Run
{
    int code = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QStringList out;
    QString err;
};

QStringList linesOf(const QByteArray &bytes)
{
    QStringList lines = QString::fromUtf8(bytes).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool waitForEnd(QProcess &process, int ms)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return process.state() == QProcess::NotRunning;
}

QByteArray readAll(std::FILE *file)
{
    std::rewind(file);
    QByteArray bytes;
    char buffer[65536];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, qsizetype(got));
    return bytes;
}

void copyTree(const QString &from, const QString &to)
{
    for (const QString &name : filesBelow(from)) {
        QDir().mkpath(QFileInfo(to + u'/' + name).path());
        QFile::copy(from + u'/' + name, to + u'/' + name);
    }
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT
    // About each long function's seconds, for the parts the suite runs in (the rest count one).
    Q_CLASSINFO("shardSeconds", "laterRun=42 laterRunWithOptions=41 stoppedMidBar=35 lastingFaults=18 exitCodes=17 "
                                "hostRefusingForEver=9 dryRunSavesNothing=6 passingFaultsAreRetried=4 wholeBar=3")

private:
    static void laterRunColumns()
    {
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("expectFetched");
    }

    static QStringList allPictures()
    {
        return {QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3"), QStringLiteral("b1"),
                QStringLiteral("b2")};
    }

    // Runs quillory-cli again over a copy of the first run's bar folder, changed as the row says.
    void checkLaterRun()
    {
        QFETCH(QByteArray, config);
        QFETCH(QString, change);
        QFETCH(QStringList, args);
        QFETCH(QStringList, expectFetched);
        QTemporaryDir dir;
        const QString bar = dir.path() + QStringLiteral("/风景吧");
        copyTree(m_firstRun.path() + QStringLiteral("/风景吧"), bar);
        const QString target = bar + u'/' + change.section(u' ', 1);
        if (change.startsWith(QStringLiteral("delete ")))
            QVERIFY(QFile::remove(target));
        if (change.startsWith(QStringLiteral("cut "))) {
            QVERIFY(QFile::resize(target, 100));
        }
        if (change == u"old record") {
            QFile record(bar + QStringLiteral("/.quillory-saved"));
            QVERIFY(record.open(QIODevice::ReadOnly));
            QByteArray pictureLines;
            for (const QByteArray &line : record.readAll().split('\n')) {
                if (!line.isEmpty() && !line.split('\t').first().endsWith('/'))
                    pictureLines += line + '\n';
            }
            record.close();
            QVERIFY(record.open(QIODevice::WriteOnly | QIODevice::Truncate));
            record.write(pictureLines);
        }
        if (change == u"tear") {
            QFile record(bar + QStringLiteral("/.quillory-saved"));
            QVERIFY(record.open(QIODevice::Append));
            record.write("春游/1.jpg\tzz");
        }
        load(config);

        const Run r = here(QStringList{QStringLiteral("-d"), dir.path()} + args + QStringList{QStringLiteral("风景")});
        QCOMPARE(r.code, 0);
        QCOMPARE(fetched(), sorted(expectFetched));
        QCOMPARE(r.out.size(), expectFetched.size());
        const QJsonArray albums =
            QJsonDocument::fromJson(config)[QStringLiteral("bars")][0][QStringLiteral("albums")].toArray();
        QStringList rendered;
        if (args.contains(QStringLiteral("--update"))) {
            if (config == forumAdded)
                rendered << QStringLiteral("14");
            QVERIFY2(r.err.contains(QStringLiteral(": albums %1, passed over %2, saved ")
                                        .arg(albums.size())
                                        .arg(albums.size() - rendered.size())),
                     qPrintable(r.err));
        } else {
            for (const QJsonValue &album : albums)
                rendered << album[QStringLiteral("id")].toString();
        }
        QStringList albumPages;
        for (const ForumRequest &request : m_server.requests()) {
            if (request.target.startsWith("/p/"))
                albumPages << QString::fromUtf8(request.target.mid(3)).section(u'?', 0, 0);
        }
        // A page may be asked for more than once as it renders (the browser's own retries).
        albumPages.removeDuplicates();
        QCOMPARE(sorted(albumPages), sorted(rendered));
        QHash<QString, QString> pictures = scenery();
        if (config == forumAdded)
            pictures.insert(QStringLiteral("夏/1.jpg"), QStringLiteral("h1"));
        if (config == forumChanged)
            pictures.insert(QStringLiteral("春游/4.jpg"), QStringLiteral("a4"));
        if (config == forumReplaced)
            pictures.insert(QStringLiteral("春游/2.jpg"), QStringLiteral("z2"));
        // The earlier album keeps its folder, wherever it stands in the list; the newcomer gets
        // one of its own.
        if (config == forumSameTitle || config == forumSameTitleFirst) {
            pictures.insert(QStringLiteral("春游 (13)/1.jpg"), QStringLiteral("s1"));
            pictures.insert(QStringLiteral("春游 (13)/2.jpg"), QStringLiteral("s2"));
        }
        verifyPictures(bar, pictures);
        verifyNothingPartial(bar);
        if (args.contains(QStringLiteral("--metadata")))
            verifyAlbumRecords(bar, pictures);

        // And the record now knows it all: one more run fetches nothing.
        m_server.clearRequests();
        const Run again = here({QStringLiteral("-q"), QStringLiteral("-d"), dir.path(), QStringLiteral("风景")});
        QCOMPARE(again.code, 0);
        QCOMPARE(fetched(), QStringList());
        QVERIFY(again.out.isEmpty());
        // Quiet: the summary alone.
        QCOMPARE(linesOf(again.err.toUtf8()).size(), 1);
        qsizetype listed = 0;
        for (const QJsonValue &album : albums)
            listed += album[QStringLiteral("pictures")].toArray().size();
        QVERIFY2(
            again.err.startsWith(
                QStringLiteral("风景吧: albums %1, saved 0, skipped %2, failed 0, ").arg(albums.size()).arg(listed)),
            qPrintable(again.err));
    }

    ForumServer m_server;
    QTemporaryDir m_firstRun;                   // 风景 fetched whole once, for the runs that follow one
    QTemporaryDir m_tmp;                        // the processes' temporary folder
    QTemporaryDir m_configHome;                 // the processes' XDG_CONFIG_HOME, so no user's settings reach them
    QString m_lang = QStringLiteral("C.UTF-8"); // the processes' locale

    // The scratch folders the processes left behind.
    QStringList scratchLeft() const
    {
        return QDir(m_tmp.path()).entryList({QStringLiteral("quillory-cli-*")}, QDir::Dirs);
    }

    void load(const QByteArray &json)
    {
        QString error;
        QVERIFY2(m_server.loadJson(json, &error), qPrintable(error));
        m_server.clearRequests();
    }

    // With `firstLineOnly`, standard output goes through `head -1`, which closes the pipe after
    // the first line; the exit status is still the program's.
    QProcess *start(const QStringList &args, const QString &host = {}, bool firstLineOnly = false)
    {
        auto *process = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString hosts = host.isEmpty() ? m_server.hostAndPort() : host;
        env.insert(QStringLiteral("QUILLORY_FORUM_HOST"), hosts);
        env.insert(QStringLiteral("QUILLORY_IMAGE_HOST"), hosts);
        env.insert(QStringLiteral("TMPDIR"), m_tmp.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_configHome.path());
        env.remove(QStringLiteral("LC_ALL"));
        env.remove(QStringLiteral("LC_MESSAGES"));
        env.remove(QStringLiteral("LANGUAGE"));
        env.remove(QStringLiteral("COLUMNS"));
        env.insert(QStringLiteral("LANG"), m_lang);
        process->setProcessEnvironment(env);
        if (firstLineOnly)
            process->start(QStringLiteral("bash"),
                           QStringList{QStringLiteral("-c"),
                                       QStringLiteral("\"$0\" \"$@\" | head -1; exit ${PIPESTATUS[0]}"), cli()} +
                               args);
        else
            process->start(cli(), args);
        return process;
    }

    Run finish(QProcess *process)
    {
        Run run;
        if (!waitForEnd(*process, 60000)) {
            process->kill();
            process->waitForFinished();
        }
        run.status = process->exitStatus();
        run.code = process->exitCode();
        run.out = linesOf(process->readAllStandardOutput());
        run.err = QString::fromUtf8(process->readAllStandardError());
        process->deleteLater();
        return run;
    }

    Run run(const QStringList &args, const QString &host = {}) { return finish(start(args, host)); }

    // The same run in this process, on an engine of its own as a process would have.
    Run here(const QStringList &args)
    {
        Run run;
        const CliMain::Parsed parsed = CliMain::parse(QStringList{QStringLiteral("quillory-cli")} + args);
        if (!parsed.options)
            return run;
        Engine engine(TestSupport::shortSettings(m_server.hostAndPort()));
        const std::unique_ptr<std::FILE, int (*)(std::FILE *)> out(std::tmpfile(), &std::fclose);
        const std::unique_ptr<std::FILE, int (*)(std::FILE *)> err(std::tmpfile(), &std::fclose);
        {
            Console console(parsed.options->quiet, out.get(), err.get());
            CliRun cli(engine, *parsed.options, console);
            QSignalSpy finished(&cli, &CliRun::finished);
            run.code = ExitCode::Usage;
            if (cli.ready()) {
                cli.start();
                run.code = finished.wait(600000) ? finished.first().first().toInt() : -1;
            }
        }
        run.status = QProcess::NormalExit;
        run.out = linesOf(readAll(out.get()));
        run.err = QString::fromUtf8(readAll(err.get()));
        return run;
    }

    // The pictures fetched since the last load, by id, sorted: pictures side by side go out on
    // network lines of their own, so the order their requests arrive in is not the program's.
    QStringList fetched() const { return TestSupport::picturesAsked(m_server); }

    // Every picture in `pictures` ("<album folder>/<n>.jpg" -> id) holds that picture's bytes.
    void verifyPictures(const QString &barFolder, const QHash<QString, QString> &pictures)
    {
        for (auto it = pictures.cbegin(); it != pictures.cend(); ++it)
            QVERIFY2(TestSupport::holdsPicture(m_server, barFolder + u'/' + it.key(), it.value()),
                     qPrintable(it.key()));
    }

    static QHash<QString, QString> scenery()
    {
        return {{QStringLiteral("春游/1.jpg"), QStringLiteral("a1")},
                {QStringLiteral("春游/2.jpg"), QStringLiteral("a2")},
                {QStringLiteral("春游/3.jpg"), QStringLiteral("a3")},
                {QStringLiteral("秋 & 冬/1.jpg"), QStringLiteral("b1")},
                {QStringLiteral("秋 & 冬/2.jpg"), QStringLiteral("b2")}};
    }

    // No file but whole pictures, the record and the failure list: nothing partial, no scratch file.
    void verifyNothingPartial(const QString &folder)
    {
        for (const QString &name : filesBelow(folder)) {
            const QString file = QFileInfo(name).fileName();
            QVERIFY2((file.endsWith(QStringLiteral(".jpg")) && !file.startsWith(u'.')) || name == u".quillory-saved" ||
                         name == u"failed.txt" || file == u"album.json",
                     qPrintable(name));
        }
    }

    // Each album folder's album.json names the bar and the album, and every picture with its
    // address and, for the pictures in the folder, their size and the time they were saved.
    void verifyAlbumRecords(const QString &barFolder, const QHash<QString, QString> &pictures)
    {
        const QHash<QString, QString> albumIds = {{QStringLiteral("春游"), QStringLiteral("11")},
                                                  {QStringLiteral("秋 & 冬"), QStringLiteral("12")}};
        for (auto album = albumIds.cbegin(); album != albumIds.cend(); ++album) {
            QFile file(barFolder + u'/' + album.key() + QStringLiteral("/album.json"));
            QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
            QJsonParseError error;
            const QJsonObject root = QJsonDocument::fromJson(file.readAll(), &error).object();
            QCOMPARE(error.error, QJsonParseError::NoError);
            QCOMPARE(root.value(QStringLiteral("bar")).toString(), QFileInfo(barFolder).fileName());
            QCOMPARE(root.value(QStringLiteral("id")).toString(), album.value());
            QCOMPARE(root.value(QStringLiteral("title")).toString(), album.key());
            QVERIFY(root.value(QStringLiteral("url")).toString().contains(album.value()));
            const QJsonArray list = root.value(QStringLiteral("pictures")).toArray();
            QCOMPARE(list.size(), int(std::count_if(pictures.keyBegin(), pictures.keyEnd(), [&](const QString &name) {
                         return name.startsWith(album.key() + u'/');
                     })));
            for (const QJsonValue &value : list) {
                const QJsonObject picture = value.toObject();
                const int number = picture.value(QStringLiteral("number")).toInt();
                const QString name = album.key() + QStringLiteral("/%1.jpg").arg(number);
                const QString id = pictures.value(name);
                QCOMPARE(picture.value(QStringLiteral("id")).toString(), id);
                QCOMPARE(picture.value(QStringLiteral("url")).toString(),
                         TestSupport::pictureUrl(m_server.hostAndPort(), id));
                QCOMPARE(picture.value(QStringLiteral("size")).toInteger(), m_server.pictureBytes(id).size());
                QVERIFY(
                    QDateTime::fromString(picture.value(QStringLiteral("saved")).toString(), Qt::ISODate).isValid());
            }
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(cli()).isExecutable(), qPrintable(cli()));
        QVERIFY(m_server.listen());
        // The runs in this process get what a process gets: no user's settings, the temporary
        // folder of the test's own.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_configHome.path()));
        qputenv("TMPDIR", QFile::encodeName(m_tmp.path()));
        load(forum);
        const Run first = here({QStringLiteral("-d"), m_firstRun.path(), QStringLiteral("风景")});
        QCOMPARE(first.code, 0);
    }

    void init() { load(forum); }

    void wholeBar()
    {
        QTemporaryDir dir;
        const Run r = here({QStringLiteral("--dir"), dir.path(), QStringLiteral("风景")});
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.code, 0);
        const QString bar = dir.path() + QStringLiteral("/风景吧");
        // Only the bar folder: the scratch files went elsewhere.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("风景吧")});
        QCOMPARE(filesBelow(bar), QStringList({QStringLiteral(".quillory-saved"), QStringLiteral("春游/1.jpg"),
                                               QStringLiteral("春游/2.jpg"), QStringLiteral("春游/3.jpg"),
                                               QStringLiteral("秋 & 冬/1.jpg"), QStringLiteral("秋 & 冬/2.jpg")}));
        verifyPictures(bar, scenery());
        QCOMPARE(r.out, QStringList({bar + QStringLiteral("/春游/1.jpg"), bar + QStringLiteral("/春游/2.jpg"),
                                     bar + QStringLiteral("/春游/3.jpg"), bar + QStringLiteral("/秋 & 冬/1.jpg"),
                                     bar + QStringLiteral("/秋 & 冬/2.jpg")}));
        QCOMPARE(fetched(), QStringList({QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3"),
                                         QStringLiteral("b1"), QStringLiteral("b2")}));
        const QStringList err = linesOf(r.err.toUtf8());
        // The window's log, line for line, then the summary; no progress line off a terminal.
        const QStringList expected = {
            QStringLiteral("开始获取相册地址！"),        QStringLiteral("获取相册地址完成！风景吧共有2个相册"),
            QStringLiteral("开始处理相册(1/2):春游"),    QStringLiteral("第1页,第1张下载成功！"),
            QStringLiteral("第1页,第2张下载成功！"),     QStringLiteral("第1页,第3张下载成功！"),
            QStringLiteral("开始处理相册(2/2):秋 & 冬"), QStringLiteral("第1页,第1张下载成功！"),
            QStringLiteral("第1页,第2张下载成功！"),     QStringLiteral("所有相册下载完毕！")};
        QCOMPARE(err.mid(0, expected.size()), expected);
        QCOMPARE(err.size(), expected.size() + 1);
        QVERIFY2(err.last().startsWith(QStringLiteral("风景吧: albums 2, saved 5, skipped 0, failed 0, ")) &&
                     err.last().endsWith(QStringLiteral(" s")),
                 qPrintable(err.last()));
        QVERIFY(!r.err.contains(u'\r') && !r.err.contains(u'\x1b'));
        QCOMPARE(scratchLeft(), QStringList());
    }

    // A later run over what the first left, the files or the record changed in between.
    void laterRun_data()
    {
        laterRunColumns();
        QTest::newRow("nothing changed") << forum << QString() << QStringList() << QStringList();
        QTest::newRow("one album gained a picture, another lost one")
            << forumChanged << QString() << QStringList() << QStringList{QStringLiteral("a4")};
        QTest::newRow("a picture replaced")
            << forumReplaced << QString() << QStringList() << QStringList{QStringLiteral("z2")};
        QTest::newRow("a picture deleted")
            << forum << QStringLiteral("delete 春游/2.jpg") << QStringList() << QStringList{QStringLiteral("a2")};
        QTest::newRow("a picture cut short")
            << forum << QStringLiteral("cut 秋 & 冬/1.jpg") << QStringList() << QStringList{QStringLiteral("b1")};
        QTest::newRow("the record deleted")
            << forum << QStringLiteral("delete .quillory-saved") << QStringList() << allPictures();
        QTest::newRow("a torn last line in the record")
            << forum << QStringLiteral("tear") << QStringList() << QStringList();
    }

    void laterRun() { checkLaterRun(); }

    // A later run with options, or over a forum whose albums share a title.
    void laterRunWithOptions_data()
    {
        laterRunColumns();
        QTest::newRow("--no-skip") << forum << QString() << QStringList{QStringLiteral("--no-skip")} << allPictures();
        QTest::newRow("another album of the same title")
            << forumSameTitle << QString() << QStringList() << QStringList{QStringLiteral("s1"), QStringLiteral("s2")};
        QTest::newRow("another album of the same title, listed first")
            << forumSameTitleFirst << QString() << QStringList()
            << QStringList{QStringLiteral("s1"), QStringLiteral("s2")};
        QTest::newRow("a record from before albums were recorded")
            << forum << QStringLiteral("old record") << QStringList() << QStringList();
        // The albums the first run finished are not rendered at all; only a new one is.
        QTest::newRow("--update, nothing changed")
            << forum << QString() << QStringList{QStringLiteral("--update")} << QStringList();
        QTest::newRow("--update, an album added")
            << forumAdded << QString() << QStringList{QStringLiteral("--update")} << QStringList{QStringLiteral("h1")};
        QTest::newRow("--metadata, a picture deleted")
            << forum << QStringLiteral("delete 春游/2.jpg") << QStringList{QStringLiteral("--metadata")}
            << QStringList{QStringLiteral("a2")};
    }

    void laterRunWithOptions() { checkLaterRun(); }

    void stoppedMidBar_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<int>("afterPictures");
        // 0: once the albums are counted, while the first album's page renders.
        QTest::newRow("SIGINT before the first album's pictures") << int(SIGINT) << 0;
        QTest::newRow("SIGINT in the first album") << int(SIGINT) << 1;
        QTest::newRow("SIGTERM in the second album") << int(SIGTERM) << 4;
        QTest::newRow("SIGKILL") << int(SIGKILL) << 2;
        QTest::newRow("standard output closed by its reader") << 0 << 1;
    }

    void stoppedMidBar()
    {
        QFETCH(int, signalNumber);
        QFETCH(int, afterPictures);
        QTemporaryDir dir;
        const QString bar = dir.path() + QStringLiteral("/慢吧");
        const QStringList scratchBefore = scratchLeft(); // a killed process leaves its own
        QProcess *process = start({QStringLiteral("-d"), dir.path(), QStringLiteral("慢")}, {}, signalNumber == 0);
        QVERIFY(process->waitForStarted());
        if (afterPictures == 0)
            process->setReadChannel(QProcess::StandardError);
        QTRY_VERIFY_WITH_TIMEOUT(afterPictures == 0 ? process->peek(1 << 20).contains("获取相册地址完成")
                                                    : process->peek(1 << 20).count('\n') >= afterPictures,
                                 30000);
        process->setReadChannel(QProcess::StandardOutput);
        // Without a signal, the reader of standard output goes away after the first line: the
        // run stops at its next path, as on an interrupt.
        if (signalNumber != 0)
            ::kill(pid_t(process->processId()), signalNumber);
        const Run stopped = finish(process);
        if (signalNumber == SIGKILL) {
            QCOMPARE(stopped.status, QProcess::CrashExit);
        } else {
            QCOMPARE(stopped.status, QProcess::NormalExit);
            QCOMPARE(stopped.code, signalNumber == 0 ? 141 : 130);
            QVERIFY2(stopped.err.contains(afterPictures == 0
                                              ? QStringLiteral("慢吧: interrupted before the first album's pictures, ")
                                              : QStringLiteral("慢吧: interrupted at album ")),
                     qPrintable(stopped.err));
            QVERIFY(!stopped.err.contains(QStringLiteral("所有相册下载完毕！")));
            // The fastest way on: the same command, passing over the albums already finished.
            const QString goOn =
                QStringLiteral("To go on from here: quillory-cli --update -d ") + dir.path() + QStringLiteral(" 慢\n");
            QVERIFY2(stopped.err.endsWith(goOn), qPrintable(stopped.err));
            QCOMPARE(scratchLeft(), scratchBefore);
        }
        verifyNothingPartial(bar);
        const QStringList saved = stopped.out;
        QVERIFY(saved.size() >= afterPictures && saved.size() < 6);
        for (const QString &path : saved)
            QVERIFY2(QFileInfo::exists(path), qPrintable(path));

        m_server.clearRequests();
        const Run resumed = here({QStringLiteral("-d"), dir.path(), QStringLiteral("慢")});
        QCOMPARE(resumed.code, 0);
        // Whatever was reported saved is not fetched again, and everything else is.
        QSet<QString> allPaths;
        QHash<QString, QString> pictures;
        for (int n = 1; n <= 6; ++n) {
            const QString name = QStringLiteral("%1/%2.jpg")
                                     .arg(n <= 3 ? QStringLiteral("一") : QStringLiteral("二"))
                                     .arg((n - 1) % 3 + 1);
            pictures.insert(name, QStringLiteral("e%1").arg(n));
            allPaths << bar + u'/' + name;
        }
        for (const QString &path : saved)
            QVERIFY2(!resumed.out.contains(path), qPrintable(path));
        if (signalNumber != SIGKILL && signalNumber != 0)
            QCOMPARE(QSet<QString>(resumed.out.begin(), resumed.out.end()) + QSet<QString>(saved.begin(), saved.end()),
                     allPaths);
        QCOMPARE(filesBelow(bar).size(), 7);
        verifyPictures(bar, pictures);
        verifyNothingPartial(bar);
        // The later run swept away the scratch folder a killed one left.
        QCOMPARE(scratchLeft(), QStringList());
    }

    void passingFaultsAreRetried()
    {
        QTemporaryDir dir;
        const Run r = here({QStringLiteral("--metadata"), QStringLiteral("-d"), dir.path(), QStringLiteral("偶")});
        QCOMPARE(r.code, 0);
        const QString bar = dir.path() + QStringLiteral("/偶吧");
        verifyPictures(bar, {{QStringLiteral("t/1.jpg"), QStringLiteral("d1")},
                             {QStringLiteral("t/2.jpg"), QStringLiteral("d2")},
                             {QStringLiteral("t/3.jpg"), QStringLiteral("d3")}});
        QVERIFY(!QFileInfo::exists(bar + QStringLiteral("/failed.txt")));
        // Each failure says why.
        QVERIFY2(r.err.contains(QStringLiteral("第1页,第1张下载失败！（HTTP 500）\n")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("第1页,第2张下载失败！（网络错误：")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("第1页,第3张下载失败！（超时）\n")), qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("偶吧: albums 1, saved 3, skipped 0, failed 0, ")), qPrintable(r.err));
        QCOMPARE(r.out.size(), 3);
        // album.json tells of the pictures as the retry left them.
        QFile json(bar + QStringLiteral("/t/album.json"));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonArray pictures = QJsonDocument::fromJson(json.readAll())[QStringLiteral("pictures")].toArray();
        QCOMPARE(pictures.size(), 3);
        for (const QJsonValue &picture : pictures)
            QVERIFY2(picture[QStringLiteral("size")].toInteger() > 0 && !picture.toObject().contains(u"failed"_qs),
                     QJsonDocument(picture.toObject()).toJson().constData());
    }

    // A host that answers every picture with 429 and "Retry-After: 2" is given up after its
    // fifth rest in a row: each bar's job ends after one rest with every picture failed, its
    // retry round asks nothing more of the host, and the next bar's job asks it again.
    void hostRefusingForEver()
    {
        const int pictures = 8;
        QByteArray json = R"({"bars":[)";
        for (const QString &bar : {QStringLiteral("拒"), QStringLiteral("拒二")}) {
            QStringList entries;
            for (int i = 1; i <= pictures; ++i)
                entries << QStringLiteral(R"({"id":"%1%2","status":429,"retryAfter":2})")
                               .arg(bar == u"拒" ? u"x"_qs : u"y"_qs)
                               .arg(i);
            json += QStringLiteral(R"({"name":"%1","albums":[{"id":"%2","title":"t","pictures":[%3]}]},)")
                        .arg(bar, bar == u"拒" ? u"61"_qs : u"62"_qs, entries.join(u','))
                        .toUtf8();
        }
        json.chop(1);
        load(json + "]}");
        QTemporaryDir dir;
        // Far beyond the two rests of 2 s the run takes; without the give-up it takes minutes.
        const Run r = here({QStringLiteral("-R"), QStringLiteral("1"), QStringLiteral("-d"), dir.path(),
                            QStringLiteral("拒"), QStringLiteral("拒二")});
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
        const QString line = QStringLiteral("服务器一直要求暂停，本次不再向它请求：") + m_server.hostAndPort() + u'\n';
        QVERIFY2(r.err.count(line) == 2, qPrintable(r.err));
        const QStringList asked = fetched();
        for (const QString &prefix : {QStringLiteral("x"), QStringLiteral("y")}) {
            const QString bar = dir.path() + (prefix == u"x" ? QStringLiteral("/拒吧") : QStringLiteral("/拒二吧"));
            QVERIFY2(r.err.contains(bar.mid(dir.path().size() + 1) +
                                    QStringLiteral(": albums 1, saved 0, skipped 0, failed %1, ").arg(pictures)),
                     qPrintable(r.err));
            QFile failed(bar + QStringLiteral("/failed.txt"));
            QVERIFY(failed.open(QIODevice::ReadOnly));
            const QString failedText = QString::fromUtf8(failed.readAll());
            QSet<QString> askedHere;
            int requests = 0;
            for (int i = 1; i <= pictures; ++i) {
                const QString id = prefix + QString::number(i);
                QVERIFY2(failedText.contains(TestSupport::pictureUrl(m_server.hostAndPort(), id) + u'\t'),
                         qPrintable(failedText));
                requests += int(asked.count(id));
                if (asked.contains(id))
                    askedHere.insert(id);
            }
            // Each job asks the host again, and leaves some of its pictures unasked.
            QVERIFY2(!askedHere.isEmpty() && askedHere.size() < pictures && requests < 2 * pictures,
                     qPrintable(asked.join(u' ')));
            verifyNothingPartial(bar);
        }
    }

    void lastingFaults_data()
    {
        QTest::addColumn<QString>("first"); // who runs first: the command line or the window
        QTest::addColumn<QStringList>("retryArgs");
        QTest::addColumn<int>("requestsEach");
        QTest::addColumn<bool>("hostileLines"); // failed.txt gains lines naming other things
        QTest::addColumn<QByteArray>("laterConfig");
        QTest::addColumn<QStringList>("laterFetched");
        const QStringList noRetries = {QStringLiteral("-R"), QStringLiteral("0")};
        QTest::newRow("no retries; the fault then cleared")
            << QStringLiteral("cli") << noRetries << 1 << false << badMended
            << QStringList{QStringLiteral("c2"), QStringLiteral("c3")};
        QTest::newRow("two retries; the album then gone from the list")
            << QStringLiteral("cli") << QStringList() << 3 << false << badMoved
            << QStringList{QStringLiteral("f1"), QStringLiteral("c2"), QStringLiteral("c3")};
        QTest::newRow("failed.txt naming a local file, another host, a path outside")
            << QStringLiteral("cli") << noRetries << 1 << true << badMended
            << QStringList{QStringLiteral("c2"), QStringLiteral("c3")};
        QTest::newRow("albums of one title; then mended and listed the other way round")
            << QStringLiteral("cli twins") << noRetries << 1 << false << badTwinsMended
            << QStringList{QStringLiteral("g1"), QStringLiteral("c2"), QStringLiteral("c3")};
        QTest::newRow("the window first") << QStringLiteral("window") << QStringList() << 1 << false << badMended
                                          << QStringList{QStringLiteral("c2"), QStringLiteral("c3")};
    }

    void lastingFaults()
    {
        QFETCH(QString, first);
        QFETCH(QStringList, retryArgs);
        QFETCH(int, requestsEach);
        QFETCH(bool, hostileLines);
        QFETCH(QByteArray, laterConfig);
        QFETCH(QStringList, laterFetched);
        const bool twins = first == u"cli twins";
        if (twins)
            load(badTwins);
        QTemporaryDir dir;
        const QString bar = dir.path() + QStringLiteral("/坏吧");
        const QString url2 = TestSupport::pictureUrl(m_server.hostAndPort(), QStringLiteral("c2"));
        const QString url3 = TestSupport::pictureUrl(m_server.hostAndPort(), QStringLiteral("c3"));
        QString failedText =
            url2 + u'\t' + bar + QStringLiteral("/t/2.jpg\n") + url3 + u'\t' + bar + QStringLiteral("/t/3.jpg\n");
        if (twins)
            failedText += TestSupport::pictureUrl(m_server.hostAndPort(), QStringLiteral("g1")) + u'\t' + bar +
                          QStringLiteral("/t (23)/1.jpg\n");
        if (first == u"window") {
            // The window's job in a process of its own; it keeps the same files.
            QProcess window;
            window.start(qEnvironmentVariable("QUILLORY_BUILD_DIR") + QStringLiteral("/tests/jobdriver"),
                         {m_server.hostAndPort(), dir.path(), QStringLiteral("坏")});
            QVERIFY(waitForEnd(window, 60000));
            QCOMPARE(window.exitCode(), 0);
        } else {
            const Run r = here(retryArgs + QStringList{QStringLiteral("-d"), dir.path(), QStringLiteral("坏")});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.contains(QStringLiteral("failed: ") + bar + QStringLiteral("/t/2.jpg (HTTP 404) ") + url2),
                     qPrintable(r.err));
            QVERIFY2(r.err.contains(twins ? QStringLiteral("坏吧: albums 2, saved 1, skipped 0, failed 3, ")
                                          : QStringLiteral("坏吧: albums 1, saved 1, skipped 0, failed 2, ")),
                     qPrintable(r.err));
            QCOMPARE(r.out, QStringList{bar + QStringLiteral("/t/1.jpg")});
        }
        QCOMPARE(fetched().count(QStringLiteral("c1")), 1);
        QCOMPARE(fetched().count(QStringLiteral("c2")), requestsEach);
        QCOMPARE(fetched().count(QStringLiteral("c3")), requestsEach);
        QFile failed(bar + QStringLiteral("/failed.txt"));
        QVERIFY(failed.open(QIODevice::ReadWrite));
        QCOMPARE(QString::fromUtf8(failed.readAll()), failedText);
        if (hostileLines) {
            failed.write(
                QStringLiteral("file:///etc/passwd\t%1/gone/passwd.jpg\n"
                               "http://127.0.0.1:1/forum/pic/item/c1.jpg\t%1/t/9.jpg\n"
                               "%2\t%3/outside/1.jpg\n")
                    .arg(bar, TestSupport::pictureUrl(m_server.hostAndPort(), QStringLiteral("c1")), dir.path())
                    .toUtf8());
        }
        failed.close();
        verifyNothingPartial(bar);

        // A later run picks the failures up by itself, and nothing else.
        load(laterConfig);
        const Run later = here({QStringLiteral("-d"), dir.path(), QStringLiteral("坏")});
        QCOMPARE(later.code, 0);
        QCOMPARE(fetched(), sorted(laterFetched));
        QVERIFY(!failed.exists());
        QHash<QString, QString> pictures = {{QStringLiteral("t/1.jpg"), QStringLiteral("c1")},
                                            {QStringLiteral("t/2.jpg"), QStringLiteral("c2")},
                                            {QStringLiteral("t/3.jpg"), QStringLiteral("c3")}};
        if (twins)
            pictures.insert(QStringLiteral("t (23)/1.jpg"), QStringLiteral("g1"));
        verifyPictures(bar, pictures);
        if (hostileLines) {
            QVERIFY2(later.err.contains(QStringLiteral("failed.txt: 3 lines name no picture of this bar")),
                     qPrintable(later.err));
            QVERIFY(!QFileInfo::exists(bar + QStringLiteral("/gone")));
            QVERIFY(!QFileInfo::exists(bar + QStringLiteral("/t/9.jpg")));
            QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("outside"))));
        }
    }

    void dryRunSavesNothing()
    {
        QTemporaryDir dir;
        const QString dest = dir.filePath(QStringLiteral("dest"));
        const auto untouched = [&] {
            return QDir(dest)
                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                .isEmpty();
        };
        // Neither a folder nor a file: the folder given stays as it was, and so does a missing one.
        QVERIFY(QDir().mkpath(dest));
        const Run r = here({QStringLiteral("--dry-run"), QStringLiteral("-d"), dest, QStringLiteral("风景")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringList({QStringLiteral("1\t春游\t3"), QStringLiteral("2\t秋 & 冬\t2")}));
        QCOMPARE(fetched(), QStringList());
        QVERIFY(untouched());
        QCOMPARE(QDir(m_tmp.path()).entryList({QStringLiteral("quillory-cli-*")}, QDir::AllEntries), QStringList());
        QVERIFY(QDir(dest).removeRecursively());
        QVERIFY2(r.err.contains(QStringLiteral("风景吧: albums 2, pictures 5 (dry run), ")), qPrintable(r.err));
        QVERIFY(!r.err.contains(QStringLiteral("张下载")));

        // The pictures' addresses alone, in album order, and still nothing saved.
        const Run urls = here({QStringLiteral("-g"), QStringLiteral("-d"), dest, QStringLiteral("风景")});
        QCOMPARE(urls.code, 0);
        QStringList addresses;
        for (const QString &id : {QStringLiteral("a1"), QStringLiteral("a2"), QStringLiteral("a3"),
                                  QStringLiteral("b1"), QStringLiteral("b2")})
            addresses << TestSupport::pictureUrl(m_server.hostAndPort(), id);
        QCOMPARE(urls.out, addresses);
        QCOMPARE(fetched(), QStringList());
        QVERIFY(!QFileInfo::exists(dest));
        QVERIFY2(urls.err.contains(QStringLiteral("风景吧: albums 2, pictures 5 (addresses only), ")),
                 qPrintable(urls.err));
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QString>("says"); // the error, or a line of the help
        // A usage error is followed by the usage and where the help is; the system's errors not.
        QTest::addColumn<bool>("usage");
        const QString c = QStringLiteral("C.UTF-8");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--bogus"), QStringLiteral("风景")} << 2 << c
                                        << QStringLiteral("quillory-cli: Unknown option 'bogus'.") << true;
        QTest::newRow("no bar") << QStringList() << 2 << c << QStringLiteral("quillory-cli: no bar given") << true;
        QTest::newRow("empty bar") << QStringList{QString()} << 2 << c
                                   << QStringLiteral("quillory-cli: a bar name is empty") << true;
        QTest::newRow("retries not a number")
            << QStringList{QStringLiteral("-R"), QStringLiteral("x"), QStringLiteral("风景")} << 2 << c
            << QStringLiteral("quillory-cli: -R needs a whole number of 0 or more, not \"x\"") << true;
        QTest::newRow("negative retries") << QStringList{QStringLiteral("--retries=-1"), QStringLiteral("风景")} << 2
                                          << c << QStringLiteral("quillory-cli: -R needs a whole number") << true;
        QTest::newRow("pace not a choice")
            << QStringList{QStringLiteral("--pace"), QStringLiteral("fast"), QStringLiteral("风景")} << 2 << c
            << QStringLiteral("quillory-cli: --pace needs fixed or adaptive, not \"fast\"") << true;
        QTest::newRow("pages out of range")
            << QStringList{QStringLiteral("--pages=5"), QStringLiteral("风景")} << 2 << c
            << QStringLiteral("quillory-cli: --pages needs a whole number from 1 to 4, not \"5\"") << true;
        QTest::newRow("folder cannot be created")
            << QStringList{QStringLiteral("-d"), QStringLiteral("<file>/sub"), QStringLiteral("风景")} << 2 << c
            << QStringLiteral("quillory-cli: cannot create or write the folder <file>/sub: Not a directory") << false;
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << c
                                << QStringLiteral("  -g, --get-urls ") << true;
        QTest::newRow("--help in Chinese")
            << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("zh_CN.UTF-8")
            << QStringLiteral("用法：quillory-cli [选项] 吧名...") << true;
        QTest::newRow("--help-all") << QStringList{QStringLiteral("--help-all")} << 0 << c
                                    << QStringLiteral("  -g, --get-urls ") << true;
        QTest::newRow("folder cannot be created, in Chinese")
            << QStringList{QStringLiteral("-d"), QStringLiteral("<file>/sub"), QStringLiteral("风景")} << 2
            << QStringLiteral("zh_CN.UTF-8")
            << QStringLiteral("quillory-cli: 无法创建或写入文件夹 <file>/sub：不是目录") << false;
        QTest::newRow("usage error in Chinese") << QStringList() << 2 << QStringLiteral("zh_CN.UTF-8")
                                                << QStringLiteral("quillory-cli: 没有给出吧名\n用法：") << true;
    }

    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, lang);
        QFETCH(QString, says);
        QFETCH(bool, usage);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        args.replaceInStrings(QStringLiteral("<file>"), file.fileName());
        says.replace(QStringLiteral("<file>"), file.fileName());
        m_lang = lang;
        const Run r = run(args);
        m_lang = QStringLiteral("C.UTF-8");
        QCOMPARE(r.code, code);
        if (code == 0) {
            const QString help = r.out.join(u'\n');
            QVERIFY2(help.contains(says) && help.contains(QStringLiteral("--retries")), qPrintable(help));
            // Laid out for 80 columns when not on a terminal, a Chinese character taking two.
            for (const QString &line : r.out)
                QVERIFY2(TerminalText::columns(line) <= 80, qPrintable(line));
        } else if (!usage) {
            QVERIFY(r.out.isEmpty());
            QCOMPARE(r.err, says + u'\n');
        } else {
            // The error, one line of usage and where the help is; not the whole help.
            QVERIFY(r.out.isEmpty());
            const QStringList err = linesOf(r.err.toUtf8());
            QVERIFY2(r.err.startsWith(says) && err.size() == 3 && !r.err.contains(QStringLiteral("--retries")),
                     qPrintable(r.err));
            QVERIFY2(err.at(2).contains(QStringLiteral("quillory-cli --help")), qPrintable(r.err));
        }
        QCOMPARE(fetched(), QStringList());
        QCOMPARE(m_server.requests().size(), 0);
    }

    void exitCodes_data()
    {
        QTest::addColumn<QString>("forumKind");
        QTest::addColumn<QStringList>("bars");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("errContains");
        QTest::newRow("forum refuses connections")
            << QStringLiteral("refused") << QStringList{QStringLiteral("风景")} << 3
            << QStringLiteral("风景吧: the album list could not be fetched");
        QTest::newRow("forum never answers") << QStringLiteral("silent") << QStringList{QStringLiteral("风景")} << 3
                                             << QStringLiteral("获取相册列表失败：");
        QTest::newRow("bar folder blocked by a file")
            << QStringLiteral("blocked") << QStringList{QStringLiteral("风景")} << 2
            << QStringLiteral("cannot create the folder <dir>/风景吧: File exists\n");
        // A picture without a usable identifier has no address to retry; it failed all the same.
        QTest::newRow("bar with an unusable picture identifier")
            << QStringLiteral("bogus") << QStringList{QStringLiteral("伪")} << 1
            << QStringLiteral("failed: <dir>/伪吧/t/2.jpg (图片标识无效)\n"
                              "1 pictures failed, none with an address to retry\n"
                              "伪吧: albums 1, saved 1, skipped 0, failed 1, ");
        QTest::newRow("bar busy in another process")
            << QStringLiteral("busy") << QStringList{QStringLiteral("慢")} << 2
            << QStringLiteral("慢吧: busy: another process is downloading it into <dir>/慢吧\n");
        QTest::newRow("bar without albums") << QString() << QStringList{QStringLiteral("空")} << 0
                                            << QStringLiteral("获取相册地址完成！空吧共有0个相册\n所有相册下载完毕！\n"
                                                              "空吧 has no albums; the bar's name may be wrong\n");
        QTest::newRow("bar typed as the forum shows it")
            << QString() << QStringList{QStringLiteral("风景吧")} << 0
            << QStringLiteral("风景吧: albums 2, saved 5, skipped 0, failed 0, ");
        // Said once, though two bars run; the command line's value silences the one it replaces.
        QTest::newRow("settings file with values out of range")
            << QStringLiteral("settings pace=fast pages=9") << QStringList{QStringLiteral("空"), QStringLiteral("空")}
            << 0
            << QStringLiteral(
                   "设置文件<config>/Quillory/Quillory.conf中的pace=fast无效（应为fixed或adaptive），已忽略\n"
                   "开始获取相册地址！\n");
        QTest::newRow("settings file with a key it does not know")
            << QStringLiteral("settings PACE=fast pages=2") << QStringList{QStringLiteral("空"), QStringLiteral("空")}
            << 0
            << QStringLiteral(
                   "设置文件<config>/Quillory/Quillory.conf中[job]的PACE=无法识别（应为pace=或pages=），已忽略\n"
                   "开始获取相册地址！\n");
        // A file that cannot be settings is passed over whole, and said so once.
        QTest::newRow("settings file that is a folder")
            << QStringLiteral("settings folder") << QStringList{QStringLiteral("空"), QStringLiteral("空")} << 0
            << QStringLiteral("设置文件<config>/Quillory/Quillory.conf是文件夹，已忽略\n开始获取相册地址！\n");
        QTest::newRow("settings file of binary bytes")
            << QStringLiteral("settings binary") << QStringList{QStringLiteral("空"), QStringLiteral("空")} << 0
            << QStringLiteral("设置文件<config>/Quillory/Quillory.conf不是文本文件，已忽略\n开始获取相册地址！\n");
        QTest::newRow("settings file of 100 MB")
            << QStringLiteral("settings huge") << QStringList{QStringLiteral("空"), QStringLiteral("空")} << 0
            << QStringLiteral("设置文件<config>/Quillory/Quillory.conf大于64KB，已忽略\n开始获取相册地址！\n");
        QTest::newRow("settings file with choices in range")
            << QStringLiteral("settings pace=adaptive pages=3") << QStringList{QStringLiteral("空")} << 0
            << QStringLiteral("开始获取相册地址！\n获取相册地址完成！空吧共有0个相册\n");
        QTest::newRow("several bars: the worst")
            << QString() << QStringList{QStringLiteral("空"), QStringLiteral("坏")} << 1
            << QStringLiteral("空吧: albums 0, saved 0, skipped 0, failed 0, ");
    }

    void exitCodes()
    {
        QFETCH(QString, forumKind);
        QFETCH(QStringList, bars);
        QFETCH(int, code);
        QFETCH(QString, errContains);
        QTcpServer silent; // accepts and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QString host;
        if (forumKind == u"silent") {
            host = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
        } else if (forumKind == u"refused") {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            host = QStringLiteral("127.0.0.1:%1").arg(closed.serverPort());
        }
        QTemporaryDir dir;
        QFile settings(m_configHome.filePath(QStringLiteral("Quillory/Quillory.conf")));
        const auto removeSettings = qScopeGuard([&settings] {
            settings.remove();
            QDir(settings.fileName()).removeRecursively();
        });
        QStringList extraArgs;
        if (forumKind == u"settings folder") {
            QVERIFY(QDir(m_configHome.path()).mkpath(QStringLiteral("Quillory/Quillory.conf")));
        } else if (forumKind == u"settings binary" || forumKind == u"settings huge") {
            // Values that would be complained of, were the file read as settings.
            QVERIFY(QDir(m_configHome.path()).mkpath(QStringLiteral("Quillory")));
            QVERIFY(settings.open(QIODevice::WriteOnly));
            settings.write("[job]\npace=fast\n");
            if (forumKind == u"settings binary")
                settings.write(QByteArray::fromHex("7f454c4602010100000000")); // the start of a program
            else
                QVERIFY(settings.resize(qint64(100) << 20)); // sparse: zeros that take no disk
            settings.close();
        } else if (forumKind.startsWith(QStringLiteral("settings "))) {
            QVERIFY(QDir(m_configHome.path()).mkpath(QStringLiteral("Quillory")));
            QVERIFY(settings.open(QIODevice::WriteOnly));
            settings.write("[job]\n" + forumKind.mid(9).replace(u' ', u'\n').toUtf8() + '\n');
            settings.close();
            if (forumKind.contains(QStringLiteral("pages=9")))
                extraArgs << QStringLiteral("--pages") << QStringLiteral("2");
        }
        errContains.replace(QStringLiteral("<config>"), m_configHome.path());
        if (forumKind == u"blocked") {
            QFile blocker(dir.filePath(QStringLiteral("风景吧")));
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        // This process keeps the bar as a running download does, for as long as the row needs:
        // another quillory-cli could end before the one under test, slow to start on a busy
        // machine, looked at the bar.
        std::optional<ResumeRecord> holder;
        if (forumKind == u"busy") {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("慢吧")));
            holder.emplace(dir.filePath(QStringLiteral("慢吧")));
            QCOMPARE(holder->open(), ResumeRecord::Access::Ready);
        }
        if (forumKind == u"bogus") {
            load(forumBogus);
            extraArgs << QStringLiteral("--metadata");
        }
        const Run r = run(QStringList{QStringLiteral("-R"), QStringLiteral("0"), QStringLiteral("-d"), dir.path()} +
                              extraArgs + bars,
                          host);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(errContains.replace(QStringLiteral("<dir>"), dir.path())), qPrintable(r.err));
        QVERIFY2(r.err.count(QStringLiteral("设置文件")) == errContains.count(QStringLiteral("设置文件")),
                 qPrintable(r.err));
        if (holder) {
            // Nothing asked of the forum, nothing written into the bar the holder keeps.
            QVERIFY(r.out.isEmpty());
            QCOMPARE(m_server.requests().size(), 0);
            QCOMPARE(filesBelow(dir.filePath(QStringLiteral("慢吧"))), QStringList());
        }
        if (forumKind == u"bogus") {
            // Listed on standard error, but failed.txt names only what can be fetched again.
            const QString bar = dir.filePath(QStringLiteral("伪吧"));
            QVERIFY(!QFileInfo::exists(bar + QStringLiteral("/failed.txt")));
            QFile json(bar + QStringLiteral("/t/album.json"));
            QVERIFY(json.open(QIODevice::ReadOnly));
            const QJsonArray pictures = QJsonDocument::fromJson(json.readAll())[QStringLiteral("pictures")].toArray();
            QCOMPARE(pictures.size(), 2);
            QVERIFY(pictures[0].toObject().contains(QStringLiteral("saved")));
            QCOMPARE(pictures[1].toObject(), QJsonObject({{QStringLiteral("number"), 2},
                                                          {QStringLiteral("failed"), QStringLiteral("图片标识无效")}}));
        }
    }
};

QUILLORY_TEST_MAIN(TestCli)
#include "tst_cli.moc"
