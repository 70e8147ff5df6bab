#include "webenginebrowser.h"

#include "eventwait.h"
#include "settings.h"
#include "silentpage.h"

#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <memory>

WebEngineBrowser::WebEngineBrowser(QWebEngineView *view, QObject *parent)
    : BrowserAdapter(parent)
    , m_view(view)
{
    // A profile without a storage name is off the record.
    auto *profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    m_page = new SilentPage(profile, view);
    // The engine wants the page gone before its profile; a child dies after its parent's destructor.
    profile->setParent(m_page);
    m_view->setPage(m_page);
    connect(m_page, &QWebEnginePage::loadStarted, this, &WebEngineBrowser::onLoadStarted);
    connect(m_page, &QWebEnginePage::loadFinished, this, &WebEngineBrowser::onLoadFinished);
}

WebEngineBrowser::~WebEngineBrowser() = default;

void WebEngineBrowser::setSilent(bool silent)
{
    m_page->setSilent(silent);
}

void WebEngineBrowser::Navigate(const QString &address)
{
    m_started = false;
    m_complete = false;
    m_page->load(QUrl(address));
}

int WebEngineBrowser::ReadyState() const
{
    return m_complete ? Complete : 1;
}

void WebEngineBrowser::onLoadStarted()
{
    m_started = true;
}

void WebEngineBrowser::onLoadFinished()
{
    // A finish that belongs to a load begun before the last Navigate does not count.
    if (!m_started)
        return;
    m_complete = true;
    emit readyStateChanged();
}

QString WebEngineBrowser::bodyOuterHtml()
{
    QEventLoop loop;
    auto answer = std::make_shared<QString>();
    QPointer<QEventLoop> waiting(&loop);
    // The application's own script world: the page cannot redefine what this script calls.
    m_page->runJavaScript(QStringLiteral("document.body ? document.body.outerHTML : ''"),
                          QWebEngineScript::ApplicationWorld, [answer, waiting](const QVariant &value) {
                              *answer = value.toString();
                              if (waiting)
                                  waiting->quit();
                          });
    EventWait::run(loop, Settings::timings().scriptAnswerLimitMs);
    return *answer;
}

void WebEngineBrowser::Scroll(int x, int y)
{
    m_page->runJavaScript(QStringLiteral("window.scrollTo(%1, %2)").arg(x).arg(y), QWebEngineScript::ApplicationWorld);
}
