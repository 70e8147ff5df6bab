#include "tests/widgetsupport.h"
#include "tools/forumsim/forumserver.h"
#include "web/engine/pageview.h"

#include "web/engine/webenginebrowser.h"
#include "web/eventwait.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace {

QString dataPage(const QString &html)
{
    return QStringLiteral("data:text/html;charset=utf-8,") + QString::fromLatin1(QUrl::toPercentEncoding(html));
}

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWebEngineView> m_view;
    std::unique_ptr<WebEngineBrowser> m_browser;

    bool load(const QString &address)
    {
        m_browser->setSilent(true);
        m_browser->Navigate(address);
        if (m_browser->ReadyState() == BrowserAdapter::Complete)
            return false; // must not report the previous page as loaded
        EventWait::forSignal(m_browser.get(), &BrowserAdapter::readyStateChanged, 15000);
        return m_browser->ReadyState() == BrowserAdapter::Complete;
    }

private slots:
    void initTestCase()
    {
        Settings::setTimings(TestSupport::shortTimings());
        m_view = std::make_unique<QWebEngineView>();
        m_view->resize(pageViewSize);
        m_view->show();
        m_browser = std::make_unique<WebEngineBrowser>(m_view.get());
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
        QVERIFY(m_browser->bodyOuterHtml().endsWith(QStringLiteral("</script>false|null|[object Window]</body>")));
    }

    void scrollsToAbsolutePositions()
    {
        QVERIFY(load(dataPage(QStringLiteral(
            "<body><div style=\"height:20000px\"></div><p id=y></p><script>"
            "addEventListener('scroll', () => document.getElementById('y').textContent = scrollY);</script></body>"))));
        for (int y : {3000, 1000, 9000}) {
            m_browser->Scroll(0, y);
            YanShi(150);
            QVERIFY2(m_browser->bodyOuterHtml().contains(QStringLiteral("<p id=\"y\">%1</p>").arg(y)),
                     qPrintable(QString::number(y)));
        }
        // The document's height less the window's, whatever the window's position.
        const qint64 limit = m_browser->scrollLimit();
        QVERIFY2(limit > 20000 - m_view->height() && limit <= 20000, qPrintable(QString::number(limit)));
    }

    void documentWithoutABody()
    {
        QVERIFY(load(QStringLiteral("data:image/svg+xml,%3Csvg xmlns='http://www.w3.org/2000/svg'/%3E")));
        QCOMPARE(m_browser->bodyOuterHtml(), QString());
        QCOMPARE(m_browser->lastBodyRead(), BrowserAdapter::BodyRead::Markup);
    }

    void hungPageGivesWayToARendererOfItsOwn()
    {
        QVERIFY(load(dataPage(QStringLiteral("<body>old<script>addEventListener('load', () => setTimeout(() => { for "
                                             "(;;) {} }, 100));</script></body>"))));
        YanShi(300);
        const qint64 hung = m_view->page()->renderProcessPid();
        QVERIFY(hung > 0);
        QCOMPARE(m_browser->bodyOuterHtml(), QString());
        QCOMPARE(m_browser->lastBodyRead(), BrowserAdapter::BodyRead::NoAnswer);
        QVERIFY(load(dataPage(QStringLiteral("<body>new</body>"))));
        QCOMPARE(m_browser->bodyOuterHtml(), QStringLiteral("<body>new</body>"));
        QVERIFY(m_view->page()->renderProcessPid() != hung);
        // The hung renderer does not go on burning a processor.
        QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(hung)), 5000);
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
        QVERIFY(m_browser->bodyOuterHtml().contains(QStringLiteral("aghl_title\">一<")));
        m_browser->Navigate(album + QString(2 * 1024 * 1024, u'x'));
        YanShi(1500);
        QCOMPARE(m_browser->bodyOuterHtml(), QString());
        QCOMPARE(m_browser->lastBodyRead(), BrowserAdapter::BodyRead::NoPage);
        // The next address loads as usual.
        QVERIFY(load(album + u'2'));
        QVERIFY(m_browser->bodyOuterHtml().contains(QStringLiteral("aghl_title\">二<")));
    }
};

QUILLORY_TEST_MAIN(TestBrowser)
#include "tst_browser.moc"
