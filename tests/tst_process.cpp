#include "tests/widgetsupport.h"
#include "tools/forumsim/forumserver.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

namespace {

QString driver()
{
    return qEnvironmentVariable("QUILLORY_BUILD_DIR") + QStringLiteral("/tests/jobdriver");
}

QString program()
{
    return qEnvironmentVariable("QUILLORY_BUILD_DIR") + QStringLiteral("/quillory");
}

// The test's own environment without any display or platform choice.
QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name :
         {QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM")})
        env.remove(name);
    return env;
}

// The web engine's helper processes whose environment carries `mark`: those of one job, however
// many other browsers (other suites, run side by side) the machine has.
int browserHelpers(const QByteArray &mark)
{
    int count = 0;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        QFile environment(QStringLiteral("/proc/%1/environ").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("QtWebEngineProcess") &&
            environment.open(QIODevice::ReadOnly) && environment.readAll().contains(mark))
            ++count;
    }
    return count;
}

// The process `root` and everything started below it that is still alive.
QSet<qint64> processTree(qint64 root)
{
    QHash<qint64, qint64> parents;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1)
            parents.insert(pid.toLongLong(), fields.at(1).toLongLong());
    }
    QSet<qint64> tree{root};
    for (qsizetype before = 0; before != tree.size();) {
        before = tree.size();
        for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
            if (tree.contains(it.value()))
                tree.insert(it.key());
        }
    }
    return tree;
}

// A zombie counts as gone: whoever adopted it may never reap it.
bool anyAlive(const QSet<qint64> &pids)
{
    return std::any_of(pids.cbegin(), pids.cend(), [](qint64 pid) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            return false;
        const QByteArray line = stat.readAll();
        return line.mid(line.lastIndexOf(')') + 2, 1) != "Z";
    });
}

// The resident memory of a process and all its descendants, in bytes.
qint64 residentBytesOfTree(qint64 root)
{
    qint64 bytes = 0;
    for (qint64 pid : processTree(root)) {
        QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
        if (statm.open(QIODevice::ReadOnly))
            bytes += statm.readAll().split(' ').value(1).toLongLong() * 4096;
    }
    return bytes;
}

} // namespace

