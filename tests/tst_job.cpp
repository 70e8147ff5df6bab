#include "app/form1.h"
#include "tests/widgetsupport.h"
#include "tools/forumsim/forumserver.h"

#include "job/settingsfile.h"
#include "web/files/foldername.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <optional>

#include <unistd.h>

using TestSupport::filesBelow;
using TestSupport::lines;

namespace {

QString ok(int n)
{
    return QStringLiteral("第1页,第%1张下载成功！").arg(n);
}

QString failed(int n)
{
    return QStringLiteral("第1页,第%1张下载失败！").arg(n);
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("<missing>");
}

// A folder that the program cannot write to. Permission bits do not stop root, so root gets a
// read-only bind mount of the folder instead (which needs the right to mount).
class UnwritableFolder
{
public:
    UnwritableFolder(const QString &folder, const QString &mountPoint)
    {
        if (geteuid() != 0) {
            m_path = folder;
            m_ready = QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
            return;
        }
        m_path = mountPoint;
        m_mounted = QDir().mkpath(mountPoint) &&
                    QProcess::execute(QStringLiteral("mount"), {QStringLiteral("--bind"), folder, mountPoint}) == 0;
        m_ready =
            m_mounted && QProcess::execute(QStringLiteral("mount"),
                                           {QStringLiteral("-o"), QStringLiteral("remount,ro,bind"), mountPoint}) == 0;
    }

    ~UnwritableFolder()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {m_path});
        else
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    bool ready() const { return m_ready; }
    QString path() const { return m_path; }

private:
    QString m_path;
    bool m_mounted = false;
    bool m_ready = false;
};

} // namespace

class TestJob : public QObject
{
    Q_OBJECT
    // About each long function's seconds, for the parts the suite runs in (the rest count one).
    Q_CLASSINFO("shardSeconds", "galleriesAreSavedWhole=66 unsettledPagesEndWithinTheirBounds=62 "
                                "publishedGalleriesAreSavedWhole=43 galleriesSideBySideAreSavedWhole=32 "
                                "unsettledPagesSideBySideEndWithinTheirBounds=31 unseenBatchesAreWaitedFor=25 "
                                "albumsSharingAFolderNameKeepEveryPicture=18 hostileBarNames=9 "
                                "rendersTitlesAndLazyPictures=7 systemProgramFolderSendsPicturesToThePicturesFolder=7 "
                                "savesFailsAndRetries=7 discoversAlbumsAcrossListPages=6 "
                                "scratchFilesThatCannotBeWrittenDoNotStopTheJob=4 retryDuringAJobIsRefused=4 "
                                "picturesSideBySideKeepTheOneAtATimeResult=4 listPagesThatBringNoAnswer=3 "
                                "barFolderTakenByAFileEndsTheJob=2")

private:
    ForumServer m_server;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<Engine> m_engine;
    std::unique_ptr<Form1> m_form;

    QString program() const { return m_root->filePath(QStringLiteral("program")); }

    // An album of the simulated forum whose gallery loads its pictures as `loader` says (none: the
    // gallery's own default), with keys of its own besides; each with ids and a title of its own.
    static QJsonObject gallery(const QString &loader, int pictures, int initial, int pictureHeight,
                               const char *moreKeys = "{}")
    {
        static int made = 0;
        QJsonObject keys = QJsonDocument::fromJson(moreKeys).object();
        QJsonArray ids;
        for (int i = 1; i <= pictures; ++i)
            ids.append(QStringLiteral("g%1x%2").arg(made).arg(i));
        keys.insert(QStringLiteral("id"), QString::number(3500 + made++));
        keys.insert(QStringLiteral("title"), QStringLiteral("长%1").arg(made));
        if (!loader.isEmpty())
            keys.insert(QStringLiteral("loader"), loader);
        keys.insert(QStringLiteral("batch"), keys.value(QStringLiteral("batch")).toInt(20));
        keys.insert(QStringLiteral("initial"), initial);
        keys.insert(QStringLiteral("pictureHeight"), pictureHeight);
        keys.insert(QStringLiteral("pictures"), ids);
        return keys;
    }

    static void galleryColumns()
    {
        QTest::addColumn<int>("pace");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QJsonArray>("albums");
        QTest::addColumn<QStringList>("before"); // lines before the first album's line
    }

    // The loader styles met in practice, their waits cut down as the test's page pace is.
    static QList<std::pair<const char *, QJsonObject>> loaderKinds()
    {
        return {{"debounced, batches fetched",
                 gallery(QStringLiteral("debounce"), 20, 0, 150,
                         R"({"debounceMs":150,"batchFrom":"fetch","delayMs":100,"batch":5})")},
                {"timer chain, batches by XMLHttpRequest",
                 gallery(QStringLiteral("timer"), 12, 0, 0, R"({"gapMs":200,"batchFrom":"xhr","batch":3})")},
                {"infinite scroll, a beacon without end",
                 gallery(QStringLiteral("nearEnd"), 20, 0, 150,
                         R"({"batchFrom":"xhr","delayMs":100,"noise":"beacon","noiseMs":100,"batch":5})")},
                {"observer, a long poll always open",
                 gallery(QStringLiteral("observer"), 20, 0, 150,
                         R"({"batchFrom":"fetch","delayMs":100,"noise":"longPoll","pollMs":20000,"batch":5})")}};
    }

    static void unsettledColumns()
    {
        QTest::addColumn<QByteArray>("album");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("failedAlbums");
        QTest::addColumn<int>("pages");  // at the adaptive pace when more than 1
        QTest::addColumn<bool>("whole"); // read whole: recorded as finished
    }

