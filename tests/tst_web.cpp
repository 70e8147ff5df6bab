#include "tests/testsupport.h"
#include "tests/testwaits.h"
#include "tools/forumsim/forumserver.h"

#include "web/network/bytestobstr.h"
#include "web/network/hostholds.h"
#include "web/network/network.h"
#include "web/network/pagefetch.h"
#include "web/network/picturedownloads.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

Q_DECLARE_METATYPE(FetchResult::Kind)

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

using TestSupport::contents;
using TestSupport::residentBytes;

} // namespace

class TestWeb : public QObject
{
    Q_OBJECT

private:
    Network m_network;
    ForumServer m_server;
    // Another site, that a redirect may name but no fetch may reach.
    ForumServer m_elsewhere;

    QString picture(const QString &id) const { return TestSupport::pictureUrl(m_server.hostAndPort(), id); }

    // Pictures that ask for a rest of 20 s every time they are asked for.
    static constexpr int RefusingPictures = 12;
    static QString refusingForEver()
    {
        QString pictures;
        for (int i = 1; i <= RefusingPictures; ++i)
            pictures += QStringLiteral(R"(,{"id":"rest%1","status":429,"retryAfter":20})").arg(i);
        return pictures;
    }

    // Qt's network threads that were given up on still work through every interim answer or
    // header line the server sent before it closed; they go quiet once they are through. Only so
    // that the next test's timing is its own: on a busy machine they may take longer, and the
    // tests go on all the same.
    static void waitUntilQuiet()
    {
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            const double before = cpuSeconds();
            QTest::qWait(200);
            if (cpuSeconds() - before < 0.05)
                return;
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.listen());
        QVERIFY(m_elsewhere.listen());
        QString error;
        // Slashes escaped: a double slash inside a raw string confuses moc.
        QVERIFY2(m_server.loadJson(QStringLiteral(R"({"bars":[{"name":"测","albums":[{"id":"1","title":"t","pictures":[
            {"id":"empty","body":"empty"},{"id":"one","body":"onebyte"},{"id":"html","body":"html"},
            {"id":"s404","status":404},{"id":"s304","status":304},{"id":"s500","status":500},
            {"id":"slow","delayMs":1500},{"id":"drop","drop":true},{"id":"big","size":200000},
            {"id":"huge","size":100000000},{"id":"steady","size":4000000,"rate":2000000},
            {"id":"steadypage","size":500000,"rate":600000},{"id":"drip","trickleMs":200},
            {"id":"near","redirect":"\/forum\/pic\/item\/p1.jpg"},
            {"id":"away","redirect":"http:\/\/%1\/forum\/pic\/item\/p1.jpg"},{"id":"lie","falseLength":100},
            {"id":"interim","flood":"continue","floodMs":100},{"id":"heads","flood":"headers","floodMs":100},
            {"id":"r429","status":429,"retryAfter":1,"once":true},
            {"id":"r503date","status":503,"retryAfter":1,"retryAfterDate":true,"once":true},
            {"id":"r503long","status":503,"retryAfter":3600,"once":true},{"id":"r503bare","status":503,"once":true},
            {"id":"p429","status":429,"retryAfter":1,"once":true},
            {"id":"p503date","status":503,"retryAfter":1,"retryAfterDate":true,"once":true},
            {"id":"p503bare","status":503,"once":true},{"id":"p429twice","status":429,"retryAfter":1}%2
            ]}]}]})")
                                       .arg(m_elsewhere.hostAndPort(), refusingForEver())
                                       .toUtf8(),
                                   &error),
                 qPrintable(error));
        Timings t;
        t.pictureLimitSeconds = 0.5;
        t.retryAfterLimitSeconds = 1;
        m_network.setTimings(t);
    }

    void init()
    {
        // Qt's own complaints (a reply ended twice, ...) mean a fetch was handled wrongly.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("QNetworkReply")));
    }

    void cleanup()
    {
        const QList<ForumRequest> reached = m_elsewhere.requests();
        QVERIFY2(reached.isEmpty(), reached.isEmpty() ? "" : reached.first().target.constData());
    }

    void getBody_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<double>("limit");
        QTest::addColumn<FetchResult::Kind>("kind");
        QTest::addColumn<QString>("sameBytesAs");
        QTest::addColumn<int>("rest"); // the rest the server asks for, in whole seconds, as announced
        using K = FetchResult::Kind;
        QTest::newRow("200 with a body") << picture(QStringLiteral("p1")) << 5.0 << K::Bytes << "p1" << 0;
        QTest::newRow("200 with an empty body")
            << picture(QStringLiteral("empty")) << 5.0 << K::Bytes << QString() << 0;
        QTest::newRow("404") << picture(QStringLiteral("s404")) << 5.0 << K::NoValue << QString() << 0;
        QTest::newRow("304") << picture(QStringLiteral("s304")) << 5.0 << K::NoValue << QString() << 0;
        QTest::newRow("500") << picture(QStringLiteral("s500")) << 5.0 << K::NoValue << QString() << 0;
        QTest::newRow("slower than the limit")
            << picture(QStringLiteral("slow")) << 0.4 << K::EmptyText << QString() << 0;
        QTest::newRow("no limit at all") << picture(QStringLiteral("p1")) << 0.0 << K::EmptyText << QString() << 0;
        QTest::newRow("connection dropped half-way")
            << picture(QStringLiteral("drop")) << 5.0 << K::NoValue << QString() << 0;
        QTest::newRow("connection refused")
            << QStringLiteral("http://127.0.0.1:1/x") << 5.0 << K::NoValue << QString() << 0;
        QTest::newRow("address refused by the client")
            << QStringLiteral("http://") << 5.0 << K::NoValue << QString() << 0;
        QTest::newRow("not http") << QStringLiteral("nosuch://x/y") << 5.0 << K::NoValue << QString() << 0;
        // The limit is on progress: a steady body longer than the limit arrives whole.
        QTest::newRow("steady, longer than the limit")
            << picture(QStringLiteral("steadypage")) << 0.4 << K::Bytes << "steadypage" << 0;
        QTest::newRow("trickle") << picture(QStringLiteral("drip")) << 0.4 << K::EmptyText << QString() << 0;
        QTest::newRow("redirect within the host") << picture(QStringLiteral("near")) << 5.0 << K::Bytes << "p1" << 0;
        QTest::newRow("redirect to another host")
            << picture(QStringLiteral("away")) << 5.0 << K::NoValue << QString() << 0;
        QTest::newRow("two different lengths") << picture(QStringLiteral("lie")) << 5.0 << K::NoValue << QString() << 0;
        // A server that asks for a rest gets it, and the page is asked once more; the rest is
        // cut to the limit (1 s here), and a refusal without "Retry-After" stands at once.
        QTest::newRow("429 with Retry-After in seconds")
            << picture(QStringLiteral("r429")) << 5.0 << K::Bytes << "r429" << 1;
        QTest::newRow("503 with Retry-After as a date")
            << picture(QStringLiteral("r503date")) << 5.0 << K::Bytes << "r503date" << 1;
        QTest::newRow("Retry-After beyond the limit")
            << picture(QStringLiteral("r503long")) << 5.0 << K::Bytes << "r503long" << 1;
        QTest::newRow("503 without Retry-After")
            << picture(QStringLiteral("r503bare")) << 5.0 << K::NoValue << QString() << 0;
    }

    void getBody()
    {
        QFETCH(QString, address);
        QFETCH(double, limit);
        QFETCH(FetchResult::Kind, kind);
        QFETCH(QString, sameBytesAs);
        QFETCH(int, rest);
        QSignalSpy rests(&m_network.holds(), &HostHolds::holding);
        QElapsedTimer clock;
        clock.start();
        const FetchResult result = GetBody(m_network, address, limit);
        // A date names whole seconds, so the rest it asks for may come out a second shorter.
        const int announced = rests.isEmpty() ? 0 : rests.first().at(1).toInt();
        QVERIFY2(rests.size() <= 1 && announced <= rest && announced >= (address.contains(u"date") ? rest - 1 : rest),
                 qPrintable(QString::number(announced)));
        QVERIFY2(result.kind == kind, qPrintable(result.reason));
        QCOMPARE(result.bytes, sameBytesAs.isEmpty() ? QByteArray() : m_server.pictureBytes(sameBytesAs));
        if (!result.hasBytes())
            QVERIFY(clock.elapsed() < qint64(limit * 1000) + 1000);
        QCOMPARE(BytesToBstr(result, QStringLiteral("gb2312")).isEmpty(), result.bytes.isEmpty());
    }

    // A hostile server gets nothing more than a failed fetch out of the program, in bounded time
    // and memory, and leaves nothing behind that holds up the next fetch.
    void hostileAnswers_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason"); // as a page; a picture says the same of itself
        QTest::newRow("endless body") << "endless" << QStringLiteral("内容过大");
        QTest::newRow("endless announced length") << "endless-length" << QStringLiteral("内容过大");
        QTest::newRow("gzip body without end") << "gzip" << QStringLiteral("内容过大");
        QTest::newRow("interim answers without end") << "continue" << QStringLiteral("超时");
        QTest::newRow("headers without end") << "headers" << QStringLiteral("超时");
    }

    void hostileAnswers()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const TestSupport::ScopedTimings capped(m_network, [](Timings &t) {
            t.maxPageBytes = 4 << 20;
            t.maxPictureBytes = 4 << 20;
            t.pictureLimitSeconds = 1;
        });
        const QString address = QStringLiteral("http://%1/hostile/").arg(m_server.hostAndPort()) + kind;
        const qint64 memoryBefore = residentBytes();
        const FetchResult page = GetBody(m_network, address + QStringLiteral("?page"), 1);
        QVERIFY(!page.hasBytes());
        QCOMPARE(page.reason, reason);
        QVERIFY(GetBody(m_network, picture(QStringLiteral("p1")), 1).hasBytes());

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("1.jpg"));
        const SaveOutcome saved = savePicture(m_network, address + QStringLiteral("?picture"), target);
        QCOMPARE(saved.reason, reason == u"内容过大" ? QStringLiteral("图片过大") : reason);
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QVERIFY(savePicture(m_network, picture(QStringLiteral("p1")), target).saved());
        QVERIFY2(!TestSupport::memoryMeasurable || residentBytes() - memoryBefore < 64 << 20,
                 qPrintable(QString::number(residentBytes() - memoryBefore)));
        waitUntilQuiet();
    }

    void pictureOverTheCapLeavesNoFile()
    {
        const TestSupport::ScopedTimings capped(m_network, [](Timings &t) {
            t.maxPictureBytes = 150000;
            t.pictureLimitSeconds = 5;
        });
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("1.jpg"));
        QCOMPARE(savePicture(m_network, picture(QStringLiteral("big")), target).bytes, qint64(0));
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }

    void largePictureGoesStraightToDisk()
    {
        const TestSupport::ScopedTimings patient(m_network, [](Timings &t) { t.pictureLimitSeconds = 30; });
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("1.jpg"));
        qint64 peak = 0;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] { peak = std::max(peak, residentBytes()); });
        sampler.start(5);
        const qint64 before = residentBytes();
        const qint64 result = savePicture(m_network, picture(QStringLiteral("huge")), target).bytes;
        sampler.stop();
        QCOMPARE(result, qint64(100000000));
        QVERIFY2(!TestSupport::memoryMeasurable || peak - before < 32 << 20,
                 qPrintable(QString::number(peak - before)));
        QCOMPARE(contents(target), m_server.pictureBytes(QStringLiteral("huge")));
    }

    void repliesAreFreedInsideALongWait()
    {
        // A job runs inside a handler of the window's own event loop, so a reply deleted later
        // than its fetch would stay alive until the job ends.
        const QString address = QStringLiteral("http://%1/photo/g?kw=x&pn=1").arg(m_server.hostAndPort());
        QEventLoop outer;
        qint64 growth = 0;
        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < 200; ++i)
                GetBody(m_network, address, 5);
            const qint64 before = residentBytes();
            for (int i = 0; i < 2000; ++i)
                GetBody(m_network, address, 5);
            growth = residentBytes() - before;
            outer.quit();
        });
        outer.exec();
        QVERIFY2(!TestSupport::memoryMeasurable || growth < 8 << 20, qPrintable(QString::number(growth)));
    }

    void requestShape()
    {
        m_server.clearRequests();
        const QString address = QStringLiteral("http://%1/p/1#!/l/p1").arg(m_server.hostAndPort());
        QVERIFY(GetBody(m_network, address, 5).hasBytes());
        QCOMPARE(m_server.requests().size(), 1);
        const ForumRequest request = m_server.requests().first();
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target, QByteArray("/p/1"));
        QCOMPARE(request.headers.value("if-modified-since"), QByteArray("0"));
    }

    void decoding_data()
    {
        QTest::addColumn<FetchResult>("body");
        QTest::addColumn<QString>("text");
        const QString page = QStringLiteral("<a href=\"/photo/g?kw=x&pn=3\">尾页</a>");
        QTest::newRow("markers in GBK") << FetchResult::fromBytes(gbk(page)) << page;
        // 镕 is in GBK but not in GB 2312; pages labelled gb2312 use it all the same.
        QTest::newRow("beyond GB 2312") << FetchResult::fromBytes(gbk(QStringLiteral("朱镕基")))
                                        << QStringLiteral("朱镕基");
        // A character cut off by the end of the body ends as an invalid sequence inside it would.
        QTest::newRow("cut off at the end")
            << FetchResult::fromBytes(gbk(QStringLiteral("你好")).chopped(1)) << QStringLiteral("你\uFFFD");
        QTest::newRow("only a lead byte") << FetchResult::fromBytes(QByteArray("\xC4")) << QStringLiteral("\uFFFD");
        QTest::newRow("four-byte character cut off")
            << FetchResult::fromBytes(QByteArray("a\x81\x30")) << QStringLiteral("a\uFFFD0");
        QTest::newRow("invalid inside unchanged")
            << FetchResult::fromBytes(QByteArray("a\xFF\xC4\nb")) << QStringLiteral("a\uFFFD\uFFFD\nb");
        QTest::newRow("empty bytes") << FetchResult::fromBytes(QByteArray()) << QString();
        QTest::newRow("timeout text") << FetchResult{FetchResult::Kind::TimeoutText, {}, {}} << QString();
        QTest::newRow("no value") << FetchResult{FetchResult::Kind::NoValue, {}, {}} << QString();
        QTest::newRow("empty text") << FetchResult{FetchResult::Kind::EmptyText, {}, {}} << QString();
    }

    void decoding()
    {
        QFETCH(FetchResult, body);
        QFETCH(QString, text);
        QCOMPARE(BytesToBstr(body, QStringLiteral("gb2312")), text);
    }

    void saveJpg_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("existing");
        QTest::addColumn<QString>("folder"); // "" a writable folder, else a folder that cannot take the file
        QTest::addColumn<bool>("saved");
        const QByteArray longer(400000, 'x');
        QTest::newRow("new file") << "p1" << QByteArray() << QString() << true;
        QTest::newRow("over a longer file") << "p2" << longer << QString() << true;
        QTest::newRow("an HTML answer") << "html" << QByteArray() << QString() << true;
        QTest::newRow("empty body") << "empty" << QByteArray() << QString() << false;
        QTest::newRow("empty body over a file") << "empty" << QByteArray("old") << QString() << false;
        QTest::newRow("404 over a file") << "s404" << QByteArray("old") << QString() << false;
        QTest::newRow("timeout") << "slow" << QByteArray() << QString() << false;
        QTest::newRow("timeout over a file") << "slow" << QByteArray("old") << QString() << false;
        QTest::newRow("dropped over a file") << "drop" << QByteArray("old") << QString() << false;
        // 4 MB in about 2 s, four times the limit: it keeps coming, so it is kept.
        QTest::newRow("throttled, steady") << "steady" << QByteArray() << QString() << true;
        QTest::newRow("trickle") << "drip" << QByteArray() << QString() << false;
        QTest::newRow("trickle over a file") << "drip" << QByteArray("old") << QString() << false;
        QTest::newRow("redirect within the host") << "near" << QByteArray() << QString() << true;
        QTest::newRow("redirect to another host") << "away" << QByteArray() << QString() << false;
        QTest::newRow("two different lengths") << "lie" << QByteArray() << QString() << false;
        QTest::newRow("two different lengths over a file") << "lie" << QByteArray("old") << QString() << false;
        QTest::newRow("429 with Retry-After in seconds") << "p429" << QByteArray() << QString() << true;
        QTest::newRow("503 with Retry-After as a date") << "p503date" << QByteArray() << QString() << true;
        QTest::newRow("503 without Retry-After") << "p503bare" << QByteArray() << QString() << false;
        QTest::newRow("429 again after the rest") << "p429twice" << QByteArray("old") << QString() << false;
        QTest::newRow("missing folder") << "p1" << QByteArray() << "missing/deeper" << false;
        QTest::newRow("folder nobody may write") << "p1" << QByteArray() << "/proc/self" << false;
    }

    void saveJpg()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, existing);
        QFETCH(QString, folder);
        QFETCH(bool, saved);
        QTemporaryDir dir;
        const QString target = (folder.isEmpty()          ? dir.path()
                                : folder.startsWith(u'/') ? folder
                                                          : dir.filePath(folder)) +
                               QStringLiteral("/1.jpg");
        if (!existing.isEmpty()) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(existing) == existing.size());
        }
        // The HTML answer is not a picture, and a redirect brings another's bytes.
        const QByteArray bytes =
            id == u"html" || id == u"near" ? GetBody(m_network, picture(id), 5).bytes : m_server.pictureBytes(id);
        QVERIFY(!bytes.isEmpty() || !saved);
        const qint64 result = savePicture(m_network, picture(id), target).bytes;
        QCOMPARE(result, saved ? qint64(bytes.size()) : qint64(0));
        if (saved)
            QCOMPARE(contents(target), bytes);
        else
            QCOMPARE(QFileInfo::exists(target) ? contents(target) : QByteArray(), existing);
        // No temporary file is left beside the picture.
        if (folder.isEmpty())
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                     QFileInfo::exists(target) ? QStringList{QStringLiteral("1.jpg")} : QStringList{});
    }

    // One picture whose answer holds its network line fails alone: the pictures asked for at the
    // same moment, and those after it, arrive; so they do again when the failed one is retried.
    // What the rests a host asks for add up to. Each step: "rest <ms>" (a rest asked for),
    // "answer" (an answer that asked none) or "job" (a job begins).
    void hostHolds_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<qint64>("leftAtLeastMs"); // how long the host is still held, far from the steps' own time
        QTest::addColumn<qint64>("leftAtMostMs");
        QTest::addColumn<int>("restsSaid");
        QTest::addColumn<bool>("givenUp");
        QTest::addColumn<int>("givingUpSaid");
        const auto times = [](int n, const QString &step) { return QStringList(n, step); };
        const QString longRest = QStringLiteral("rest 600000");
        QTest::newRow("one rest") << QStringList{longRest} << qint64(300000) << qint64(600000) << 1 << false << 0;
        QTest::newRow("a shorter rest does not cut a longer one short")
            << QStringList{longRest, QStringLiteral("rest 1000")} << qint64(300000) << qint64(600000) << 1 << false
            << 0;
        QTest::newRow("a longer rest lengthens a shorter one, unsaid")
            << QStringList{QStringLiteral("rest 1000"), longRest} << qint64(300000) << qint64(600000) << 1 << false
            << 0;
        QTest::newRow("a rest of nothing holds nothing")
            << QStringList{QStringLiteral("rest 0")} << qint64(0) << qint64(0) << 0 << false << 0;
        QTest::newRow("four rests in a row")
            << times(4, longRest) << qint64(300000) << qint64(600000) << 1 << false << 0;
        QTest::newRow("five rests in a row give the host up")
            << times(5, longRest) << qint64(300000) << qint64(600000) << 1 << true << 1;
        QTest::newRow("five rests of nothing")
            << times(5, QStringLiteral("rest 0")) << qint64(0) << qint64(0) << 0 << true << 1;
        QTest::newRow("given up, said once")
            << times(8, longRest) << qint64(300000) << qint64(600000) << 1 << true << 1;
        QTest::newRow("an answer in between counts afresh")
            << times(3, longRest) + QStringList{QStringLiteral("answer")} + times(4, longRest) << qint64(300000)
            << qint64(600000) << 1 << false << 0;
        QTest::newRow("an answer after giving up changes nothing")
            << times(5, longRest) + QStringList{QStringLiteral("answer")} << qint64(300000) << qint64(600000) << 1
            << true << 1;
        QTest::newRow("the next job asks again")
            << times(5, longRest) + QStringList{QStringLiteral("job")} + times(4, longRest) << qint64(300000)
            << qint64(600000) << 1 << false << 1;
        QTest::newRow("and may give up again")
            << times(5, longRest) + QStringList{QStringLiteral("job")} + times(5, longRest) << qint64(300000)
            << qint64(600000) << 1 << true << 2;
    }

    void hostHolds()
    {
        QFETCH(QStringList, steps);
        QFETCH(qint64, leftAtLeastMs);
        QFETCH(qint64, leftAtMostMs);
        QFETCH(int, restsSaid);
        QFETCH(bool, givenUp);
        QFETCH(int, givingUpSaid);
        HostHolds &holds = m_network.holds();
        // A host of its own per row, which no request ever reaches.
        const QString host = QStringLiteral("holds-%1.invalid").arg(QString::fromUtf8(QTest::currentDataTag()));
        const auto forget = qScopeGuard([&holds] { holds.forgetGivenUp(); });
        holds.forgetGivenUp();
        QSignalSpy rests(&holds, &HostHolds::holding);
        QSignalSpy givingUp(&holds, &HostHolds::givingUp);
        for (const QString &step : steps) {
            if (step.startsWith(u"rest "))
                holds.hold(host, step.mid(5).toLongLong());
            else if (step == u"answer")
                holds.answered(host);
            else
                holds.forgetGivenUp();
        }
        QVERIFY2(holds.msLeft(host) >= leftAtLeastMs && holds.msLeft(host) <= leftAtMostMs,
                 qPrintable(QString::number(holds.msLeft(host))));
        QCOMPARE(rests.size(), restsSaid);
        QCOMPARE(holds.givenUp(host), givenUp);
        QCOMPARE(givingUp.size(), givingUpSaid);
        for (const QList<QVariant> &said : givingUp)
            QCOMPARE(said.first().toString(), host);
    }

    // A host that asks for a rest every time: once it has asked Timings::restsBeforeGivingUp
    // times in a row, the pictures still to come to it fail without being asked for, until the
    // next job; its rests are cut to 1 s here.
    void hostAskingRestAfterRest()
    {
        HostHolds &holds = m_network.holds();
        const auto forget = qScopeGuard([&holds] { holds.forgetGivenUp(); });
        holds.forgetGivenUp();
        QSignalSpy givingUp(&holds, &HostHolds::givingUp);
        m_server.clearRequests();
        QTemporaryDir dir;
        QObject asker;
        QHash<QString, SaveOutcome> outcomes;
        const auto fetch = [&](const QString &id) {
            m_network.pictures().fetch(picture(id), dir.filePath(id + QStringLiteral(".jpg")), &asker,
                                       [&outcomes, id](const SaveOutcome &outcome) { outcomes.insert(id, outcome); });
        };
        for (int i = 1; i <= RefusingPictures; ++i)
            fetch(QStringLiteral("rest%1").arg(i));
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), RefusingPictures, 30000);
        int notAsked = 0;
        for (const SaveOutcome &outcome : std::as_const(outcomes)) {
            QVERIFY(!outcome.saved());
            notAsked += outcome.reason == u"服务器一直要求暂停";
        }
        const int asked = int(TestSupport::picturesAsked(m_server).size());
        QVERIFY2(asked < RefusingPictures && notAsked > 0, qPrintable(QString::number(asked)));
        QCOMPARE(givingUp.size(), 1);
        QCOMPARE(givingUp.first().first().toString(), m_server.hostAndPort());
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        // Until the next job, a sound picture of the host is not asked for either; then it is.
        outcomes.clear();
        m_server.clearRequests();
        fetch(QStringLiteral("p1"));
        QTRY_COMPARE(outcomes.size(), 1);
        QCOMPARE(outcomes.value(QStringLiteral("p1")).reason, QStringLiteral("服务器一直要求暂停"));
        QVERIFY(TestSupport::picturesAsked(m_server).isEmpty());
        holds.forgetGivenUp();
        outcomes.clear();
        fetch(QStringLiteral("p1"));
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 1, 10000);
        QVERIFY2(outcomes.value(QStringLiteral("p1")).saved(), qPrintable(outcomes.value(QStringLiteral("p1")).reason));
    }

    void oneHostilePictureAmongEight_data()
    {
        QTest::addColumn<QString>("hostile");
        QTest::newRow("interim answers without end") << "interim";
        QTest::newRow("headers without end") << "heads";
    }

    void oneHostilePictureAmongEight()
    {
        QFETCH(QString, hostile);
        // Nor does this thread ever wait for a line that was given up on.
        QElapsedTimer sinceTick;
        sinceTick.start();
        qint64 longestGap = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
        ticker.start(10);
        for (int round = 0; round < 2; ++round) {
            QTemporaryDir dir;
            QObject asker;
            QHash<QString, SaveOutcome> outcomes;
            QStringList ids{hostile};
            for (int i = 1; i < 8; ++i)
                ids << QStringLiteral("n%1-%2").arg(round).arg(i);
            for (const QString &id : ids) {
                m_network.pictures().fetch(
                    picture(id), dir.filePath(id + QStringLiteral(".jpg")), &asker,
                    [&outcomes, id](const SaveOutcome &outcome) { outcomes.insert(id, outcome); });
            }
            QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 8, 10000);
            QCOMPARE(outcomes.value(hostile).reason, QStringLiteral("超时"));
            for (const QString &id : ids.mid(1))
                QVERIFY2(outcomes.value(id).saved(), qPrintable(id + u' ' + outcomes.value(id).reason));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 7);
        }
        waitUntilQuiet();
        QVERIFY2(longestGap < 1000, qPrintable(QString::number(longestGap)));
    }

    void oneByteBodyIsWritten()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("1.jpg"));
        QCOMPARE(savePicture(m_network, picture(QStringLiteral("one")), target).bytes, qint64(1));
        QCOMPARE(QFileInfo(target).size(), 1);
    }

    void readOnlyFolder()
    {
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
        if (QFile(dir.filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly))
            QSKIP("permissions do not bind this user (root); the /proc row covers an unwritable folder");
        QCOMPARE(savePicture(m_network, picture(QStringLiteral("p1")), dir.filePath(QStringLiteral("1.jpg"))).bytes,
                 qint64(0));
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void fullDiskKeepsTheOldFile()
    {
        // A file-size limit makes the write fail the way a full disk does.
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("1.jpg"));
        {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
        }
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 50000;
        setrlimit(RLIMIT_FSIZE, &small);
        const qint64 result = savePicture(m_network, picture(QStringLiteral("big")), target).bytes;
        setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(result, qint64(0));
        QCOMPARE(contents(target), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("1.jpg")});
    }
};

QTEST_GUILESS_MAIN(TestWeb)
#include "tst_web.moc"
