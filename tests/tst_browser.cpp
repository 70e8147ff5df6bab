#include "tests/widgetsupport.h"
#include "tools/forumsim/forumserver.h"
#include "web/engine/enginepages.h"
#include "web/engine/pageview.h"

#include "job/pictures/picturescan.h"
#include "tests/testwaits.h"
#include "web/engine/webenginebrowser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <algorithm>
#include <array>
#include <optional>

#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

QString dataPage(const QString &html)
{
    return QStringLiteral("data:text/html;charset=utf-8,") + QString::fromLatin1(QUrl::toPercentEncoding(html));
}

// A page that counts, in its markup, what a page the engine takes for hidden gets less of or
// none: animation frames, a chain of short timers, the turns of a CSS animation and the ends of a
// CSS transition that goes back and forth, all of them on the page's main thread.
const char pacedPage[] = R"(<body><style>
@keyframes m { from { margin-left: 0 } to { margin-left: 10px } }
#a { width: 4px; height: 4px; animation: m 100ms linear infinite }
#s { width: 4px; height: 4px; transition: width 100ms linear }
</style><div id=a></div><div id=s></div><p id=c>0 0 0 0</p><p id=v></p><script>
state();
var n = [0, 0, 0, 0];
function count(i) { ++n[i]; document.getElementById('c').textContent = n.join(' '); }
function state() { document.getElementById('v').textContent = document.visibilityState; }
document.addEventListener('visibilitychange', state);
function frame() { count(0); requestAnimationFrame(frame); }
requestAnimationFrame(frame);
function tick() { count(1); setTimeout(tick, 16); }
setTimeout(tick, 16);
document.getElementById('a').addEventListener('animationiteration', function () { count(2); });
var s = document.getElementById('s');
s.addEventListener('transitionend', function () {
  count(3);
  s.style.width = s.offsetWidth > 10 ? '4px' : '20px';
});
s.offsetWidth;
s.style.width = '20px';
</script></body>)";

// What a paced page counted so far (frames, timers, animation turns, transition ends), and
// whether it takes itself for shown.
struct Pace
{
    std::array<qint64, 4> counts{};
    QString visibility;
};

std::optional<Pace> readPace(const QString &markup)
{
    static const QRegularExpression pattern(
        QStringLiteral("<p id=\"c\">(\\d+) (\\d+) (\\d+) (\\d+)</p><p id=\"v\">(\\w*)</p>"));
    const QRegularExpressionMatch match = pattern.match(markup);
    if (!match.hasMatch())
        return std::nullopt;
    Pace read;
    for (size_t i = 0; i < read.counts.size(); ++i)
        read.counts[i] = match.captured(int(i) + 1).toLongLong();
    read.visibility = match.captured(5);
    return read;
}

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

private:
    Engine m_engine{TestSupport::shortSettings()};
    std::unique_ptr<QWebEngineView> m_view;
    std::unique_ptr<WebEngineBrowser> m_browser;

    bool load(const QString &address)
    {
        m_browser->setSilent(true);
        m_browser->Navigate(address);
        if (m_browser->ReadyState() == BrowserAdapter::Complete)
            return false; // must not report the previous page as loaded
        // It may first wait for the network side, then load.
        QElapsedTimer clock;
        clock.start();
        while (m_browser->ReadyState() != BrowserAdapter::Complete && clock.elapsed() < 15000)
            EventWait::forSignal(m_browser.get(), &BrowserAdapter::readyStateChanged, 15000);
        return m_browser->ReadyState() == BrowserAdapter::Complete;
    }

    // The page's answer, waited for here as only a test may.
    template<typename Value, typename Ask> Value answer(Ask ask)
    {
        QEventLoop loop;
        Value given{};
        bool answered = false;
        ask(&loop, [&](const Value &value) {
            given = value;
            answered = true;
            loop.quit();
        });
        if (!answered)
            EventWait::run(loop, 30000);
        return given;
    }
    BrowserAdapter::Body body()
    {
        return answer<BrowserAdapter::Body>(
            [this](QObject *context, auto then) { m_browser->readBody(context, then); });
    }
    BrowserAdapter::Body bodyOf(BrowserAdapter &browser)
    {
        return answer<BrowserAdapter::Body>(
            [&browser](QObject *context, auto then) { browser.readBody(context, then); });
    }
    QString markup() { return body().markup; }
    qint64 limit() { return activity().scrollLimit; }
    BrowserAdapter::Activity activity()
    {
        return answer<BrowserAdapter::Activity>(
            [this](QObject *context, auto then) { m_browser->readActivity(context, then); });
    }

