#include "tests/fakebrowser.h"

#include "job/engine.h"
#include "job/pictures/picturescan.h"
#include "job/records/failurelists.h"
#include "job/render/albumpages.h"
#include "job/render/albumrendering.h"
#include "job/settingsfile.h"
#include "web/network/timings.h"

#include <QSignalSpy>
#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(FakeGallery)

namespace {

using Pace = JobChoices::Pace;

QString albumUrl(int n)
{
    return QStringLiteral("http://forum.test/p/%1").arg(n);
}

int albumOf(const QString &url)
{
    return url.section(u'/', -1).toInt();
}

// The identifiers as the job would number them.
QStringList idsOf(const AlbumRendering &render)
{
    QStringList ids;
    for (const std::optional<QString> &id : picturesShown(render.markup(), render.shown()))
        ids << id.value_or(QStringLiteral("?"));
    return ids;
}

QStringList numbered(const QString &prefix, int count)
{
    QStringList ids;
    for (int n = 1; n <= count; ++n)
        ids << prefix + QString::number(n);
    return ids;
}

// A window that only listens.
class FakeWindow final : public JobWindow
{
public:
    explicit FakeWindow(FakePages &) { }
    void AppendLog(const QString &line) override { log << line; }
    void ShowLastLogLine() override { }
    FailureLists &failures() override { return lists; }

    QStringList log;
    FailureLists lists;
};

} // namespace

// The rules that tell when an album page has settled, at the shipped pace, walked through on
// fake pages whose minutes pass in a moment.
class TestPace : public QObject
{
    Q_OBJECT

private slots:

    void pagesSettle_data()
    {
        QTest::addColumn<int>("pace");
        QTest::addColumn<FakeGallery>("gallery");
        QTest::addColumn<int>("pictures"); // found, in page order
        QTest::addColumn<bool>("whole");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("failure");

        const QString cutChanging = QStringLiteral("相册页面一直在变化，已停止滚动，按当前内容继续");
        const QString cutLong = QStringLiteral("相册页面过长，已滚动到上限，按当前内容继续");
        const QString loadTimedOut = QStringLiteral("相册页面加载超时，按已载入的内容继续");
        const auto row = [](const char *name, Pace pace, const FakeGallery &g, int pictures, bool whole = true,
                            const QStringList &lines = {}, const QString &failure = {}) {
            QTest::addRow("%s: %s", pace == Pace::Fixed ? "fixed" : "adaptive", name)
                << int(pace) << g << pictures << whole << lines << failure;
        };
        for (const Pace pace : {Pace::Fixed, Pace::Adaptive}) {
            FakeGallery g;
            row("a batch each time it is scrolled to its end", pace, g, 30);
            g.answerMs = 3000;
            row("slow batches its script asks for", pace, g, 30);
            g.seen = FakeGallery::Seen::Network;
            row("slow batches a frame or a worker asks for", pace, g, 30);
            g.answerMs = 2800;
            g.askAfterMs = 3500;
            // The fixed pace reads such a page before it asks: two reads a pass apart agree.
            row("asked 3.5 s after the scrolling stops, from a worker", pace, g, pace == Pace::Fixed ? 10 : 30);
            g.seen = FakeGallery::Seen::Script;
            g.debounceSeen = true;
            row("asked 3.5 s after the scrolling stops, the page's timer open all along", pace, g,
                pace == Pace::Fixed ? 10 : 30);
            g = FakeGallery();
            g.seen = FakeGallery::Seen::Nothing;
            g.answerMs = 2000;
            row("batches handed out late, nothing to be seen of it", pace, g, 30);
            g = FakeGallery();
            g.rows = FakeGallery::Rows::Last;
            g.keepsRows = 10;
            row("only the last rows kept", pace, g, 30);
            g = FakeGallery();
            g.pictures = 40;
            g.pictureHeight = 40;
            g.rows = FakeGallery::Rows::InView;
            row("only the rows in the view drawn", pace, g, 40);
            g.rows = FakeGallery::Rows::Pool;
            g.poolRows = 6;
            row("a pool of rows pointed at the pictures in the view", pace, g, 40);
            g.rows = FakeGallery::Rows::InView;
            g.measuresFirst = true;
            row("rows laid out where measured, then in their place", pace, g, 40);
            g = FakeGallery();
            g.hangsAfterLastMs = 1000;
            row("stops answering after showing its last picture", pace, g, 30, false,
                {QStringLiteral("相册页面没有响应，按已载入的内容继续")});
            g = FakeGallery();
            g.seen = FakeGallery::Seen::Animation;
            g.answerMs = 3000;
            row("each batch waits for a 3 s animation", pace, g, 30);
            g.answerMs = 5000;
            // The fixed pace reads such a page before its first batch: two reads a pass apart agree.
            row("each batch waits for a 5 s animation", pace, g, pace == Pace::Fixed ? 10 : 30);
            // Its end event comes late, as on a busy machine: the page is not done in between.
            g.animationEventLateMs = 600;
            row("each batch comes 0.6 s after its 5 s animation stopped", pace, g, pace == Pace::Fixed ? 10 : 30);
            g = FakeGallery();
            g.seen = FakeGallery::Seen::Stream;
            g.pictures = 100;
            g.batch = 5;
            g.answerMs = 3500;
            row("batches pushed over an event stream", pace, g, 100);
            g = FakeGallery();
            g.restsAfterBatchMs = 1000;
            row("asks only on a scroll after it rested from its last batch", pace, g, 30);
            g = FakeGallery();
            g.bindings = true;
            row("pictures also in a script and a binding", pace, g, 30);
            g = FakeGallery();
            g.movesAwayAtMs = 1500;
            row("tries to go to another page once loaded", pace, g, 30, true,
                {QStringLiteral("相册页面试图转到其他页面，已阻止，按本页内容继续")});
            g = FakeGallery();
            g.loadMs = 50;
            g.documentMs = 3000;
            row("load told finished before the document is there", pace, g, 30);
            g = FakeGallery();
            g.loadMs = -1;
            row("load never ends, pictures shown", pace, g, 30, false, {loadTimedOut});
            g.documentMs = 1 << 30;
            row("never loads", pace, g, 0, true, {QStringLiteral("相册页面没有载入，此相册下载失败（超时）")},
                QStringLiteral("超时"));
            g = FakeGallery();
            g.failure = QStringLiteral("转向其他网站：elsewhere");
            row("refused", pace, g, 0, true,
                {QStringLiteral("相册页面没有载入，此相册下载失败（转向其他网站：elsewhere）")}, g.failure);
            g = FakeGallery();
            g.tooLarge = true;
            row("too large", pace, g, 0, false, {QStringLiteral("相册页面内容过大，按没有图片处理")});
            g = FakeGallery();
            g.pollsForEver = true;
            row("a request always open", pace, g, 30);
            g = FakeGallery();
            g.pictures = 20;
            g.asksOnScroll = false;
            g.changesUnaskedAtMs = 1500;
            row("grew by itself, asks on the next scroll", pace, g, 20);
            g = FakeGallery();
            g.endless = true;
            g.answerMs = 20;
            row("grows for ever", pace, g, -1, false, {cutLong});
        }
        FakeGallery g;
        g.changesForEver = true;
        row("changes for ever", Pace::Adaptive, g, 30, false, {cutChanging});
        row("changes for ever", Pace::Fixed, g, 30, false, {cutChanging});
        g = FakeGallery();
        g.hangsAtMs = 3000;
        // The adaptive pace has seen them all by then.
        for (const Pace pace : {Pace::Fixed, Pace::Adaptive})
            row("hangs after showing its first pictures", pace, g, pace == Pace::Fixed ? 10 : 30, false,
                {QStringLiteral("相册页面没有响应，按已载入的内容继续")});
        g.hangsAtMs = 0;
        for (const Pace pace : {Pace::Fixed, Pace::Adaptive})
            row("hangs at once", pace, g, 0, true, {QStringLiteral("相册页面没有载入，此相册下载失败（没有响应）")},
                QStringLiteral("没有响应"));
    }

