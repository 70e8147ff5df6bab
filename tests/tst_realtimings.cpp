#include "app/form1.h"
#include "tests/widgetsupport.h"
#include "tools/forumsim/forumserver.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

// One whole album with the timings the program ships with, untouched by any test.
class TestRealTimings : public QObject
{
    Q_OBJECT

private slots:
    void shippedTimings()
    {
        const EngineSettings shipped = EngineSettings::shipped();
        const Timings &t = shipped.timings;
        QCOMPARE(t.pageLimitSeconds, 5.0);
        QCOMPARE(t.pictureLimitSeconds, 10.0);
        const PagePace &pace = shipped.pagePace;
        QCOMPARE(pace.afterLoadMs, 2500);
        QCOMPARE(pace.scrollSteps, 10);
        QCOMPARE(pace.scrollStepPixels, 1000);
        QCOMPARE(pace.scrollStepMs, 150);
        QCOMPARE(pace.afterScrollMs, 2500);
    }

    void wholeAlbum()
    {
        ForumServer server;
        QVERIFY(server.listen());
        QVERIFY(server.loadJson(R"({"bars":[{"name":"真","albums":[
            {"id":"1","title":"实","batch":2,"delayMs":3000,"pictures":["a","b","c","d"]}]}]})"));
        QTemporaryDir folder;
        EngineSettings settings = EngineSettings::shipped();
        settings.folders.program = folder.path();
        settings.hosts = Hosts{server.hostAndPort(), server.hostAndPort()};
        Engine engine(settings);
        Form1 form(engine);
        form.setExitHandler([] {});
        form.show();
        form.Text1->setText(QStringLiteral("真"));
        QElapsedTimer clock;
        clock.start();
        form.Command1_Click();
        const qint64 elapsed = clock.elapsed();
        const QStringList log = TestSupport::lines(form.List1);
        QCOMPARE(log.size(), 8);
        QCOMPARE(log.at(2), QStringLiteral("开始处理相册(1/1):实"));
        QCOMPARE(log.at(6), QStringLiteral("第1页,第4张下载成功！"));
        // A batch shows 3 s after a scroll, so the pictures need two passes and a third finds
        // nothing new: 2.5 s after loading and 4 s a pass, at the least.
        QVERIFY2(elapsed >= 2500 + 3 * 4000, qPrintable(QString::number(elapsed)));
    }
};

QUILLORY_TEST_MAIN(TestRealTimings)
#include "tst_realtimings.moc"
