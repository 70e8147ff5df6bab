#include "tests/recordingfilecalls.h"
#include "tests/testsupport.h"
#include "tests/testwaits.h"
#include "tools/forumsim/forumserver.h"

#include "job/pictures/picturescan.h"
#include "job/records/albumfile.h"
#include "job/records/failurefile.h"
#include "job/records/resumerecord.h"
#include "web/network/bytestobstr.h"
#include "web/network/hostholds.h"
#include "web/network/network.h"
#include "web/network/networklines.h"
#include "web/network/pagefetch.h"
#include "web/network/picturedownloads.h"
#include "web/network/pictureend.h"

#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

Q_DECLARE_METATYPE(FetchResult::Kind)
Q_DECLARE_METATYPE(PictureEnd::Verdict)

namespace {

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

using TestSupport::contents;
using TestSupport::residentBytes;

// The managers of the first network lines of `network` as they are when it is made. Deleting a manager waits
// for its network thread, which a hostile answer may hold for seconds: one that was given up on
// must go on a thread of its own, never on this one, whose window would stand still meanwhile.
class LineManagers final
{
public:
    LineManagers(QObject *context, NetworkLines &network, int lines)
        : m_network(network)
    {
        for (int line = 0; line < lines; ++line) {
            auto gone = std::make_shared<std::atomic<int>>(Alive);
            QNetworkAccessManager *manager = network.manager(line);
            QObject::connect(
                manager, &QObject::destroyed, context,
                [gone] {
                    *gone =
                        QThread::currentThread() == QCoreApplication::instance()->thread() ? GoneHere : GoneElsewhere;
                },
                Qt::DirectConnection);
            m_lines.push_back({line, manager, gone});
        }
    }

    // Whether every manager given up on since is gone (on whichever thread).
    bool givenUpAreGone() const
    {
        for (const Line &line : m_lines) {
            if (*line.gone == Alive && m_network.manager(line.line) != line.manager)
                return false;
        }
        return true;
    }

    bool anyGoneHere() const
    {
        for (const Line &line : m_lines) {
            if (*line.gone == GoneHere)
                return true;
        }
        return false;
    }

private:
    enum { Alive, GoneHere, GoneElsewhere };
    struct Line
    {
        int line;
        QNetworkAccessManager *manager; // only compared, never followed
        std::shared_ptr<std::atomic<int>> gone;
    };
    NetworkLines &m_network;
    std::vector<Line> m_lines;
};

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