    void endsWithinItsBounds()
    {
        QFETCH(QByteArray, album);
        QFETCH(QStringList, lines);
        QFETCH(int, failedAlbums);
        QFETCH(int, pages);
        QFETCH(bool, whole);
        if (pages > 1)
            m_engine->setChoices({JobChoices::Pace::Adaptive, pages});
        load(R"({"bars":[{"name":"钟","albums":[{"id":"40","title":"前","pictures":["b1"]},)" + album +
             R"(,{"id":"49","title":"后","pictures":["d1"]}]}]})");
        // The bounds are what is tested, not their size: shorter ones end the rows sooner.
        // A page beside the first is made on first use, with a renderer of its own to start.
        const TestSupport::ScopedPagePace boundedLoad(
            *m_engine, [&](PagePace &p) { p.loadWaitLimitMs = pages > 1 ? 6000 : 3000; });
        const TestSupport::ScopedTimings boundedScripts(m_engine->network(),
                                                        [](Timings &t) { t.scriptAnswerLimitMs = 1500; });
        const QStringList log = start(QStringLiteral("钟"));
        QCOMPARE(
            log,
            QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("获取相册地址完成！钟吧共有3个相册"),
                         QStringLiteral("开始处理相册(1/3):前"), ok(1)}) +
                lines +
                QStringList({QStringLiteral("开始处理相册(3/3):后"), ok(1), QStringLiteral("所有相册下载完毕！")}) +
                (failedAlbums > 0
                     ? QStringList({QStringLiteral("其中%1个相册的页面没有载入，未能下载").arg(failedAlbums)})
                     : QStringList()));
        const QString bar = barFolder(QStringLiteral("钟"));
        verifyPicture(bar + QStringLiteral("/前/1.jpg"), QStringLiteral("b1"));
        verifyPicture(bar + QStringLiteral("/后/1.jpg"), QStringLiteral("d1"));
        // Only the good albums count as finished: a page read before it settled may have shown
        // only some of its pictures, and a later run must look at it again.
        const QStringList finished = readAll(bar + QStringLiteral("/.quillory-saved"))
                                         .split(u'\n')
                                         .filter(QRegularExpression(QStringLiteral("\tdone$")));
        QStringList expectedFinished{QStringLiteral("前/\t40\t1\tdone"), QStringLiteral("后/\t49\t1\tdone")};
        if (whole)
            expectedFinished.insert(
                1, QStringLiteral("钟/\t%1\t1\tdone")
                       .arg(QJsonDocument::fromJson(album).object().value(QStringLiteral("id")).toString()));
        QCOMPARE(finished, expectedFinished);
    }

    // The albums of the row, saved whole: every picture's line, every file, nothing else said.
    void savedWhole()
    {
        QFETCH(int, pace);
        QFETCH(int, pages);
        QFETCH(QJsonArray, albums);
        QFETCH(QStringList, before);
        m_engine->setChoices({JobChoices::Pace(pace), pages});
        // Albums given twice in a row share their ids; they are one album.
        QJsonArray distinct;
        for (const QJsonValue &album : std::as_const(albums)) {
            if (!distinct.contains(album))
                distinct.append(album);
        }
        const QJsonObject barObject{{QStringLiteral("name"), QStringLiteral("长")},
                                    {QStringLiteral("albums"), distinct}};
        load(QJsonDocument(QJsonObject{{QStringLiteral("bars"), QJsonArray{barObject}}}).toJson());
        QStringList expected =
            QStringList({QStringLiteral("开始获取相册地址！"),
                         QStringLiteral("获取相册地址完成！长吧共有%1个相册").arg(distinct.size())}) +
            before;
        int count = 0;
        for (const QJsonValue &album : std::as_const(distinct)) {
            const QJsonObject object = album.toObject();
            expected << QStringLiteral("开始处理相册(%1/%2):").arg(++count).arg(distinct.size()) +
                            object.value(QStringLiteral("title")).toString();
            const QJsonArray ids = object.value(QStringLiteral("pictures")).toArray();
            for (int i = 1; i <= ids.size(); ++i)
                expected << ok(i);
        }
        expected << QStringLiteral("所有相册下载完毕！");
        QCOMPARE(start(QStringLiteral("长")), expected);
        for (const QJsonValue &album : std::as_const(distinct)) {
            const QJsonObject object = album.toObject();
            const QString folder =
                barFolder(QStringLiteral("长")) + u'/' + object.value(QStringLiteral("title")).toString();
            const QJsonArray ids = object.value(QStringLiteral("pictures")).toArray();
            QCOMPARE(filesBelow(folder).size(), ids.size());
            verifyPicture(folder + QStringLiteral("/%1.jpg").arg(ids.size()), ids.last().toString());
        }
    }

    Form1 &form()
    {
        if (!m_form) {
            m_form = std::make_unique<Form1>(*m_engine);
            m_form->setExitHandler([] {});
            m_form->show();
        }
        return *m_form;
    }

    void load(const QByteArray &json)
    {
        QString error;
        QVERIFY2(m_server.loadJson(json, &error), qPrintable(error));
        m_server.clearRequests();
    }

    QStringList start(const QString &bar)
    {
        form().Text1->setText(bar);
        const int before = form().List1->count();
        form().Command1_Click();
        return lines(form().List1).mid(before);
    }

    // The album-list and album pages the job itself fetched, in order (the browser's own
    // requests do not carry this header).
    QStringList jobFetches() const
    {
        QStringList targets;
        for (const ForumRequest &r : m_server.requests()) {
            if (r.headers.value("if-modified-since") == "0" && !r.target.startsWith("/forum/"))
                targets << QString::fromUtf8(r.target);
        }
        return targets;
    }

    QString barFolder(const QString &bar) const
    {
        return program() + u'/' + safeFolderName(bar + QStringLiteral("吧"));
    }

    void verifyPicture(const QString &path, const QString &id)
    {
        QVERIFY2(TestSupport::holdsPicture(m_server, path, id), qPrintable(path));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        m_engine = std::make_unique<Engine>(TestSupport::shortSettings(m_server.hostAndPort()));
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(program()));
        m_engine->setFolders(TestSupport::programFolder(program()));
    }

    void cleanup()
    {
        m_engine->setChoices({});
        m_form.reset();
        m_root.reset();
    }

    void discoversAlbumsAcrossListPages()
    {
        load(R"({"bars":[{"name":"三页","perPage":2,"lastPageLink":"notLast","albums":[
            {"id":"11","title":"一"},{"id":"12","title":"二"},{"id":"13","title":"三"},
            {"id":"14","title":"四"},{"id":"15","title":"五"}]}]})");
        const QStringList log = start(QStringLiteral("三页"));
        const QString kw = QStringLiteral("/photo/g?kw=%E4%B8%89%E9%A1%B5&pn=");
        QCOMPARE(jobFetches(),
                 QStringList({kw + u'1', kw + u'2', kw + u'3', QStringLiteral("/p/11"), QStringLiteral("/p/12"),
                              QStringLiteral("/p/13"), QStringLiteral("/p/14"), QStringLiteral("/p/15")}));
        QCOMPARE(log, QStringList({QStringLiteral("开始获取相册地址！"),
                                   QStringLiteral("获取相册地址完成！三页吧共有5个相册"),
                                   QStringLiteral("开始处理相册(1/5):一"), QStringLiteral("开始处理相册(2/5):二"),
                                   QStringLiteral("开始处理相册(3/5):三"), QStringLiteral("开始处理相册(4/5):四"),
                                   QStringLiteral("开始处理相册(5/5):五"), QStringLiteral("所有相册下载完毕！")}));
        QVERIFY(QFileInfo(barFolder(QStringLiteral("三页"))).isDir());
        QCOMPARE(QFileInfo(program() + QStringLiteral("/1.txt")).size(), 0);
        // An album without pictures leaves its settled markup in the scratch file.
        const QString dump = readAll(program() + QStringLiteral("/cs.txt"));
        QVERIFY(dump.startsWith(QStringLiteral("<body")));
        QVERIFY(dump.contains(QStringLiteral("aghl_big aghl_title\">五<")));
        QVERIFY(dump.endsWith(QStringLiteral("\r\n")));
    }

    void barWithoutAlbums()
    {
        load(R"({"bars":[{"name":"空","albums":[]}]})");
        QCOMPARE(start(QStringLiteral("空")),
                 QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("获取相册地址完成！空吧共有0个相册"),
                              QStringLiteral("所有相册下载完毕！")}));
        QCOMPARE(filesBelow(m_root->path()), QStringList({QStringLiteral("program/1.txt")}));
        QVERIFY(!QFileInfo::exists(barFolder(QStringLiteral("空"))));
    }

    void hostileBarNames_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::newRow("parent folders") << QStringLiteral("../../x");
        QTest::newRow("absolute") << QStringLiteral("/tmp/quillory-escape");
        QTest::newRow("query characters") << QStringLiteral("a&b#c+d%e f");
        QTest::newRow("backslashes") << QStringLiteral("..\\..\\y");
    }

    void hostileBarNames()
    {
        QFETCH(QString, bar);
        const QJsonObject album{{QStringLiteral("id"), QStringLiteral("21")},
                                {QStringLiteral("title"), QStringLiteral("t")},
                                {QStringLiteral("pictures"), QJsonArray{QStringLiteral("p1")}}};
        const QJsonObject barObject{{QStringLiteral("name"), bar}, {QStringLiteral("albums"), QJsonArray{album}}};
        load(QJsonDocument(QJsonObject{{QStringLiteral("bars"), QJsonArray{barObject}}}).toJson());
        const QStringList log = start(bar);
        QCOMPARE(log.at(1), QStringLiteral("获取相册地址完成！") + bar + QStringLiteral("吧共有1个相册"));
        QCOMPARE(log.last(), QStringLiteral("所有相册下载完毕！"));
        // The server saw exactly the name that was typed.
        const QUrlQuery query(QUrl(QStringLiteral("http://h") + jobFetches().first()));
        QCOMPARE(query.queryItemValue(QStringLiteral("kw"), QUrl::FullyDecoded), bar);
        const QString folder = safeFolderName(bar + QStringLiteral("吧"));
        QStringList expected = {QStringLiteral("program/1.txt"), QStringLiteral("program/cs.txt"),
                                QStringLiteral("program/") + folder + QStringLiteral("/t/1.jpg"),
                                QStringLiteral("program/") + folder + QStringLiteral("/.quillory-saved")};
        expected.sort();
        QCOMPARE(filesBelow(m_root->path()), expected);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/quillory-escape吧")));
    }

    void scratchFilesThatCannotBeWrittenDoNotStopTheJob()
    {
        load(R"({"bars":[{"name":"挡","albums":[{"id":"71","title":"t","pictures":["k1"]}]}]})");
        QVERIFY(QDir(program()).mkdir(QStringLiteral("1.txt")) && QDir(program()).mkdir(QStringLiteral("cs.txt")));
        QCOMPARE(start(QStringLiteral("挡")),
                 QStringList({QStringLiteral("无法创建文件：") + program() + QStringLiteral("/1.txt"),
                              QStringLiteral("开始获取相册地址！"), QStringLiteral("获取相册地址完成！挡吧共有1个相册"),
                              QStringLiteral("开始处理相册(1/1):t"), ok(1), QStringLiteral("所有相册下载完毕！")}));
        verifyPicture(barFolder(QStringLiteral("挡")) + QStringLiteral("/t/1.jpg"), QStringLiteral("k1"));
    }

    void barFolderTakenByAFileEndsTheJob()
    {
        load(R"({"bars":[{"name":"占","albums":[{"id":"72","title":"t","pictures":["k1"]}]}]})");
        QFile file(barFolder(QStringLiteral("占")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mine") == 4);
        file.close();
        QCOMPARE(start(QStringLiteral("占")),
                 QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("获取相册地址完成！占吧共有1个相册"),
                              QStringLiteral("无法创建文件夹：") + barFolder(QStringLiteral("占")) +
                                  QStringLiteral("，下载已停止")}));
        QCOMPARE(form().List1->currentRow(), form().List1->count() - 1);
        QVERIFY(file.open(QIODevice::ReadOnly) && file.readAll() == "mine");
    }

    // A minimised window hides the page in its view. The page the job scrolls still renders, so
    // the gallery still grows.
    void rendersTitlesAndLazyPictures_data()
    {
        QTest::addColumn<bool>("hiddenByItsView");
        QTest::newRow("shown") << false;
        QTest::newRow("hidden by its view") << true;
    }

    void rendersTitlesAndLazyPictures()
    {
        QFETCH(bool, hiddenByItsView);
        if (hiddenByItsView) {
            QWebEngineView *view = form().WebBrowser1;
            connect(view, &QWebEngineView::loadFinished, view, [view] { view->page()->setVisible(false); });
        }
        // Half the pictures arrive only after a second scroll pass.
        load(R"({"bars":[{"name":"画","albums":[
            {"id":"31","title":"山川 &amp; 湖泊 &lt;1&gt;","batch":3,"delayMs":250,
             "pictures":["a1","a2","a3","a4","a5","a6"]},
            {"id":"32","noTitle":true,"pictures":["b1"]}]}]})");
        const QStringList log = start(QStringLiteral("画"));
        QCOMPARE(
            log,
            QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("获取相册地址完成！画吧共有2个相册"),
                         QStringLiteral("开始处理相册(1/2):山川 & 湖泊 <1>"), ok(1), ok(2), ok(3), ok(4), ok(5), ok(6),
                         QStringLiteral("开始处理相册(2/2):32"), ok(1), QStringLiteral("所有相册下载完毕！")}));
        const QString bar = barFolder(QStringLiteral("画"));
        for (int i = 1; i <= 6; ++i)
            verifyPicture(bar + QStringLiteral("/山川 & 湖泊 <1>/%1.jpg").arg(i), QStringLiteral("a%1").arg(i));
        verifyPicture(bar + QStringLiteral("/32/1.jpg"), QStringLiteral("b1"));
        QCOMPARE(readAll(program() + QStringLiteral("/cs.txt")),
                 TestSupport::pictureUrl(m_server.hostAndPort(), QStringLiteral("b1")) + QStringLiteral("\r\n"));
    }

    // Galleries in the loader styles real ones use, some far taller than the fixed scroll steps,
    // at both paces: every picture is found, what the log says is the same, and a page taller
    // than a pass may go says that it was cut short.
    void galleriesAreSavedWhole_data()
    {
        galleryColumns();
        for (const int pace : {int(JobChoices::Pace::Fixed), int(JobChoices::Pace::Adaptive)}) {
            const char *paceName = pace == int(JobChoices::Pace::Fixed) ? "fixed" : "adaptive";
            const auto row = [&](const char *name) -> QTestData & { return QTest::addRow("%s: %s", paceName, name); };
            row("a batch per scroll event")
                << pace << 1 << QJsonArray{gallery(QStringLiteral("scroll"), 300, 0, 150)} << QStringList();
            row("infinite scroll") << pace << 1 << QJsonArray{gallery(QStringLiteral("nearEnd"), 300, 20, 150)}
                                   << QStringList();
            row("observer below the pictures")
                << pace << 1 << QJsonArray{gallery(QStringLiteral("observer"), 300, 0, 150)} << QStringList();
            // 120,000 px, where a pass may go 100,000 px down.
            row("taller than a pass may go")
                << pace << 1 << QJsonArray{gallery(QStringLiteral("nearEnd"), 12, 12, 10000)}
                << QStringList({QStringLiteral("相册页面过长，已滚动到上限，按当前内容继续")});
            for (const auto &[name, album] : loaderKinds())
                row(name) << pace << 1 << QJsonArray{album} << QStringList();
        }
        // Nothing changes and nothing is asked of the server for longer than the quiet spell:
        // the page's own timers are what it waits on. The fixed pace's shortened waits are
        // shorter than such a gallery's, so only the adaptive pace is asked to find it all.
        QTest::newRow("adaptive: debounced, the batch handed out late by the page")
            << int(JobChoices::Pace::Adaptive) << 1
            << QJsonArray{gallery(QStringLiteral("debounce"), 15, 0, 150,
                                  R"({"debounceMs":300,"delayMs":600,"batch":5})")}
            << QStringList();
        // It asks for the next batch only once the scrolling has rested longer than the fixed
        // pace waits between two reads, which the fixed pace takes for the page's end.
        QTest::newRow("adaptive: asks long after the scrolling rests")
            << int(JobChoices::Pace::Adaptive) << 1
            << QJsonArray{gallery(QStringLiteral("debounce"), 15, 0, 0,
                                  R"({"debounceMs":350,"batchFrom":"fetch","delayMs":240,"delayMaxMs":300,"batch":5})")}
            << QStringList();
    }

    void galleriesAreSavedWhole() { savedWhole(); }

    // Every kind in one bar, with pages side by side: the loader styles, and galleries the pace
    // can hardly see, their waits cut down as the test's page pace is: batches a frame or a
    // worker asks for, rows taken out of the document once scrolled past, pictures put in frame
    // by frame, a page that jumps back to its top.
    void galleriesSideBySideAreSavedWhole_data()
    {
        galleryColumns();
        QJsonArray everyKind;
        for (const auto &[name, album] : loaderKinds())
            everyKind.append(album);
        everyKind.append(gallery(QStringLiteral("scroll"), 30, 0, 0, R"({"delayMs":100,"batch":5})"));
        everyKind.append(gallery(QStringLiteral("nearEnd"), 15, 0, 0,
                                 R"({"batchFrom":"iframe","delayMs":240,"delayMaxMs":300,"batch":5})"));
        everyKind.append(gallery(QStringLiteral("nearEnd"), 15, 0, 0,
                                 R"({"batchFrom":"worker","delayMs":240,"delayMaxMs":300,"batch":5})"));
        everyKind.append(
            gallery(QStringLiteral("nearEnd"), 30, 0, 150,
                    R"({"batchFrom":"fetch","virtualRows":true,"delayMs":240,"delayMaxMs":300,"batch":5})"));
        everyKind.append(gallery(QStringLiteral("nearEnd"), 15, 0, 0,
                                 R"({"batchFrom":"fetch","perFrame":2,"delayMs":240,"delayMaxMs":300,"batch":5})"));
        everyKind.append(
            gallery(QStringLiteral("nearEnd"), 15, 0, 0,
                    R"({"batchFrom":"fetch","jumpToTop":"always","delayMs":240,"delayMaxMs":300,"batch":5})"));
        QTest::newRow("fixed: every kind, 2 pages") << int(JobChoices::Pace::Fixed) << 2 << everyKind << QStringList();
        QTest::newRow("adaptive: every kind, 3 pages")
            << int(JobChoices::Pace::Adaptive) << 3 << everyKind << QStringList();
    }

    void galleriesSideBySideAreSavedWhole() { savedWhole(); }

    // A bad album between two good ones: it ends within its bounds, and neither takes anything
    // from its neighbours nor spoils the album after it.
    void unsettledPagesEndWithinTheirBounds_data()
    {
        unsettledColumns();
        const QString timedOut = QStringLiteral("相册页面加载超时，按已载入的内容继续");
        const QString notLoaded = QStringLiteral("相册页面没有载入，此相册下载失败（%1）");
        const QString notAnswering = notLoaded.arg(QStringLiteral("没有响应"));
        QTest::newRow("never loads") << QByteArray(R"({"id":"42","title":"钟","neverLoads":true,"pictures":["c1"]})")
                                     << QStringList({timedOut, QStringLiteral("开始处理相册(2/3):钟"), ok(1)}) << 0 << 1
                                     << false;
        // A renderer held by the page's script answers nothing, so the album has no markup and fails.
        QTest::newRow("script never yields")
            << QByteArray(R"({"id":"43","title":"钟","script":"while (true) {}","pictures":["c1"]})")
            << QStringList({notAnswering, QStringLiteral("开始处理相册(2/3):43")}) << 1 << 1 << false;
        QTest::newRow("alert loop")
            << QByteArray(R"({"id":"44","title":"钟","script":"for (;;) alert(1);","pictures":["c1"]})")
            << QStringList({notAnswering, QStringLiteral("开始处理相册(2/3):44")}) << 1 << 1 << false;
        QTest::newRow("window.open loop")
            << QByteArray(
                   R"({"id":"45","title":"钟","script":"for (;;) window.open('about:blank');","pictures":["c1"]})")
            << QStringList({notAnswering, QStringLiteral("开始处理相册(2/3):45")}) << 1 << 1 << false;
        // An address longer than the engine takes: the browser never leaves the album before.
        QTest::newRow("address the engine refuses")
            << QByteArray(R"({"id":")" + QByteArray(2 * 1024 * 1024, 'x') + R"(/47","title":"钟","pictures":["c1"]})")
            << QStringList({notLoaded.arg(QStringLiteral("超时")), QStringLiteral("开始处理相册(2/3):47")}) << 1 << 1
            << false;
        // The browser's own network side must not stay stuck for the album after it.
        QTest::newRow("page flooding 100 Continue")
            << QByteArray(R"({"id":"48","title":"钟","continueFlood":true,"pictures":["c1"]})")
            << QStringList({notLoaded.arg(QStringLiteral("超时")), QStringLiteral("开始处理相册(2/3):48")}) << 1 << 1
            << false;
        // The page may not leave the forum, and another host's page never stands in for it.
        const QString elsewhere = QStringLiteral("http://localhost:%1").arg(m_server.port());
        const QString movedAway = notLoaded.arg(QStringLiteral("转向其他网站：") + elsewhere);
        QTest::newRow("page redirected to another host")
            << QByteArray(R"({"id":"50","title":"钟","redirect":")" + elsewhere.toUtf8() +
                          R"(/p/40","pictures":["c1"]})")
            << QStringList({movedAway, QStringLiteral("开始处理相册(2/3):50")}) << 1 << 1 << false;
        QTest::newRow("script moving the page to another host")
            << QByteArray(R"({"id":"51","title":"钟","script":"location.href = ')" + elsewhere.toUtf8() +
                          R"(/p/40';","pictures":["c1"]})")
            << QStringList({movedAway, QStringLiteral("开始处理相册(2/3):51")}) << 1 << 1 << false;
        // Nor may it pass another album of the forum off as itself: it stays the album it is.
        QTest::newRow("script moving the page to another album")
            << QByteArray(R"({"id":"53","title":"钟","script":"setTimeout(() => { location.href = '/p/49'; }, 300);",)"
                          R"("pictures":["c1"]})")
            << QStringList({QStringLiteral("相册页面试图转到其他页面，已阻止，按本页内容继续"),
                            QStringLiteral("开始处理相册(2/3):钟"), ok(1)})
            << 0 << 1 << true;
        QTest::newRow("script moving the page later")
            << QByteArray(R"({"id":"52","title":"钟","script":"addEventListener('scroll', () => { location.href = ')" +
                          elsewhere.toUtf8() + R"(/p/40'; });","pictures":["c1"]})")
            << QStringList({movedAway, QStringLiteral("开始处理相册(2/3):52")}) << 1 << 1 << false;
    }

    void unsettledPagesEndWithinTheirBounds() { endsWithinItsBounds(); }

    // Pages side by side at the adaptive pace: a page that hangs its renderer keeps to its
    // bounds, and the pages beside it are not held up or spoiled.
    void unsettledPagesSideBySideEndWithinTheirBounds_data()
    {
        unsettledColumns();
        const QString notLoaded = QStringLiteral("相册页面没有载入，此相册下载失败（%1）");
        // A page that holds up the network side the pages share: the pages beside it are
        // rendered again, on their own, and come out as they would with one page.
        QTest::newRow("page flooding 100 Continue, 3 pages")
            << QByteArray(R"({"id":"48","title":"钟","continueFlood":true,"pictures":["c1"]})")
            << QStringList({notLoaded.arg(QStringLiteral("超时")), QStringLiteral("开始处理相册(2/3):48")}) << 1 << 3
            << false;
        QTest::newRow("script never yields, 3 pages")
            << QByteArray(R"({"id":"43","title":"钟","script":"while (true) {}","pictures":["c1"]})")
            << QStringList({notLoaded.arg(QStringLiteral("没有响应")), QStringLiteral("开始处理相册(2/3):43")}) << 1
            << 3 << false;
    }

    void unsettledPagesSideBySideEndWithinTheirBounds() { endsWithinItsBounds(); }

    void listPagesThatBringNoAnswer_data()
    {
        QTest::addColumn<QByteArray>("bar");
        QTest::addColumn<bool>("refusedPort");
        QTest::addColumn<QStringList>("expected"); // "%1" stands for the forum's host and port
        const QByteArray albums = R"("perPage":2,"lastPageLink":"first","albums":[{"id":"81","title":"一"},
            {"id":"82","title":"二"},{"id":"83","title":"三"},{"id":"84","title":"四"},{"id":"85","title":"五"}])";
        QTest::newRow("refused")
            << QByteArray(R"({"name":"断",)" + albums + "}") << true
            << QStringList(
                   {QStringLiteral("开始获取相册地址！"),
                    QStringLiteral("获取相册列表失败：http://%1/photo/g?kw=断&pn=1（网络错误：Connection refused）")});
        QTest::newRow("first page not found")
            << QByteArray(R"({"name":"断","pageStatus":{"1":404},)" + albums + "}") << false
            << QStringList({QStringLiteral("开始获取相册地址！"),
                            QStringLiteral("获取相册列表失败：http://%1/photo/g?kw=断&pn=1（HTTP 404）")});
        QTest::newRow("a later page fails")
            << QByteArray(R"({"name":"断","pageStatus":{"2":503},)" + albums + "}") << false
            << QStringList({QStringLiteral("开始获取相册地址！"),
                            QStringLiteral("获取相册列表失败：http://%1/photo/g?kw=断&pn=2（HTTP 503）"),
                            QStringLiteral("获取相册地址完成！断吧共有3个相册"), QStringLiteral("开始处理相册(1/3):一"),
                            QStringLiteral("开始处理相册(2/3):二"), QStringLiteral("开始处理相册(3/3):五"),
                            QStringLiteral("所有相册下载完毕！")});
    }

    void listPagesThatBringNoAnswer()
    {
        QFETCH(QByteArray, bar);
        QFETCH(bool, refusedPort);
        QFETCH(QStringList, expected);
        load(R"({"bars":[)" + bar + "]}");
        // Nothing listens on port 1.
        const QString host = refusedPort ? QStringLiteral("127.0.0.1:1") : m_server.hostAndPort();
        m_engine->setHosts(Hosts{host, host});
        const QStringList log = start(QStringLiteral("断"));
        m_engine->setHosts(Hosts{m_server.hostAndPort(), m_server.hostAndPort()});
        for (QString &line : expected)
            line = line.arg(host);
        QCOMPARE(log, expected);
        QCOMPARE(form().List1->currentRow(), form().List1->count() - 1);
        const bool albumsFound = log.size() > 2;
        QCOMPARE(QFileInfo::exists(barFolder(QStringLiteral("断"))), albumsFound);
        QCOMPARE(QFileInfo(program() + QStringLiteral("/1.txt")).size(), 0);
    }

    void albumsSharingAFolderNameKeepEveryPicture_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("firstFolder");
        QTest::addColumn<QString>("secondFolder");
        QTest::newRow("same title") << QStringLiteral("春游") << QStringLiteral("春游") << QStringLiteral("春游")
                                    << QStringLiteral("春游 (92)");
        QTest::newRow("titles that become one name")
            << QStringLiteral("a/b") << QStringLiteral("a\\b") << QStringLiteral("a_b") << QStringLiteral("a_b (92)");
        QTest::newRow("dot and empty title")
            << QStringLiteral(".") << QString() << QStringLiteral("_") << QStringLiteral(" (92)");
    }

    void albumsSharingAFolderNameKeepEveryPicture()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, firstFolder);
        QFETCH(QString, secondFolder);
        const auto album = [](const char *id, const QString &title, const QJsonArray &pictures) {
            return QJsonObject{{QStringLiteral("id"), QLatin1String(id)},
                               {QStringLiteral("title"), title},
                               {QStringLiteral("pictures"), pictures}};
        };
        const QJsonObject barObject{
            {QStringLiteral("name"), QStringLiteral("同名")},
            {QStringLiteral("albums"), QJsonArray{album("91", first, {QStringLiteral("m1"), QStringLiteral("m2")}),
                                                  album("92", second, {QStringLiteral("n1"), QStringLiteral("n2")})}}};
        load(QJsonDocument(QJsonObject{{QStringLiteral("bars"), QJsonArray{barObject}}}).toJson());
        const QStringList expectedLog = {QStringLiteral("开始获取相册地址！"),
                                         QStringLiteral("获取相册地址完成！同名吧共有2个相册"),
                                         QStringLiteral("开始处理相册(1/2):") + first,
                                         ok(1),
                                         ok(2),
                                         QStringLiteral("开始处理相册(2/2):") + second,
                                         ok(1),
                                         ok(2),
                                         QStringLiteral("所有相册下载完毕！")};
        const QString bar = QStringLiteral("program/同名吧/");
        QStringList expectedFiles = {QStringLiteral("program/1.txt"), QStringLiteral("program/cs.txt"),
                                     bar + QStringLiteral(".quillory-saved")};
        for (const QString &name : {QStringLiteral("1.jpg"), QStringLiteral("2.jpg")})
            expectedFiles << bar + firstFolder + u'/' + name << bar + secondFolder + u'/' + name;
        expectedFiles.sort();
        // The same bar downloaded again lands in the same folders.
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(start(QStringLiteral("同名")), expectedLog);
            QCOMPARE(filesBelow(m_root->path()), expectedFiles);
            const QString folder = barFolder(QStringLiteral("同名"));
            verifyPicture(folder + u'/' + firstFolder + QStringLiteral("/1.jpg"), QStringLiteral("m1"));
            verifyPicture(folder + u'/' + firstFolder + QStringLiteral("/2.jpg"), QStringLiteral("m2"));
            verifyPicture(folder + u'/' + secondFolder + QStringLiteral("/1.jpg"), QStringLiteral("n1"));
            verifyPicture(folder + u'/' + secondFolder + QStringLiteral("/2.jpg"), QStringLiteral("n2"));
        }
    }

    void systemProgramFolderSendsPicturesToThePicturesFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("unwritable") << QStringLiteral("unwritable");
        QTest::newRow("another user's, also for root") << QStringLiteral("another user's");
        QTest::newRow("under /opt, also for root") << QStringLiteral("/opt");
    }

    void systemProgramFolderSendsPicturesToThePicturesFolder()
    {
        QFETCH(QString, kind);
        load(R"({"bars":[{"name":"家","albums":[{"id":"95","title":"t","pictures":["u1"]}]}]})");
        const QByteArray home = qgetenv("HOME");
        const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
        const QByteArray cacheHome = qgetenv("XDG_CACHE_HOME");
        qputenv("HOME", QFile::encodeName(m_root->filePath(QStringLiteral("home"))));
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_CACHE_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", home);
            if (!configHome.isNull())
                qputenv("XDG_CONFIG_HOME", configHome);
            if (!cacheHome.isNull())
                qputenv("XDG_CACHE_HOME", cacheHome);
        });
        const QString pictures = m_root->filePath(QStringLiteral("home/Pictures/Quillory"));
        const QString cache = m_root->filePath(QStringLiteral("home/.cache/quillory"));
        std::optional<UnwritableFolder> unwritable;
        std::optional<QTemporaryDir> system;
        QString folder = program();
        if (kind == u"unwritable") {
            unwritable.emplace(program(), m_root->filePath(QStringLiteral("readonly")));
            if (!unwritable->ready())
                QSKIP("this machine lets the test make no unwritable folder");
            folder = unwritable->path();
        } else if (geteuid() != 0) {
            QSKIP("only root can give a folder away or make one under /opt");
        } else if (kind == u"another user's") {
            QVERIFY(::chown(QFile::encodeName(folder).constData(), 65534, 65534) == 0);
        } else {
            system.emplace(QStringLiteral("/opt/quillory-test-XXXXXX"));
            if (!system->isValid())
                QSKIP("no /opt to make a folder in");
            folder = system->path();
        }
        m_engine->setFolders(TestSupport::programFolder(folder));
        const QStringList log = start(QStringLiteral("家"));
        QCOMPARE(log,
                 QStringList({QStringLiteral("图片保存到：") + pictures, QStringLiteral("开始获取相册地址！"),
                              QStringLiteral("获取相册地址完成！家吧共有1个相册"),
                              QStringLiteral("开始处理相册(1/1):t"), ok(1), QStringLiteral("所有相册下载完毕！")}));
        // The scratch files stay out of the user's pictures.
        QCOMPARE(filesBelow(pictures),
                 QStringList({QStringLiteral("家吧/.quillory-saved"), QStringLiteral("家吧/t/1.jpg")}));
        QCOMPARE(filesBelow(cache), QStringList({QStringLiteral("1.txt"), QStringLiteral("cs.txt")}));
        verifyPicture(pictures + QStringLiteral("/家吧/t/1.jpg"), QStringLiteral("u1"));
        QCOMPARE(filesBelow(folder), QStringList());
        // Every job decides afresh and says so again.
        QCOMPARE(m_engine->folders().pictureFolder(), folder);
        QCOMPARE(start(QStringLiteral("家")).first(), QStringLiteral("图片保存到：") + pictures);
    }

    void savesFailsAndRetries()
    {
        load(R"({"bars":[{"name":"故障","perPage":2,"lastPageLink":"first","albums":[
            {"id":"51","title":"甲","pictures":["f1",{"id":"f2","status":404,"once":true},"f3",
                {"id":"f4","status":500,"once":true},{"id":"f5","body":"html"}]},
            {"id":"52","title":"乙","pictures":[{"id":"g1","drop":true,"once":true},{"id":"g2","body":"empty","once":true},
                {"id":"g3","body":"onebyte","once":true},{"id":"g4","status":304}]},
            {"id":"53","title":"甲","pictures":[{"id":"h1","delayMs":3000,"once":true},"h2"]}]}]})");
        const QStringList log = start(QStringLiteral("故障"));
        QCOMPARE(
            log,
            QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("获取相册地址完成！故障吧共有3个相册"),
                         QStringLiteral("开始处理相册(1/3):甲"), ok(1), failed(2), ok(3), failed(4), ok(5),
                         QStringLiteral("开始处理相册(2/3):乙"), failed(1), failed(2), failed(3), failed(4),
                         QStringLiteral("开始处理相册(3/3):甲"), failed(1), ok(2), QStringLiteral("所有相册下载完毕！"),
                         QStringLiteral("其中7张图片下载失败，可按“重新下载保存失败的文件”重试")}));
        QCOMPARE(form().List1->currentRow(), form().List1->count() - 1);

        const QString bar = barFolder(QStringLiteral("故障"));
        auto pair = [&](const char *id, const char *path) {
            return QPair<QString, QString>(TestSupport::pictureUrl(m_server.hostAndPort(), QLatin1String(id)) +
                                               QStringLiteral("\r\n"),
                                           bar + QString::fromUtf8(path) + QStringLiteral("\r\n"));
        };
        const QList<QPair<QString, QString>> failures = {
            pair("f2", "/甲/2.jpg"), pair("f4", "/甲/4.jpg"), pair("g1", "/乙/1.jpg"),     pair("g2", "/乙/2.jpg"),
            pair("g3", "/乙/3.jpg"), pair("g4", "/乙/4.jpg"), pair("h1", "/甲 (53)/1.jpg")};
        QString urls, paths;
        for (const auto &[url, path] : failures) {
            urls += url;
            paths += path;
        }
        QCOMPARE(form().failures().FailedUrls, urls);
        QCOMPARE(form().failures().FailedPaths, paths);
        // The third album shares the first one's title but not its folder. A one-byte body is
        // written but counts as failed.
        verifyPicture(bar + QStringLiteral("/甲 (53)/2.jpg"), QStringLiteral("h2"));
        verifyPicture(bar + QStringLiteral("/甲/1.jpg"), QStringLiteral("f1"));
        QVERIFY(!QFileInfo::exists(bar + QStringLiteral("/甲/2.jpg")));
        QCOMPARE(QFileInfo(bar + QStringLiteral("/乙/3.jpg")).size(), 1);
        QVERIFY(!QFileInfo::exists(bar + QStringLiteral("/乙/1.jpg")));
        QVERIFY(!QFileInfo::exists(bar + QStringLiteral("/乙/2.jpg")));

        // The "once" faults have cleared: a Retry keeps only the picture that still answers 304.
        form().Command2_Click();
        QCOMPARE(form().failures().FailedUrls, failures.at(5).first);
        QCOMPARE(form().failures().FailedPaths, failures.at(5).second);
        // Kept on disk as well, for quillory-cli to retry.
        QCOMPARE(readAll(bar + QStringLiteral("/failed.txt")),
                 failures.at(5).first.chopped(2) + u'\t' + failures.at(5).second.chopped(2) + u'\n');
        verifyPicture(bar + QStringLiteral("/甲 (53)/1.jpg"), QStringLiteral("h1"));
        verifyPicture(bar + QStringLiteral("/甲/1.jpg"), QStringLiteral("f1"));
        verifyPicture(bar + QStringLiteral("/甲/2.jpg"), QStringLiteral("f2"));
        verifyPicture(bar + QStringLiteral("/乙/1.jpg"), QStringLiteral("g1"));
        verifyPicture(bar + QStringLiteral("/乙/3.jpg"), QStringLiteral("g3"));
        QCOMPARE(lines(form().List1).mid(log.size()),
                 QStringList({QStringLiteral("开始重新下载7张下载失败的图片"),
                              QStringLiteral("重新下载完成：成功6张，仍失败1张")}));
        QCOMPARE(form().List1->currentRow(), form().List1->count() - 1);
        form().Command2_Click();
        QCOMPARE(lines(form().List1).mid(log.size() + 2),
                 QStringList({QStringLiteral("开始重新下载1张下载失败的图片"),
                              QStringLiteral("重新下载完成：成功0张，仍失败1张")}));
        QVERIFY(!filesBelow(m_root->path()).join(u'\n').contains(QStringLiteral(".jpg.")));
    }

    void picturesSideBySideKeepTheOneAtATimeResult()
    {
        // Later pictures answer sooner than earlier ones, and some fail.
        load(R"({"bars":[{"name":"并行","albums":[
            {"id":"81","title":"前","pictures":[{"id":"q1","delayMs":700},{"id":"q2","delayMs":600},
                {"id":"q3","status":404,"delayMs":500},{"id":"q4","delayMs":400},{"id":"q5","drop":true},
                {"id":"q6","delayMs":300},"q7",{"id":"q8","delayMs":200},{"id":"q9","status":500},"q10"]},
            {"id":"82","title":"后","pictures":["r1",{"id":"r2","status":404},"r3"]}]}]})");
        const QStringList log = start(QStringLiteral("并行"));
        QCOMPARE(log, QStringList({QStringLiteral("开始获取相册地址！"),
                                   QStringLiteral("获取相册地址完成！并行吧共有2个相册"),
                                   QStringLiteral("开始处理相册(1/2):前"), ok(1), ok(2), failed(3), ok(4), failed(5),
                                   ok(6), ok(7), ok(8), failed(9), ok(10), QStringLiteral("开始处理相册(2/2):后"),
                                   ok(1), failed(2), ok(3), QStringLiteral("所有相册下载完毕！"),
                                   QStringLiteral("其中4张图片下载失败，可按“重新下载保存失败的文件”重试")}));
        const QString bar = barFolder(QStringLiteral("并行"));
        QString urls, paths, failedText;
        for (const auto &[id, path] : {std::pair("q3", "/前/3.jpg"), std::pair("q5", "/前/5.jpg"),
                                       std::pair("q9", "/前/9.jpg"), std::pair("r2", "/后/2.jpg")}) {
            urls += TestSupport::pictureUrl(m_server.hostAndPort(), QLatin1String(id)) + QStringLiteral("\r\n");
            paths += bar + QString::fromUtf8(path) + QStringLiteral("\r\n");
            failedText += TestSupport::pictureUrl(m_server.hostAndPort(), QLatin1String(id)) + u'\t' + bar +
                          QString::fromUtf8(path) + u'\n';
        }
        QCOMPARE(form().failures().FailedUrls, urls);
        QCOMPARE(form().failures().FailedPaths, paths);
        // The same failed.txt as quillory-cli writes, beside the same record.
        QCOMPARE(readAll(bar + QStringLiteral("/failed.txt")), failedText);
        QStringList expected = {QStringLiteral(".quillory-saved"), QStringLiteral("failed.txt")};
        for (int i : {1, 2, 4, 6, 7, 8, 10}) {
            verifyPicture(bar + QStringLiteral("/前/%1.jpg").arg(i), QStringLiteral("q%1").arg(i));
            expected << QStringLiteral("前/%1.jpg").arg(i);
        }
        for (int i : {1, 3}) {
            verifyPicture(bar + QStringLiteral("/后/%1.jpg").arg(i), QStringLiteral("r%1").arg(i));
            expected << QStringLiteral("后/%1.jpg").arg(i);
        }
        expected.sort();
        QCOMPARE(filesBelow(bar), expected);

        QVERIFY2(m_server.mostPicturesAtOnce() <= m_engine->timings().parallelPictures,
                 qPrintable(QString::number(m_server.mostPicturesAtOnce())));
        QVERIFY(m_server.mostPicturesAtOnce() > 1);
        // The first album's slow pictures were still being fetched after the second album's page.
        QStringList targets;
        for (const ForumRequest &r : m_server.requests())
            targets << QString::fromUtf8(r.target);
        const qsizetype nextAlbum = targets.indexOf(QStringLiteral("/p/82"));
        QVERIFY(nextAlbum > 0);
        QVERIFY2(targets.mid(nextAlbum).join(u' ').contains(QStringLiteral("/forum/pic/item/q")),
                 qPrintable(targets.join(u' ')));
    }

    void retryDuringAJobIsRefused()
    {
        load(R"({"bars":[
            {"name":"一","albums":[{"id":"61","title":"x","pictures":[{"id":"r1","status":500,"once":true}]}]},
            {"name":"二","albums":[{"id":"62","title":"y","pictures":[{"id":"s1","delayMs":300},"s2"]}]}]})");
        start(QStringLiteral("一"));
        const QString failedPath = barFolder(QStringLiteral("一")) + QStringLiteral("/x/1.jpg\r\n");
        QCOMPARE(form().failures().FailedPaths, failedPath);
        // Press Retry as the second job begins its album's pictures.
        const QMetaObject::Connection press = connect(
            form().List1->model(), &QAbstractItemModel::rowsInserted, &form(), [this](const QModelIndex &, int row) {
                if (form().List1->item(row)->text() == QStringLiteral("开始处理相册(1/1):y"))
                    form().Command2_Click();
            });
        QCOMPARE(start(QStringLiteral("二")),
                 QStringList({QStringLiteral("开始获取相册地址！"), QStringLiteral("获取相册地址完成！二吧共有1个相册"),
                              QStringLiteral("开始处理相册(1/1):y"),
                              QStringLiteral("已有下载任务在进行，本次重新下载已忽略"), ok(1), ok(2),
                              QStringLiteral("所有相册下载完毕！")}));
        QCOMPARE(form().failures().FailedPaths, failedPath);
        // Once the job is over, Retry takes the failure up.
        disconnect(press);
        form().Command2_Click();
        QCOMPARE(lines(form().List1).mid(lines(form().List1).size() - 2),
                 QStringList({QStringLiteral("开始重新下载1张下载失败的图片"),
                              QStringLiteral("重新下载完成：成功1张，仍失败0张")}));
        QCOMPARE(form().failures().FailedUrls, QString());
        verifyPicture(barFolder(QStringLiteral("一")) + QStringLiteral("/x/1.jpg"), QStringLiteral("r1"));
        verifyPicture(barFolder(QStringLiteral("二")) + QStringLiteral("/y/1.jpg"), QStringLiteral("s1"));
    }

    // Galleries met in the wild, in a suite part of their own.
    void publishedGalleriesAreSavedWhole_data()
    {
        QTest::addColumn<int>("pace");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QJsonArray>("albums");
        QTest::addColumn<QStringList>("before");
        // Galleries built with published libraries: loaders, and virtualised lists that take rows
        // out or point a pool of rows at the next pictures, in the window or a scroll area of
        // their own, or a grid that lets groups of bricks go, or a web component; and a template framework whose bindings name pictures too.
        const auto library = [](const char *keys) {
            static int made = 0;
            QJsonObject album = QJsonDocument::fromJson(keys).object();
            QJsonArray ids;
            for (int i = 1; i <= 20; ++i)
                ids.append(QStringLiteral("l%1x%2").arg(made).arg(i));
            album.insert(QStringLiteral("id"), QString::number(3700 + made));
            album.insert(QStringLiteral("title"), QStringLiteral("库%1").arg(++made));
            album.insert(QStringLiteral("batch"), 5);
            album.insert(QStringLiteral("delayMs"), 100);
            album.insert(QStringLiteral("pictures"), ids);
            return album;
        };
        const QJsonArray libraries{library(R"({"library":"htmx"})"),
                                   library(R"({"library":"masonry"})"),
                                   library(R"({"library":"hyperlist","thumbs":false,"pictureHeight":40})"),
                                   library(R"({"library":"hyperlist","pictureHeight":50})"),
                                   library(R"({"library":"recycle","pictureHeight":40})"),
                                   library(R"({"library":"alpine"})"),
                                   library(R"({"library":"clusterize"})"),
                                   library(R"({"library":"infinitegrid"})"),
                                   library(R"({"library":"lit","thumbs":false,"pictureHeight":40})")};
        QTest::newRow("fixed: galleries of published libraries")
            << int(JobChoices::Pace::Fixed) << 1 << libraries << QStringList();
        QTest::newRow("adaptive: galleries of published libraries, 3 pages")
            << int(JobChoices::Pace::Adaptive) << 3 << libraries << QStringList();
    }

    void publishedGalleriesAreSavedWhole() { savedWhole(); }

    // Batches the adaptive pace can only see as an animation, or as an event stream's deliveries:
    // with pages beside them, each saved as with one. The page pace's still spell is made longer
    // than their waits, so that only those rules can tell that more is coming.
    void unseenBatchesAreWaitedFor_data()
    {
        QTest::addColumn<int>("pace");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QJsonArray>("albums");
        QTest::addColumn<QStringList>("before");
        const QJsonArray unseen{
            gallery(QStringLiteral("nearEnd"), 15, 0, 0, R"({"batchAnimationMs":2500,"batch":5})"),
            gallery(QStringLiteral("nearEnd"), 15, 0, 0, R"({"batchTransitionMs":3000,"batch":5})"),
            gallery(QString(), 20, 10, 0, R"({"batchFrom":"events","pushEveryMs":3000,"batch":5})")};
        QTest::newRow("adaptive: batches behind animations and an event stream, 3 pages")
            << int(JobChoices::Pace::Adaptive) << 3 << unseen << QStringList();
    }

    void unseenBatchesAreWaitedFor()
    {
        const TestSupport::ScopedPagePace longStill(*m_engine, [](PagePace &p) { p.stillMs = 8000; });
        savedWhole();
    }
};

QUILLORY_TEST_MAIN(TestJob)
#include "tst_job.moc"