    void pagesSettle()
    {
        QFETCH(int, pace);
        QFETCH(FakeGallery, gallery);
        QFETCH(int, pictures);
        QFETCH(bool, whole);
        QFETCH(QStringList, lines);
        QFETCH(QString, failure);
        FakePages pages(1, [gallery](const QString &) { return gallery; });
        FakeWindow window(pages);
        AlbumRendering render(pages.page(0), albumUrl(1), Pace(pace), m_engine, pages.clock());
        render.speakTo(window);
        // As beside other pages: a page read with something of its own still open is rendered
        // again, alone, which one the adaptive pace found settled must not need.
        render.setChecksOpenRequests(true);
        QSignalSpy done(&render, &AlbumRendering::done);
        render.start();
        QVERIFY(done.wait(60000));
        QCOMPARE(window.log, lines);
        QCOMPARE(render.failure(), failure);
        if (whole && !gallery.pollsForEver && Pace(pace) == Pace::Adaptive)
            QVERIFY(!render.requestsOpen());
        QCOMPARE(render.whole(), whole);
        const QStringList ids = idsOf(render);
        if (pictures >= 0)
            QCOMPARE(ids, numbered(gallery.idPrefix, pictures));
        // Every bound holds on the clock: a minute at most to load and a minute or so to settle.
        QVERIFY2(pages.virtualClock().nowMs() < 200000, qPrintable(QString::number(pages.virtualClock().nowMs())));
    }

    // Pages side by side: albums are handed out in list order, and a hostile page that holds up
    // the network side its neighbours share costs only its own album; each album comes out as it
    // does with one page.
    void pagesSideBySide_data()
    {
        QTest::addColumn<int>("pace");
        QTest::addColumn<int>("pages");
        for (const Pace pace : {Pace::Fixed, Pace::Adaptive}) {
            for (const int count : {2, 3, 4})
                QTest::addRow("%s, %d pages", pace == Pace::Fixed ? "fixed" : "adaptive", count) << int(pace) << count;
        }
    }

    void pagesSideBySide()
    {
        QFETCH(int, pace);
        QFETCH(int, pages);
        const auto gallery = [](const QString &url) {
            FakeGallery g;
            const int album = albumOf(url);
            g.idPrefix = QStringLiteral("a%1x").arg(album);
            g.answerMs = 300 * album;
            g.floods = album == 3;
            g.loadMs = g.floods ? -1 : 100;
            g.documentMs = g.floods ? 1 << 30 : 0;
            g.rows = album == 5   ? FakeGallery::Rows::Last
                     : album == 6 ? FakeGallery::Rows::Pool
                                  : FakeGallery::Rows::All;
            g.keepsRows = 10;
            g.poolRows = 3;
            g.seen = album == 7 ? FakeGallery::Seen::Stream : FakeGallery::Seen::Script;
            // A debounce of its own, set off again by every scroll: read only once it has rested.
            g.askAfterMs = album == 8 ? 3500 : 0;
            g.debounceSeen = album == 8;
            return g;
        };
        const auto run = [&](int count, QStringList *log) {
            FakePages fakes(count, gallery);
            FakeWindow window(fakes);
            QStringList urls;
            for (int album = 1; album <= 8; ++album)
                urls << albumUrl(album);
            AlbumPages albums(window, fakes, m_engine, JobChoices{Pace(pace), count}, urls);
            QSignalSpy ready(&albums, &AlbumPages::ready);
            QList<QStringList> found;
            for (int i = 0; i < urls.size(); ++i) {
                albums.await(i);
                if (!ready.wait(600000) || ready.takeFirst().value(0).toInt() != i)
                    return found;
                const std::unique_ptr<AlbumRendering> render = albums.take(i);
                if (!render)
                    return found;
                render->speakTo(window);
                found << idsOf(*render);
                window.log << QStringLiteral("album %1: %2").arg(i + 1).arg(found.last().size());
            }
            *log = window.log;
            return found;
        };
        QStringList alone;
        const QList<QStringList> one = run(1, &alone);
        QStringList beside;
        const QList<QStringList> many = run(pages, &beside);
        QCOMPARE(many.size(), 8);
        for (int album = 1; album <= 8; ++album)
            QCOMPARE(many.at(album - 1), album == 3 ? QStringList()
                                         : album == 8 && pace == int(Pace::Fixed)
                                             // Read before it asks: two reads a pass apart agree.
                                             ? numbered(QStringLiteral("a%1x").arg(album), 10)
                                             : numbered(QStringLiteral("a%1x").arg(album), 30));
        QCOMPARE(many, one);
        QCOMPARE(beside, alone);
    }

private:
    // The shipped pace and limits; no page of its own ever reaches its network.
    Engine m_engine{EngineSettings()};
};

QTEST_GUILESS_MAIN(TestPace)
#include "tst_pace.moc"