private slots:
    void initTestCase()
    {
        m_view = std::make_unique<QWebEngineView>();
        m_view->resize(pageViewSize);
        m_view->show();
        m_browser = std::make_unique<WebEngineBrowser>(m_view.get(), m_engine.timings(), m_engine.health());
    }

    void cleanupTestCase()
    {
        m_browser.reset();
        m_view.reset();
    }

    void offTheRecord()
    {
        QVERIFY(m_view->page()->profile()->isOffTheRecord());
        QCOMPARE(m_view->page()->profile()->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);
    }

    void pageDialogsNeverWait()
    {
        // Every one of these would wait for the user if it were shown.
        QVERIFY(load(dataPage(QStringLiteral(
            "<body><script>alert(1); var c = confirm('go?'); var p = prompt('name?', 'x');"
            "var w = window.open('about:blank'); document.body.append(String(c) + '|' + String(p) + '|' + String(w));"
            "</script></body>"))));
        YanShi(200);
        // Confirm says no, prompt gives nothing, and the page went on to its end.
        QVERIFY(markup().endsWith(QStringLiteral("</script>false|null|[object Window]</body>")));
    }

    void scrollsToAbsolutePositions()
    {
        QVERIFY(load(dataPage(QStringLiteral(
            "<body><div style=\"height:20000px\"></div><p id=y></p><script>"
            "addEventListener('scroll', () => document.getElementById('y').textContent = scrollY);</script></body>"))));
        for (int y : {3000, 1000, 9000}) {
            m_browser->Scroll(0, y);
            YanShi(150);
            QVERIFY2(markup().contains(QStringLiteral("<p id=\"y\">%1</p>").arg(y)), qPrintable(QString::number(y)));
        }
        // The document's height less the window's, whatever the window's position.
        const qint64 end = limit();
        QVERIFY2(end > 20000 - m_view->height() && end <= 20000, qPrintable(QString::number(end)));
    }

    void documentWithoutABody()
    {
        QVERIFY(load(QStringLiteral("data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg'/%3E")));
        const BrowserAdapter::Body read = body();
        QCOMPARE(read.markup, QString());
        QCOMPARE(read.read, BrowserAdapter::BodyRead::Markup);
    }

    // A page over the cap is measured inside the page and never crosses over.
    void markupOverTheCapIsNotHandedOver()
    {
        const TestSupport::ScopedTimings cap(m_engine.network(), [](Timings &t) { t.maxPageBytes = 1 << 20; });
        QVERIFY(
            load(dataPage(QStringLiteral("<body><script>document.body.append('x'.repeat(2 << 20));</script></body>"))));
        const BrowserAdapter::Body read = body();
        QCOMPARE(read.read, BrowserAdapter::BodyRead::TooLarge);
        QCOMPARE(read.markup, QString());
    }

    void hungPageGivesWayToARendererOfItsOwn()
    {
        QVERIFY(load(dataPage(QStringLiteral("<body>old<script>addEventListener('load', () => setTimeout(() => { for "
                                             "(;;) {} }, 100));</script></body>"))));
        YanShi(300);
        const qint64 hung = m_view->page()->renderProcessPid();
        QVERIFY(hung > 0);
        const BrowserAdapter::Body read = body();
        QCOMPARE(read.markup, QString());
        QCOMPARE(read.read, BrowserAdapter::BodyRead::NoAnswer);
        QVERIFY(load(dataPage(QStringLiteral("<body>new</body>"))));
        QCOMPARE(markup(), QStringLiteral("<body>new</body>"));
        QVERIFY(m_view->page()->renderProcessPid() != hung);
        // The hung renderer does not go on burning a processor.
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(hung)), 5000);
    }

    // Every state a picture's element passes through is kept, where it stood then, also what
    // the page takes out or points elsewhere and what it showed before it stopped answering; the
    // pictures come out in the order a reader scrolling down meets them.
    void everyStateShownIsKept_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("replaces");
        const QString row = QStringLiteral("<a id=%1 style=\"display:block;height:40px\" "
                                           "href=\"/photo/p?kw=b&pic_id=%1\">%1</a>");
        QTest::newRow("rows taken out")
            << row.arg(u"a"_s) + row.arg(u"b"_s) + row.arg(u"c"_s) +
                   QStringLiteral("<script>setTimeout(() => { a.remove(); c.remove(); }, 50);</script>")
            << QStringList{u"a"_s, u"b"_s, u"c"_s} << true;
        QTest::newRow("a row pointed at the next pictures")
            << row.arg(u"a"_s) +
                   QStringLiteral("<script>setTimeout(() => a.href = '/photo/p?kw=b&pic_id=b', 50);"
                                  "setTimeout(() => a.setAttribute('href', '/photo/p?kw=b&pic_id=c'), 100);</script>")
            << QStringList{u"a"_s, u"b"_s, u"c"_s} << true;
        QTest::newRow("a pool placed by transforms, out of the document's order")
            << QStringLiteral("<div style=\"position:relative;height:2000px\">") +
                   QStringLiteral("<a id=p1 style=\"position:absolute;top:0;transform:translateY(80px)\" "
                                  "href=\"/photo/p?kw=b&pic_id=c\">c</a>"
                                  "<a id=p2 style=\"position:absolute;top:0;transform:translateY(0px)\" "
                                  "href=\"/photo/p?kw=b&pic_id=a\">a</a></div><script>setTimeout(() => {"
                                  "p2.href = '/photo/p?kw=b&pic_id=b'; p2.style.transform = 'translateY(40px)';"
                                  "}, 50);</script>")
            << QStringList{u"a"_s, u"b"_s, u"c"_s} << true;
        QTest::newRow("bindings and a template")
            << QStringLiteral("<template><a :href=\"'/photo/p?kw=b&pic_id=' + id\">t</a></template>"
                              "<a :href=\"'/photo/p?kw=b&pic_id=' + id\" href=\"/photo/p?kw=b&pic_id=a\">a</a>"
                              "<script>var u = '&amp;pic_id=x\"';</script>")
            << QStringList{u"a"_s} << false;
        QTest::newRow("nothing taken away: the markup's order")
            << row.arg(u"b"_s) + row.arg(u"a"_s) + row.arg(u"b"_s) << QStringList{u"b"_s, u"a"_s, u"b"_s} << false;
    }

    void everyStateShownIsKept()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, expected);
        QFETCH(bool, replaces);
        QVERIFY(load(dataPage(QStringLiteral("<body>") + page + QStringLiteral("</body>"))));
        const auto found = [this] {
            QStringList ids;
            for (const std::optional<QString> &id : picturesShown(markup(), m_browser->shown()))
                ids << id.value_or(QStringLiteral("?"));
            return ids;
        };
        if (replaces)
            QTRY_VERIFY_WITH_TIMEOUT(activity().rowsReplaced > 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(found(), expected, 5000);
        QCOMPARE(activity().rowsReplaced > 0, replaces);
    }

    // What a page showed before it stopped answering stays known.
    void statesShownBeforeAHangAreKept()
    {
        QVERIFY(load(dataPage(
            QStringLiteral("<body><a href=\"/photo/p?kw=b&pic_id=a\">a</a><script>setTimeout(() => {"
                           "document.body.insertAdjacentHTML('beforeend', '<a href=\"/photo/p?kw=b&pic_id=b\">b</a>');"
                           "setTimeout(() => { for (;;) {} }, 300); }, 50);</script></body>"))));
        QTRY_VERIFY_WITH_TIMEOUT(activity().shownStates >= 2, 5000);
        YanShi(600);
        QCOMPARE(body().read, BrowserAdapter::BodyRead::NoAnswer);
        QStringList ids;
        for (const std::optional<QString> &id : picturesShown(QString(), m_browser->shown()))
            ids << id.value_or(QStringLiteral("?"));
        QCOMPARE(ids, (QStringList{u"a"_s, u"b"_s}));
    }

    // Requests of the page's workers and frames reach no script of ours, but the engine's
    // network side sees them begin; its pictures are not counted.
    void requestsOfWorkersAndFramesAreSeen()
    {
        ForumServer server;
        QVERIFY(server.listen());
        m_browser->setWatchesActivity(true);
        const QString worker =
            QStringLiteral("fetch('http://%1/w1'); fetch('http://%1/w2');").arg(server.hostAndPort());
        QVERIFY(load(dataPage(QStringLiteral("<body><img src=\"http://%1/i.jpg\"><script>"
                                             "new Worker(URL.createObjectURL(new Blob([\"%2\"])));</script></body>")
                                  .arg(server.hostAndPort(), worker))));
        QTRY_VERIFY_WITH_TIMEOUT(activity().networkRequests >= 2, 10000);
        m_browser->setWatchesActivity(false);
    }

    // Album pages side by side render as the window's page does, whatever the user does with the
    // window: a page the engine took for hidden would get its timers slowed to a crawl and its
    // frames and animations stopped, and a gallery that grows on them would be cut short.
    void sidePagesRenderAsTheWindowsPage_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("framesEverywhere");
        QTest::newRow("shown") << QStringLiteral("shown") << true;
        QTest::newRow("page behind the log") << QStringLiteral("covered") << true;
        QTest::newRow("minimised") << QStringLiteral("minimised") << true;
        // quillory-cli's: every page in a view of its own, none on a screen.
        QTest::newRow("no window") << QStringLiteral("none") << true;
        // A window the program itself hides before its page has loaded takes the page with it:
        // the engine draws no frames for it, but its timers keep their pace and its renderer its
        // priority all the same.
        QTest::newRow("hidden before the pages load") << QStringLiteral("hidden") << false;
    }

    void sidePagesRenderAsTheWindowsPage()
    {
        QFETCH(QString, window);
        QFETCH(bool, framesEverywhere);
        constexpr int pageCount = 4;
        QWidget top;
        top.resize(472, 299);
        auto *view = new QWebEngineView(&top);
        view->setGeometry(QRect(QPoint(88, 72), pageViewSize));
        if (window == QLatin1String("covered")) {
            auto *log = new QWidget(&top);
            log->setAutoFillBackground(true);
            log->setGeometry(8, 48, 457, 244);
            log->raise();
        }
        top.show();
        QVERIFY(QTest::qWaitForWindowExposed(&top));
        EnginePages pages(m_engine.timings(), m_engine.health(), window == QLatin1String("none") ? nullptr : view);
        if (window == QLatin1String("minimised"))
            top.showMinimized();
        else if (window == QLatin1String("hidden"))
            top.hide();
        for (int i = 0; i < pageCount; ++i) {
            pages.page(i).setSilent(true);
            pages.page(i).Navigate(dataPage(QString::fromUtf8(pacedPage)));
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (int i = 0; i < pageCount; ++i) {
                    if (pages.page(i).ReadyState() != BrowserAdapter::Complete)
                        return false;
                }
                return true;
            }(),
            20000);

        using AllPaces = std::array<Pace, pageCount>;
        const auto read = [&](AllPaces &into) {
            for (int i = 0; i < pageCount; ++i) {
                const std::optional<Pace> pace = readPace(bodyOf(pages.page(i)).markup);
                if (!pace)
                    return false;
                into[size_t(i)] = *pace;
            }
            return true;
        };
        AllPaces before{};
        QVERIFY(read(before));
        AllPaces now{};
        const auto gain = [&](int page, size_t k) {
            return now[size_t(page)].counts[k] - before[size_t(page)].counts[k];
        };
        const auto best = [&](size_t k) {
            qint64 most = 0;
            for (int i = 0; i < pageCount; ++i)
                most = std::max(most, gain(i, k));
            return most;
        };
        const auto seen = [&] {
            QString text;
            for (int i = 0; i < pageCount; ++i) {
                text += QStringLiteral(" page %1 (%2):").arg(i).arg(now[size_t(i)].visibility);
                for (size_t k = 0; k < Pace().counts.size(); ++k)
                    text += QStringLiteral(" %1").arg(gain(i, k));
            }
            return text;
        };
        // Frames, timers, animation turns, transition ends. How long the pages are watched is set
        // by their own pace, not by a clock: a busy machine slows all of them alike.
        const std::array<qint64, 4> enough{90, 90, 15, 12};
        const auto compared = [&](size_t k) { return framesEverywhere || k == 1; };
        const auto watchedEnough = [&] {
            if (!read(now))
                return false;
            for (size_t k = 0; k < enough.size(); ++k) {
                if (compared(k) && best(k) < enough[k])
                    return false;
            }
            return true;
        };
        QTRY_VERIFY2_WITH_TIMEOUT(watchedEnough(), qPrintable(seen()), 30000);
        // Nor does the window's page's renderer get a lower priority than this program's.
        if (window != QLatin1String("none")) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(view->page()->renderProcessPid()));
            QVERIFY(stat.open(QIODevice::ReadOnly));
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            QVERIFY(fields.size() > 16);
            QCOMPARE(fields.at(16).toInt(), getpriority(PRIO_PROCESS, 0));
        }
        for (int i = 0; i < pageCount; ++i) {
            if (framesEverywhere)
                QVERIFY2(now[size_t(i)].visibility == QLatin1String("visible"), qPrintable(seen()));
            for (size_t k = 0; k < enough.size(); ++k) {
                if (compared(k))
                    QVERIFY2(2 * gain(i, k) >= best(k), qPrintable(seen()));
            }
        }
    }

    // After an address the engine refuses, nothing of the page before may pass for its page:
    // neither the document left standing nor anything that document loads meanwhile.
    void refusedAddressShowsNoEarlierDocument_data()
    {
        QTest::addColumn<QString>("script");
        QTest::newRow("quiet page") << QString();
        QTest::newRow("page reloading itself") << QStringLiteral("setInterval(() => location.reload(), 100);");
        QTest::newRow("page moving on") << QStringLiteral("setTimeout(() => { location.href = '/p/2'; }, 400);");
    }

    void refusedAddressShowsNoEarlierDocument()
    {
        QFETCH(QString, script);
        ForumServer server;
        QVERIFY(server.listen());
        const QJsonArray albums{
            QJsonObject{{QStringLiteral("id"), QStringLiteral("1")},
                        {QStringLiteral("title"), QStringLiteral("一")},
                        {QStringLiteral("script"), script}},
            QJsonObject{{QStringLiteral("id"), QStringLiteral("2")}, {QStringLiteral("title"), QStringLiteral("二")}}};
        const QJsonObject bar{{QStringLiteral("name"), QStringLiteral("b")}, {QStringLiteral("albums"), albums}};
        QVERIFY(server.loadJson(QJsonDocument(QJsonObject{{QStringLiteral("bars"), QJsonArray{bar}}}).toJson()));
        const QString album = QStringLiteral("http://%1/p/").arg(server.hostAndPort());
        QVERIFY(load(album + u'1'));
        const BrowserAdapter::Body first = body();
        QVERIFY2(first.markup.contains(QStringLiteral("aghl_title\">一<")),
                 qPrintable(QStringLiteral("read %1: %2").arg(int(first.read)).arg(first.markup.left(300))));
        m_browser->Navigate(album + QString(2 * 1024 * 1024, u'x'));
        YanShi(1500);
        const BrowserAdapter::Body read = body();
        QCOMPARE(read.markup, QString());
        QCOMPARE(read.read, BrowserAdapter::BodyRead::NoPage);
        // The next address loads as usual.
        QVERIFY(load(album + u'2'));
        const BrowserAdapter::Body next = body();
        QVERIFY2(next.markup.contains(QStringLiteral("aghl_title\">二<")),
                 qPrintable(QStringLiteral("read %1: %2").arg(int(next.read)).arg(next.markup.left(300))));
    }
};

QUILLORY_TEST_MAIN(TestBrowser)
#include "tst_browser.moc"