class TestProcess : public QObject
{
    Q_OBJECT

private:
    ForumServer m_server;

private slots:
    void initTestCase()
    {
        QVERIFY(QFileInfo(driver()).isExecutable());
        QVERIFY(m_server.listen());
        QString error;
        QVERIFY2(m_server.loadJson(R"({"bars":[
            {"name":"慢图","albums":[{"id":"1","title":"t","pictures":["a",{"id":"b","delayMs":60000}]}]},
            {"name":"洪","albums":[{"id":"7","title":"t","pictures":["h1",{"id":"h2","flood":"continue"},
                {"id":"h3","flood":"continue"},{"id":"h4","flood":"continue"},{"id":"h5","flood":"continue"}]}]},
            {"name":"大图","albums":[{"id":"2","title":"t","pictures":[
                {"id":"c1","size":3000000},{"id":"c2","size":3000000,"delayMs":100},{"id":"c3","size":3000000},
                {"id":"c4","size":3000000,"delayMs":100},{"id":"c5","size":3000000},{"id":"c6","size":3000000},{"id":"c7","size":3000000,"delayMs":1500}]}]},
            {"name":"歇","pageRetryAfter":{"1":60},"albums":[{"id":"6","title":"t","pictures":["f1"]}]},
            {"name":"卡死","albums":[{"id":"3","title":"t","script":"while (true) {}","pictures":["d1"]}]},
            {"name":"膨胀","albums":[{"id":"4","title":"t","pictures":["e1"],"script":
                "var d = document.createElement('div'); d.style.display = 'none'; document.body.appendChild(d); for (var i = 0; ; i++) d.append('x'.repeat(1 << 24) + i);"},
                {"id":"5","title":"后","pictures":["e2"]}]}]})",
                                   &error),
                 qPrintable(error));
    }

    void closingInsideAWaitEndsAtOnce_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<int>("closeAfterMs");
        QTest::addColumn<QString>("lastLine");
        // The window closes that long after the line: inside the wait that follows it, however
        // long the job took to come there. Each wait lasts far longer than the bound below.
        QTest::newRow("in a list-page fetch")
            << QStringLiteral("silent") << 600 << QStringLiteral("开始获取相册地址！");
        QTest::newRow("in a picture fetch") << QStringLiteral("慢图") << 500 << QStringLiteral("第1页,第1张下载成功！");
        QTest::newRow("in a rest the server asked for")
            << QStringLiteral("歇") << 1000 << QStringLiteral("服务器要求暂停60秒后再试：") + m_server.hostAndPort();
        QTest::newRow("on a hung album page")
            << QStringLiteral("卡死") << 2000 << QStringLiteral("获取相册地址完成！卡死吧共有1个相册");
        QTest::newRow("on a page building text without end")
            << QStringLiteral("膨胀") << 1000 << QStringLiteral("获取相册地址完成！膨胀吧共有2个相册");
        // Each flood holds a network line's thread, which Qt would wait 5 s for at the end.
        QTest::newRow("with network lines held by floods")
            << QStringLiteral("洪") << 1000 << QStringLiteral("第1页,第1张下载成功！");
    }

    void closingInsideAWaitEndsAtOnce()
    {
        QFETCH(QString, bar);
        QFETCH(int, closeAfterMs);
        QFETCH(QString, lastLine);
        QTcpServer silent; // accepts and never answers
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const QString host =
            bar == u"silent" ? QStringLiteral("127.0.0.1:%1").arg(silent.serverPort()) : m_server.hostAndPort();
        QTemporaryDir folder;
        const QByteArray tag = QByteArray::number(QRandomGenerator::global()->generate64());
        const QByteArray mark = "QUILLORY_TEST_JOB=" + tag;
        QProcess job;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUILLORY_TEST_JOB"), QString::fromLatin1(tag));
        job.setProcessEnvironment(environment);
        QElapsedTimer sinceClose;
        connect(&job, &QProcess::readyReadStandardError, this, [&] {
            if (!sinceClose.isValid() && job.peek(1 << 20).contains("closing"))
                sinceClose.start();
        });
        job.setReadChannel(QProcess::StandardError);
        job.start(driver(), {host, folder.path(), bar, QString::number(closeAfterMs), lastLine});
        QVERIFY(job.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(job.state() == QProcess::NotRunning, 30000);
        QVERIFY(sinceClose.isValid());
        // Ending at once takes well under a second on an idle machine; the work left, or a wait for
        // a held line, 20 s or more. The bound lies far from both.
        QVERIFY2(sinceClose.elapsed() < 10000, qPrintable(QString::number(sinceClose.elapsed())));
        QCOMPARE(job.exitStatus(), QProcess::NormalExit);
        QCOMPARE(job.exitCode(), 0);
        const QString out = QString::fromUtf8(job.readAllStandardError());
        const QString afterClose = out.section(QStringLiteral("closing\n"), 1);
        QVERIFY2(afterClose.trimmed().isEmpty(), qPrintable(afterClose));
        const QString beforeClose = out.section(QStringLiteral("closing\n"), 0, 0);
        QVERIFY2(beforeClose.contains(lastLine + u'\n'), qPrintable(beforeClose));
        QVERIFY(!out.contains(QStringLiteral("所有相册下载完毕！")));
        // The engine's helper processes go with the program: each leaves once it finds the program
        // gone, which beside a busy core takes seconds.
        QTRY_COMPARE_WITH_TIMEOUT(browserHelpers(mark), 0, 30000);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("display"); // DISPLAY, when set
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out"); // a pattern for the whole of standard output
        QTest::addColumn<QString>("err"); // ... and of standard error
        QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << QString() << 0
                                   << QStringLiteral("quillory \\d+\\.\\d+(\\.\\d+)?\n") << QString();
        QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << QString() << 0
                                << QStringLiteral("Usage: quillory [^\\n]*\n(.*\n)*") << QString();
        QTest::newRow("no display") << QStringList() << QString() << 1 << QString()
                                    << QStringLiteral("quillory: cannot open its window: no display [^\\n]*\n");
        QTest::newRow("display that does not answer")
            << QStringList() << QStringLiteral(":97") << 1 << QString()
            << QStringLiteral("quillory: cannot open its window: [^\\n]*:97[^\\n]*\n");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, display);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QVERIFY(!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X97")));
        QProcessEnvironment env = withoutDisplay();
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        QProcess quillory;
        quillory.setProcessEnvironment(env);
        quillory.start(program(), arguments);
        QVERIFY(quillory.waitForFinished(30000));
        QCOMPARE(quillory.exitStatus(), QProcess::NormalExit);
        QCOMPARE(quillory.exitCode(), exitCode);
        const QString stdOut = QString::fromUtf8(quillory.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(quillory.readAllStandardError());
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(out)).match(stdOut).hasMatch(),
                 qPrintable(stdOut));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(err)).match(stdErr).hasMatch(),
                 qPrintable(stdErr));
    }

    void startsWithoutTheSandboxVariable()
    {
        // As root the web engine's sandbox would end the program at once; the program turns it off.
        QProcessEnvironment env = withoutDisplay();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"));
        QProcess quillory;
        quillory.setProcessEnvironment(env);
        quillory.start(program(), {});
        QVERIFY(quillory.waitForStarted());
        QVERIFY(!quillory.waitForFinished(4000));
        const QSet<qint64> started = processTree(quillory.processId());
        QVERIFY(started.size() > 1); // the web engine's helpers run
        quillory.kill();
        QVERIFY(quillory.waitForFinished());
        const QString stdErr = QString::fromUtf8(quillory.readAllStandardError());
        QVERIFY2(!stdErr.contains(QStringLiteral("without --no-sandbox")), qPrintable(stdErr));
        // The helpers go with the program, and leave nothing behind for the other tests.
        QTRY_VERIFY_WITH_TIMEOUT(!anyAlive(started), 5000);
    }

    // The page costs its renderer, not the machine: the job goes on to the next album, and the
    // program with all its engine processes stays well below the gigabytes.
    void pageBuildingTextWithoutEndStaysBounded()
    {
        constexpr qint64 MiB = 1024 * 1024;
        QTemporaryDir folder;
        QProcess job;
        job.setReadChannel(QProcess::StandardError);
        job.start(driver(), {m_server.hostAndPort(), folder.path(), QStringLiteral("膨胀")});
        QVERIFY(job.waitForStarted());
        qint64 peak = 0;
        QElapsedTimer clock;
        clock.start();
        while (job.state() != QProcess::NotRunning && clock.elapsed() < 60000) {
            peak = std::max(peak, residentBytesOfTree(job.processId()));
            if (peak > 4096 * MiB)
                break; // spare the machine
            QTest::qWait(50);
        }
        if (job.state() != QProcess::NotRunning) {
            job.kill();
            job.waitForFinished();
        }
        QVERIFY2(peak < 2048 * MiB, qPrintable(QString::number(peak / MiB)));
        QCOMPARE(job.exitCode(), 0);
        const QString out = QString::fromUtf8(job.readAllStandardError());
        QVERIFY2(out.contains(QStringLiteral(
                     "\n开始处理相册(1/2):4\n开始处理相册(2/2):后\n第1页,第1张下载成功！\n所有相册下载完毕！\n")),
                 qPrintable(out));
        QCOMPARE(TestSupport::filesBelow(folder.path() + QStringLiteral("/膨胀吧")),
                 QStringList({QStringLiteral(".quillory-saved"), QStringLiteral("后/1.jpg")}));
    }

    void killedMidJobLeavesNoPartialPicture_data()
    {
        QTest::addColumn<int>("extraMs");
        for (int ms : {0, 40, 120, 250})
            QTest::newRow(qPrintable(QStringLiteral("%1 ms after a picture").arg(ms))) << ms;
    }

    void killedMidJobLeavesNoPartialPicture()
    {
        QFETCH(int, extraMs);
        QTemporaryDir folder;
        QProcess job;
        job.setReadChannel(QProcess::StandardError);
        job.start(driver(), {m_server.hostAndPort(), folder.path(), QStringLiteral("大图")});
        QVERIFY(job.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(job.peek(1 << 20).contains("张下载"), 30000);
        QTest::qWait(extraMs);
        job.kill();
        QVERIFY(job.waitForFinished());
        const QString album = folder.path() + QStringLiteral("/大图吧/t");
        const QStringList left = TestSupport::filesBelow(album);
        QVERIFY(!left.isEmpty());
        for (const QString &name : left) {
            QVERIFY2(name.endsWith(QStringLiteral(".jpg")) && !name.startsWith(u'.'), qPrintable(name));
            QFile file(album + u'/' + name);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY2(file.readAll() == m_server.pictureBytes(QStringLiteral("c") + name.chopped(4)), qPrintable(name));
        }
    }
};

QUILLORY_TEST_MAIN(TestProcess)
#include "tst_process.moc"