    // Fetches picture `id` into `target` and waits, as the test waits, for its outcome.
    SaveOutcome fetchPicture(const QString &id, const QString &target)
    {
        std::optional<SaveOutcome> outcome;
        QObject asker;
        m_network.pictures().fetch(picture(id), target, &asker,
                                   [&outcome](const SaveOutcome &done) { outcome = done; });
        if (!QTest::qWaitFor([&outcome] { return outcome.has_value(); }, 60000))
            return SaveOutcome{0, QStringLiteral("no outcome")};
        return *outcome;
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
            {"id":"slow","delayMs":6000},{"id":"drop","drop":true},{"id":"big","size":200000},
            {"id":"huge","size":100000000},{"id":"steady","size":2000000,"rate":500000},
            {"id":"steadypage","size":300000,"rate":100000},{"id":"drip","trickleMs":200},
            {"id":"near","redirect":"\/forum\/pic\/item\/p1.jpg"},
            {"id":"away","redirect":"http:\/\/%1\/forum\/pic\/item\/p1.jpg"},{"id":"lie","falseLength":100},
            {"id":"interim","flood":"continue","floodMs":100},{"id":"heads","flood":"headers","floodMs":100},
            {"id":"r429","status":429,"retryAfter":1,"once":true},
            {"id":"r503date","status":503,"retryAfter":1,"retryAfterDate":true,"once":true},
            {"id":"r503long","status":503,"retryAfter":3600,"once":true},{"id":"r503bare","status":503,"once":true},
            {"id":"p429","status":429,"retryAfter":1,"once":true},
            {"id":"p503date","status":503,"retryAfter":1,"retryAfterDate":true,"once":true},
            {"id":"p503bare","status":503,"once":true},{"id":"p429twice","status":429,"retryAfter":1},
            {"id":"shortjpg","shortLength":3000,"size":20000},{"id":"cutjpg","cutAt":3000},
            {"id":"shortgif","format":"gif","shortLength":300},{"id":"cutpng","format":"png","cutAt":3000},
            {"id":"cutgif","format":"gif","cutAt":300},{"id":"cutwebp","format":"webp","cutAt":50},
            {"id":"png","format":"png"},{"id":"gif","format":"gif"},{"id":"webp","format":"webp"},
            {"id":"padpng","format":"png","size":60000},{"id":"padgif","format":"gif","size":5000},
            {"id":"padwebp","format":"webp","size":500},{"id":"padcut","cutAt":15000,"size":20000}%2
            ]}]}]})")
                                       .arg(m_elsewhere.hostAndPort(), refusingForEver())
                                       .toUtf8(),
                                   &error),
                 qPrintable(error));
        // A picture that arrives must never race its limit, whatever the machine's load: only the
        // rows about running out of time shorten it.
        Timings t;
        t.pictureLimitSeconds = 10;
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
        // The limit is on progress: a steady body three times as long as the limit arrives whole.
        QTest::newRow("steady, longer than the limit")
            << picture(QStringLiteral("steadypage")) << 1.0 << K::Bytes << "steadypage" << 0;
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
        // A fetch that fails ends at its limit, not with the answer it waited for (6 s for the slow
        // picture): seconds apart, so that a busy machine's late timers do not count.
        if (!result.hasBytes())
            QVERIFY2(clock.elapsed() < qint64(limit * 1000) + 4000, qPrintable(QString::number(clock.elapsed())));
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
        // The answers that must run out of time get a short limit; those cut off at the cap get
        // one they never come near, however slowly a busy machine packs and unpacks them.
        const double limit = reason == u"超时" ? 1 : 30;
        const TestSupport::ScopedTimings capped(m_network, [limit](Timings &t) {
            t.maxPageBytes = 4 << 20;
            t.maxPictureBytes = 4 << 20;
            t.pictureLimitSeconds = limit;
        });
        const LineManagers lines(this, m_network.lines(), 2);
        const QString address = QStringLiteral("http://%1/hostile/").arg(m_server.hostAndPort()) + kind;
        const qint64 memoryBefore = residentBytes();
        const FetchResult page = GetBody(m_network, address + QStringLiteral("?page"), limit);
        QVERIFY(!page.hasBytes());
        QCOMPARE(page.reason, reason);

        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("1.jpg"));
        const SaveOutcome saved = savePicture(m_network, address + QStringLiteral("?picture"), target);
        QCOMPARE(saved.reason, reason == u"内容过大" ? QStringLiteral("图片过大") : reason);
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
        {
            const TestSupport::ScopedTimings patient(m_network, [](Timings &t) { t.pictureLimitSeconds = 30; });
            QVERIFY(GetBody(m_network, picture(QStringLiteral("p1")), 30).hasBytes());
            QVERIFY(savePicture(m_network, picture(QStringLiteral("p1")), target).saved());
        }
        // Far above the caps of 4 MiB and what Qt and the threads of the lines given up on hold
        // besides; a cap that failed would reach it within a second.
        QVERIFY2(!TestSupport::memoryMeasurable || residentBytes() - memoryBefore < 128 << 20,
                 qPrintable(QString::number(residentBytes() - memoryBefore)));
        // A line given up on ends once its thread is through with what the server sent.
        QTRY_VERIFY_WITH_TIMEOUT(lines.givenUpAreGone(), 60000);
        QVERIFY(!lines.anyGoneHere());
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
        qsizetype alive = -1;
        int failed = 0;
        QTimer::singleShot(0, this, [&] {
            for (int i = 0; i < 300; ++i)
                failed += GetBody(m_network, address, 30).hasBytes() ? 0 : 1;
            alive = m_network.lines().manager(0)->findChildren<QNetworkReply *>().size();
            outer.quit();
        });
        outer.exec();
        QCOMPARE(failed, 0);
        // The last reply goes with the loop's next turn; none of the 299 before it is left.
        QVERIFY2(alive >= 0 && alive <= 1, qPrintable(QString::number(alive)));
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

    // Where a picture's own format says it ends, whatever its answer's headers said.
    void pictureEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<PictureEnd::Verdict>("verdict");
        QTest::addColumn<qint64>("end"); // -1: none reached
        using V = PictureEnd::Verdict;
        const QByteArray jpeg = m_server.pictureBytes(QStringLiteral("p1"));
        const qint64 jpegEnd = jpeg.size();
        QTest::newRow("JPEG") << jpeg << V::Whole << jpegEnd;
        QTest::newRow("JPEG with zeros after its end") << jpeg + QByteArray(5000, '\0') << V::Whole << jpegEnd;
        QTest::newRow("JPEG cut in its scan") << jpeg.left(jpeg.size() * 2 / 3) << V::Cut << qint64(-1);
        QTest::newRow("JPEG cut inside its EOI") << jpeg.chopped(1) << V::Cut << qint64(-1);
        QTest::newRow("JPEG cut in a segment's length") << QByteArray("\xff\xd8\xff\xe0\x00") << V::Cut << qint64(-1);
        QTest::newRow("JPEG's start alone") << QByteArray("\xff\xd8") << V::Cut << qint64(-1);
        // A thumbnail in APP1 has its own start and end; only the picture's end counts.
        const QByteArray thumbnail("\xff\xd8\xff\xdb\x00\x04\x00\x00\xff\xd9", 10);
        const QByteArray app1 = QByteArray("Exif\0\0", 6) + thumbnail;
        const QByteArray exif = QByteArray("\xff\xd8\xff\xe1") + char(0) + char(app1.size() + 2) + app1 + jpeg.mid(2);
        QTest::newRow("JPEG with a thumbnail") << exif << V::Whole << qint64(exif.size());
        QTest::newRow("JPEG with a thumbnail, cut after the thumbnail's end")
            << exif.left(6 + app1.size() + 20) << V::Cut << qint64(-1);
        const QByteArray scan("\xff\xd8\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00", 12);
        const QByteArray stuffed = scan + QByteArray("\x12\xff\x00\x34\xff\xd0\x56\xff\xff\xd7\x78\xff\xff\xd9", 14);
        QTest::newRow("stuffing, restarts and fill bytes in a scan") << stuffed << V::Whole << qint64(stuffed.size());
        QTest::newRow("a stuffed 0xFF at the end of a cut scan") << stuffed.left(14) << V::Cut << qint64(-1);
        const QByteArray progressive =
            scan + "\x11\x22" + QByteArray("\xff\xc4\x00\x04\x00\x00", 6) + scan.mid(2) + "\x33\xff\xd9";
        QTest::newRow("two scans with a table between") << progressive << V::Whole << qint64(progressive.size());
        QTest::newRow("a segment length below its own two bytes")
            << QByteArray("\xff\xd8\xff\xe0\x00\x01\xff\xd9", 8) << V::NotAPicture << qint64(-1);
        QTest::newRow("a JPEG's segments broken off by text")
            << QByteArray("\xff\xd8<html>") << V::NotAPicture << qint64(-1);
        const QByteArray png = m_server.pictureBytes(QStringLiteral("png"));
        QTest::newRow("PNG") << png << V::Whole << qint64(png.size());
        QTest::newRow("PNG with zeros after its end") << png + QByteArray(500, '\0') << V::Whole << qint64(png.size());
        QTest::newRow("PNG cut in a chunk") << png.left(png.size() / 2) << V::Cut << qint64(-1);
        QTest::newRow("PNG cut in IEND's CRC") << png.chopped(3) << V::Cut << qint64(-1);
        QTest::newRow("PNG's signature alone") << png.left(8) << V::Cut << qint64(-1);
        QTest::newRow("less than PNG's signature") << png.left(7) << V::NotAPicture << qint64(-1);
        const QByteArray gif = m_server.pictureBytes(QStringLiteral("gif"));
        QTest::newRow("GIF") << gif << V::Whole << qint64(gif.size());
        QTest::newRow("GIF with zeros after its end") << gif + QByteArray(500, '\0') << V::Whole << qint64(gif.size());
        QTest::newRow("GIF cut in its image data") << gif.left(gif.size() / 2) << V::Cut << qint64(-1);
        QTest::newRow("GIF without its trailer") << gif.chopped(1) << V::Cut << qint64(-1);
        QTest::newRow("GIF with an unknown block") << gif.chopped(1) + '!' + char(1) + "x" << V::Cut << qint64(-1);
        QTest::newRow("GIF broken off by text") << gif.chopped(1) + "<html>" << V::NotAPicture << qint64(-1);
        const QByteArray webp = m_server.pictureBytes(QStringLiteral("webp"));
        QTest::newRow("WebP") << webp << V::Whole << qint64(webp.size());
        QTest::newRow("WebP with zeros after its end")
            << webp + QByteArray(500, '\0') << V::Whole << qint64(webp.size());
        QTest::newRow("WebP cut") << webp.left(50) << V::Cut << qint64(-1);
        QTest::newRow("RIFF of another kind") << QByteArray("RIFF\x04\0\0\0WAVE", 12) << V::NotAPicture << qint64(-1);
        QTest::newRow("HTML") << QByteArray("<!DOCTYPE html><html></html>") << V::NotAPicture << qint64(-1);
        QTest::newRow("one byte") << QByteArray("\xff") << V::NotAPicture << qint64(-1);
        QTest::newRow("nothing") << QByteArray() << V::NotAPicture << qint64(-1);
    }

    void pictureEnds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(PictureEnd::Verdict, verdict);
        QFETCH(qint64, end);
        PictureEnd whole;
        whole.feed(bytes.constData(), bytes.size());
        QCOMPARE(whole.verdict(), verdict);
        QCOMPARE(whole.end(), end);
        PictureEnd byByte;
        for (const char byte : std::as_const(bytes))
            byByte.feed(&byte, 1);
        QCOMPARE(byByte.verdict(), verdict);
        QCOMPARE(byByte.end(), end);
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
        // 2 MB in about 4 s, four times the limit: it keeps coming, so it is kept.
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
        // Cut short, by a length shorter than the body or by a close without a length, which Qt
        // both takes for a whole answer: the picture's own end never came.
        QTest::newRow("JPEG shorter than its length") << "shortjpg" << QByteArray() << QString() << false;
        QTest::newRow("JPEG shorter than its length over a file") << "shortjpg" << longer << QString() << false;
        QTest::newRow("JPEG closed early") << "cutjpg" << QByteArray() << QString() << false;
        QTest::newRow("JPEG closed early over a file") << "cutjpg" << longer << QString() << false;
        QTest::newRow("PNG closed early over a file") << "cutpng" << longer << QString() << false;
        QTest::newRow("GIF shorter than its length") << "shortgif" << QByteArray() << QString() << false;
        QTest::newRow("GIF closed early over a file") << "cutgif" << longer << QString() << false;
        QTest::newRow("WebP closed early over a file") << "cutwebp" << longer << QString() << false;
        // Whole pictures of every format, also with zeros after their end, even cut among those.
        QTest::newRow("PNG") << "png" << QByteArray() << QString() << true;
        QTest::newRow("GIF") << "gif" << QByteArray() << QString() << true;
        QTest::newRow("WebP") << "webp" << QByteArray() << QString() << true;
        QTest::newRow("PNG padded") << "padpng" << longer << QString() << true;
        QTest::newRow("GIF padded") << "padgif" << QByteArray() << QString() << true;
        QTest::newRow("WebP padded") << "padwebp" << QByteArray() << QString() << true;
        QTest::newRow("JPEG closed among the zeros after its end") << "padcut" << longer << QString() << true;
    }

    void saveJpg()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, existing);
        QFETCH(QString, folder);
        QFETCH(bool, saved);
        // Only the pictures that must run out of time get a short limit; the steady one gets a
        // quarter of its time.
        const double limit = id == u"slow" || id == u"drip" ? 0.5 : id == u"steady" ? 1 : 10;
        const TestSupport::ScopedTimings limited(m_network, [limit](Timings &t) { t.pictureLimitSeconds = limit; });
        QTemporaryDir dir;
        const QString target = (folder.isEmpty()          ? dir.path()
                                : folder.startsWith(u'/') ? folder
                                                          : dir.filePath(folder)) +
                               QStringLiteral("/1.jpg");
        if (!existing.isEmpty()) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(existing) == existing.size());
        }
        // The HTML answer is not a picture, a redirect brings another's bytes, and a cut picture
        // only those before the cut.
        const QByteArray bytes = id == u"html" || id == u"near" || id == u"padcut"
                                     ? GetBody(m_network, picture(id), 10).bytes
                                     : m_server.pictureBytes(id);
        QVERIFY(!bytes.isEmpty() || !saved);
        const SaveOutcome outcome = savePicture(m_network, picture(id), target);
        QCOMPARE(outcome.bytes, saved ? qint64(bytes.size()) : qint64(0));
        if (id.startsWith(u"cut") || id.startsWith(u"short"))
            QCOMPARE(outcome.reason, QStringLiteral("图片不完整"));
        if (saved)
            QCOMPARE(contents(target), bytes);
        else
            QCOMPARE(QFileInfo::exists(target) ? contents(target) : QByteArray(), existing);
        // No temporary file is left beside the picture.
        if (folder.isEmpty())
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                     QFileInfo::exists(target) ? QStringList{QStringLiteral("1.jpg")} : QStringList{});
        // Nothing the answer left on its connection reaches the next picture.
        QTemporaryDir next;
        const SaveOutcome after = fetchPicture(QStringLiteral("p1"), next.filePath(QStringLiteral("1.jpg")));
        QVERIFY2(after.saved(), qPrintable(after.reason));
    }

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

    // One picture whose answer holds its network line fails alone: the pictures asked for at the
    // same moment, and those after it, arrive; so they do again when the failed one is retried.
    void oneHostilePictureAmongEight()
    {
        QFETCH(QString, hostile);
        std::vector<std::unique_ptr<LineManagers>> lines;
        for (int round = 0; round < 2; ++round) {
            lines.push_back(
                std::make_unique<LineManagers>(this, m_network.lines(), 1 + m_network.timings().parallelPictures));
            QTemporaryDir dir;
            QObject asker;
            QHash<QString, SaveOutcome> outcomes;
            QStringList ids{hostile};
            for (int i = 1; i < 8; ++i)
                ids << QStringLiteral("n%1-%2").arg(round).arg(i);
            for (const QString &id : ids) {
                // A picture's limit is taken when its request goes out: only the hostile one's is
                // short, so that it runs out while its answer still holds the line.
                const TestSupport::ScopedTimings limited(
                    m_network, [hurried = id == hostile](Timings &t) { t.pictureLimitSeconds = hurried ? 0.5 : 30; });
                m_network.pictures().fetch(
                    picture(id), dir.filePath(id + QStringLiteral(".jpg")), &asker,
                    [&outcomes, id](const SaveOutcome &outcome) { outcomes.insert(id, outcome); });
            }
            QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 8, 60000);
            QCOMPARE(outcomes.value(hostile).reason, QStringLiteral("超时"));
            for (const QString &id : ids.mid(1))
                QVERIFY2(outcomes.value(id).saved(), qPrintable(id + u' ' + outcomes.value(id).reason));
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 7);
        }
        // Nor does this thread ever wait for a line that was given up on: its manager goes on a
        // thread of its own once its network thread is through with the flood.
        for (const std::unique_ptr<LineManagers> &round : lines)
            QTRY_VERIFY_WITH_TIMEOUT(round->givenUpAreGone(), 60000);
        for (const std::unique_ptr<LineManagers> &round : lines)
            QVERIFY(!round->anyGoneHere());
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

    // A file written whole gets its name only once all its bytes are written; a file that a later
    // run or another program trusts is on disk before it gets its name, and the name after.
    // Pictures are spared both syncs: they can be fetched again, and a sync each would slow down
    // every album.
    void wholeFilesSyncedBeforeTheirName_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("existing");
        QTest::addColumn<bool>("unnamedFiles"); // false: a file system without unnamed files
        QTest::addColumn<bool>("synced");
        QTest::newRow("picture") << "picture" << false << true << false;
        QTest::newRow("picture over a file") << "picture" << true << true << false;
        QTest::newRow("picture without unnamed files") << "picture" << true << false << false;
        QTest::newRow("resume record") << "record" << true << true << true;
        QTest::newRow("resume record without unnamed files") << "record" << true << false << true;
        QTest::newRow("failed.txt") << "failed.txt" << false << true << true;
        QTest::newRow("failed.txt over a file") << "failed.txt" << true << true << true;
        QTest::newRow("failed.txt without unnamed files") << "failed.txt" << false << false << true;
        QTest::newRow("album.json") << "album.json" << false << true << true;
        QTest::newRow("album.json over a file without unnamed files") << "album.json" << true << false << true;
    }

    void wholeFilesSyncedBeforeTheirName()
    {
        QFETCH(QString, kind);
        QFETCH(bool, existing);
        QFETCH(bool, unnamedFiles);
        QFETCH(bool, synced);
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString path = kind == u"picture"      ? folder + QStringLiteral("/1.jpg")
                             : kind == u"record"     ? folder + u'/' + ResumeRecord::fileName
                             : kind == u"failed.txt" ? FailureFile::pathIn(folder)
                                                     : folder + QStringLiteral("/album.json");
        const QString saved = folder + QStringLiteral("/a/1.jpg");
        RecordingFileCalls recording(unnamedFiles);
        // The record's lines are appended as pictures land: it is there before it is rewritten.
        ResumeRecord record(folder, recording);
        if (kind == u"record") {
            QCOMPARE(record.open(), ResumeRecord::Access::Ready);
            QVERIFY(record.add(saved, QStringLiteral("x"), 5) && record.add(saved, QStringLiteral("y"), 6));
        } else if (existing) {
            QVERIFY(TestSupport::putFile(path, "old"));
        }
        QStringList calls;
        QByteArray expected;
        {
            if (kind == u"picture") {
                m_network.setFileCalls(recording);
                const SaveOutcome outcome = fetchPicture(QStringLiteral("p1"), path);
                m_network.setFileCalls(FileCalls::system());
                QVERIFY2(outcome.saved(), qPrintable(outcome.reason));
                expected = m_server.pictureBytes(QStringLiteral("p1"));
            } else if (kind == u"record") {
                // The line the second picture replaced goes.
                QVERIFY2(record.compact(), qPrintable(record.problem()));
                expected = "a/1.jpg\ty\t6\n";
            } else if (kind == u"failed.txt") {
                const QString url = pictureAddress(m_server.hostAndPort(), QStringLiteral("x1"));
                QCOMPARE(FailureFile::write(folder, {{url, saved, QStringLiteral("x1")}}, recording), QString());
                expected = QString(url + u'\t' + saved + u'\n').toUtf8();
            } else {
                AlbumReady album;
                album.id = QStringLiteral("7");
                album.folder = folder;
                album.pictureIds = {QStringLiteral("x1")};
                const AlbumFile file(album, m_server.hostAndPort());
                QCOMPARE(file.path(), path);
                QCOMPARE(file.write(recording), QString());
                expected = contents(path);
                QVERIFY(expected.contains("\"x1\""));
            }
            calls = recording.calls();
        }
        QCOMPARE(contents(path), expected);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QFileInfo(path).fileName()});
        const QString said = calls.join(QStringLiteral(", "));
        const qsizetype lastWrite = calls.lastIndexOf(QStringLiteral("write"));
        qsizetype firstPlacing = -1;
        qsizetype lastPlacing = -1;
        for (qsizetype i = 0; i < calls.size(); ++i) {
            if (calls.at(i) == u"link" || calls.at(i) == u"rename") {
                firstPlacing = firstPlacing < 0 ? i : firstPlacing;
                lastPlacing = i;
            }
        }
        QVERIFY2(lastWrite >= 0 && firstPlacing > lastWrite, qPrintable(said));
        if (synced) {
            const qsizetype sync = calls.indexOf(QStringLiteral("sync"), lastWrite);
            QVERIFY2(sync > lastWrite && sync < firstPlacing, qPrintable(said));
            QVERIFY2(calls.lastIndexOf(QStringLiteral("sync folder")) > lastPlacing, qPrintable(said));
        } else {
            QVERIFY2(!calls.contains(QStringLiteral("sync")) && !calls.contains(QStringLiteral("sync folder")),
                     qPrintable(said));
        }
    }
};

QTEST_GUILESS_MAIN(TestWeb)
#include "tst_web.moc"
