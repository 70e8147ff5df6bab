#include "web/engine/webenginebrowser.h"

#include "web/engine/silentpage.h"
#include "web/eventwait.h"
#include "web/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <algorithm>
#include <memory>

#include <signal.h>
#include <sys/resource.h>

namespace {

const QString stampName = QStringLiteral("quillory-navigation");
const QString requestWatchName = QStringLiteral("quillory-requests");

// Counts, in the program's own script world, what the page does: every change to its document,
// and every request its scripts begin or end, as the page's own world tells of them below and as
// the engine lists finished ones. Pictures and style sheets are the page's looks, not its loading.
const char activityCounters[] = R"(
(function () {
  var a = window.quilloryActivity = { changes: 0, requests: 0, open: 0 };
  function ended() {
    ++a.requests;
    if (a.open > 0)
      --a.open;
  }
  // A script element with an address is a request until it has loaded or failed (JSONP).
  function watchScript(node) {
    if (node.nodeName !== 'SCRIPT' || !node.src)
      return;
    ++a.requests;
    ++a.open;
    var done = false;
    function end() {
      if (!done) {
        done = true;
        ended();
      }
    }
    node.addEventListener('load', end);
    node.addEventListener('error', end);
  }
  new MutationObserver(function (records) {
    a.changes += records.length;
    records.forEach(function (r) {
      if (r.type === 'childList' && r.addedNodes.length)
        Array.prototype.forEach.call(r.addedNodes, watchScript);
    });
  }).observe(document, { subtree: true, childList: true, attributes: true, characterData: true });
  window.addEventListener('quillory-request-open', function () { ++a.requests; ++a.open; }, true);
  window.addEventListener('quillory-request-end', ended, true);
  try {
    new PerformanceObserver(function (list) {
      list.getEntries().forEach(function (e) {
        if (!/^(img|image|css|link|video|audio|track)$/.test(e.initiatorType))
          ++a.requests;
      });
    }).observe({ type: 'resource' });
  } catch (e) {}
})();
)";

// Only the page's own world sees its scripts' requests begin: a request still open holds no
// entry in the engine's list. A timer due within a few seconds counts as a request too: a
// gallery that waits on one (a debounce after the last scroll, the next link of a chain, a
// batch it hands out late) is not done yet. The page's scripts may undo this, and then only
// lose time.
const char requestWatch[] = R"(
(function () {
  function note(name) { try { window.dispatchEvent(new Event(name)); } catch (e) {} }
  function watch() {
    var ended = false;
    note('quillory-request-open');
    return function () {
      if (!ended) {
        ended = true;
        note('quillory-request-end');
      }
    };
  }
  var XHR = window.XMLHttpRequest;
  if (XHR && XHR.prototype && typeof XHR.prototype.send === 'function') {
    var send = XHR.prototype.send;
    XHR.prototype.send = function () {
      var end = watch();
      try {
        this.addEventListener('loadend', end);
        return send.apply(this, arguments);
      } catch (e) {
        end();
        throw e;
      }
    };
  }
  var fetch = window.fetch;
  if (typeof fetch === 'function') {
    window.fetch = function () {
      var end = watch();
      try {
        var answer = fetch.apply(window, arguments);
        answer.then(end, end);
        return answer;
      } catch (e) {
        end();
        throw e;
      }
    };
  }
  var setTimer = window.setTimeout, clearTimer = window.clearTimeout, due = {};
  if (typeof setTimer === 'function' && typeof clearTimer === 'function') {
    window.setTimeout = function (handler, delay) {
      if (typeof handler !== 'function' || !(Number(delay) <= 3000))
        return setTimer.apply(window, arguments);
      var end = watch();
      var args = Array.prototype.slice.call(arguments, 2);
      var id = setTimer.call(window, function () {
        delete due[id];
        try {
          return handler.apply(this, args);
        } finally {
          end();
        }
      }, delay);
      due[id] = end;
      return id;
    };
    window.clearTimeout = function (id) {
      var end = due[id];
      if (end) {
        delete due[id];
        end();
      }
      return clearTimer.apply(window, arguments);
    };
  }
  if (navigator.sendBeacon) {
    var beacon = navigator.sendBeacon;
    navigator.sendBeacon = function () {
      watch()();
      return beacon.apply(navigator, arguments);
    };
  }
})();
)";

// The engine's network service: processes below this one.
QSet<qint64> networkServices()
{
    QHash<qint64, qint64> parents;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(0) != "Z")
            parents.insert(pid.toLongLong(), fields.at(1).toLongLong());
    }
    const qint64 self = QCoreApplication::applicationPid();
    QSet<qint64> services;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        qint64 ancestor = it.value();
        for (int depth = 0; depth < 8 && ancestor > 1 && ancestor != self; ++depth)
            ancestor = parents.value(ancestor, 0);
        if (ancestor != self || it.key() == self)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(it.key()));
        if (cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().contains("--utility-sub-type=network.mojom.NetworkService"))
            services.insert(it.key());
    }
    return services;
}

// A server that answers with interim responses without end keeps the network service reading
// for good, and every later page would wait behind it. The engine notices a network service that
// has gone and starts a fresh one; a page loads once that one runs.
void renewNetworkService()
{
    const QSet<qint64> stuck = networkServices();
    if (stuck.isEmpty())
        return;
    for (qint64 pid : stuck)
        ::kill(pid_t(pid), SIGKILL);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < Settings::timings().scriptAnswerLimitMs) {
        if (EventWait::forMs(20) == EventWait::Outcome::Interrupted)
            return;
        const QSet<qint64> now = networkServices();
        if (!now.isEmpty() && !now.intersects(stuck))
            return;
    }
}

// When any page of this program last finished a load, on one clock for all of them.
QElapsedTimer &pagesClock()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock;
}

qint64 &lastLoadFinishedMs()
{
    static qint64 at = -1;
    return at;
}

} // namespace

WebEngineBrowser::WebEngineBrowser(QWebEngineView *view, QObject *parent)
    : BrowserAdapter(parent)
    , m_view(view)
{
    freshPage();
}

WebEngineBrowser::~WebEngineBrowser() = default;

void WebEngineBrowser::freshPage()
{
    // A profile without a storage name is off the record.
    auto *profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    QPointer<SilentPage> old = m_page;
    if (old)
        old->disconnect(this);
    m_page = new SilentPage(profile, m_view);
    // The engine wants the page gone before its profile; a child dies after its parent's destructor.
    profile->setParent(m_page);
    m_page->setSilent(m_silent);
    m_started = false;
    m_complete = false;
    m_spoiled = false;
    m_rendererGone = false;
    m_limitedPid = 0;
    connect(m_page, &QWebEnginePage::loadStarted, this, &WebEngineBrowser::onLoadStarted);
    connect(m_page, &QWebEnginePage::loadFinished, this, &WebEngineBrowser::onLoadFinished);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, &WebEngineBrowser::onRenderProcessTerminated);
    connect(m_page, &SilentPage::navigationRefused, this, [this](const QUrl &url) {
        if (m_failure.isEmpty())
            m_failure =
                QStringLiteral("转向其他网站：") +
                url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
    });
    // The engine names a page's renderer only once it runs, and a new one on a change of site.
    connect(m_page, &QWebEnginePage::renderProcessPidChanged, this, &WebEngineBrowser::limitRenderer);
    connect(m_page, &QWebEnginePage::urlChanged, this, &WebEngineBrowser::limitRenderer);
    m_view->setPage(m_page);
    // A page the engine takes to be hidden draws no frames, so no scroll event reaches it and a
    // lazy gallery never grows. The view hides its page whenever the window is minimised or
    // hidden; the page the job scrolls is shown again at once, so that what the job finds never
    // depends on what the user does with the window.
    connect(m_page, &QWebEnginePage::visibleChanged, this, &WebEngineBrowser::keepShown, Qt::QueuedConnection);
    m_page->setVisible(true);
    // The view deletes the page it lets go of only when it is the page's parent. The profile, a
    // child of the page, goes with it, and the engine ends the renderer of a profile that goes.
    delete old.data();
}

void WebEngineBrowser::keepShown(bool visible)
{
    if (!visible && m_page && sender() == m_page)
        m_page->setVisible(true);
}

void WebEngineBrowser::setSilent(bool silent)
{
    m_silent = silent;
    m_page->setSilent(silent);
}

void WebEngineBrowser::Navigate(const QString &address)
{
    // A page whose last load never finished would hold this one up, or stand in for it.
    const bool unfinished = m_navigation > 0 && !m_complete;
    // A load another page finished meanwhile shows that the network side still serves, and
    // ending it would cut off the loads and requests of the pages beside this one.
    if (unfinished && lastLoadFinishedMs() < m_navigationStartMs)
        renewNetworkService();
    if (m_spoiled || unfinished)
        freshPage();
    m_failure.clear();
    ++m_navigation;
    stampNewDocuments();
    m_started = false;
    m_complete = false;
    m_page->expectNavigation();
    // Nothing the old document has begun loading may land after this navigation, or in its place
    // when the engine refuses the address.
    m_page->triggerAction(QWebEnginePage::Stop);
    m_navigationStartMs = pagesClock().elapsed();
    m_page->load(QUrl(address));
}

// Marks every document created from now on as this navigation's, in the program's own script
// world, where the page's scripts cannot see or change the mark. A read that finds an older mark
// (or none) is looking at a document from before the navigation.
void WebEngineBrowser::stampNewDocuments()
{
    QWebEngineScript stamp;
    stamp.setName(stampName);
    stamp.setInjectionPoint(QWebEngineScript::DocumentCreation);
    stamp.setWorldId(QWebEngineScript::ApplicationWorld);
    stamp.setRunsOnSubFrames(false);
    stamp.setSourceCode(QStringLiteral("window.quilloryNavigation = %1;").arg(m_navigation) +
                        (m_watches ? QString::fromUtf8(activityCounters) : QString()));
    QWebEngineScriptCollection &scripts = m_page->scripts();
    for (const QWebEngineScript &older : scripts.find(stampName))
        scripts.remove(older);
    scripts.insert(stamp);
    for (const QWebEngineScript &older : scripts.find(requestWatchName))
        scripts.remove(older);
    if (m_watches) {
        QWebEngineScript watch;
        watch.setName(requestWatchName);
        watch.setInjectionPoint(QWebEngineScript::DocumentCreation);
        watch.setWorldId(QWebEngineScript::MainWorld);
        watch.setRunsOnSubFrames(false);
        watch.setSourceCode(QString::fromUtf8(requestWatch));
        scripts.insert(watch);
    }
}

int WebEngineBrowser::ReadyState() const
{
    return m_complete ? Complete : 1;
}

void WebEngineBrowser::onLoadStarted()
{
    m_started = true;
    limitRenderer();
}

void WebEngineBrowser::onLoadFinished()
{
    // A finish that belongs to a load begun before the last Navigate does not count.
    if (!m_started || m_complete)
        return;
    lastLoadFinishedMs() = pagesClock().elapsed();
    m_complete = true;
    emit readyStateChanged();
}

void WebEngineBrowser::onRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status)
{
    if (status == QWebEnginePage::NormalTerminationStatus)
        return;
    // Out of memory, crashed or killed: nothing more will load or answer on this page.
    m_rendererGone = true;
    m_spoiled = true;
    if (!m_complete) {
        m_complete = true;
        emit readyStateChanged();
    }
}

// Caps the data of the page's renderer: the script heap limit does not cover the text a script
// hands to the document, which could otherwise grow until the machine runs out of memory. Past
// the cap the renderer fails and the page counts as gone.
void WebEngineBrowser::limitRenderer()
{
    const qint64 pid = m_page->renderProcessPid();
    // In single-process mode the renderer would be this program.
    if (pid <= 0 || pid == m_limitedPid || pid == QCoreApplication::applicationPid())
        return;
    m_limitedPid = pid;
    rlimit limit{};
    if (prlimit(pid_t(pid), RLIMIT_DATA, nullptr, &limit) != 0)
        return;
    const rlim_t cap = rlim_t(Settings::timings().pageProcessDataMiB) * 1024 * 1024;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= cap)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? cap : std::min(cap, limit.rlim_max);
    prlimit(pid_t(pid), RLIMIT_DATA, &limit, nullptr);
}

QString WebEngineBrowser::bodyOuterHtml()
{
    m_lastRead = BodyRead::NoAnswer;
    if (m_rendererGone)
        return QString();
    limitRenderer();
    const Timings &t = Settings::timings();
    // The length is checked inside the page, so that a page over the cap never crosses over.
    const QString script = QStringLiteral("(function () {"
                                          "  if (window.quilloryNavigation !== %1) return -1;"
                                          "  var body = document.body;"
                                          "  if (!body) return '';"
                                          "  var html = body.outerHTML;"
                                          "  return html.length > %2 ? html.length : html;"
                                          "})()")
                               .arg(m_navigation)
                               .arg(t.maxPageBytes);
    QVariant answer;
    if (!ask(script, &answer))
        return QString();
    if (answer.typeId() == QMetaType::QString) {
        m_lastRead = BodyRead::Markup;
        return answer.toString();
    }
    bool isNumber = false;
    const double number = answer.toDouble(&isNumber);
    if (isNumber)
        m_lastRead = number < 0 ? BodyRead::NoPage : BodyRead::TooLarge;
    return QString();
}

bool WebEngineBrowser::ask(const QString &script, QVariant *answer)
{
    // A page that kept its renderer busy past the limit once would only do so again.
    if (m_spoiled)
        return false;
    QEventLoop loop;
    auto given = std::make_shared<QVariant>();
    auto answered = std::make_shared<bool>(false);
    QPointer<QEventLoop> waiting(&loop);
    // A renderer that dies takes the answer with it.
    connect(m_page, &QWebEnginePage::renderProcessTerminated, &loop, &QEventLoop::quit);
    // The application's own script world: the page cannot redefine what this script calls.
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                          [given, answered, waiting](const QVariant &value) {
                              *given = value;
                              *answered = true;
                              if (waiting)
                                  waiting->quit();
                          });
    EventWait::run(loop, Settings::timings().scriptAnswerLimitMs);
    if (!*answered) {
        // A page that keeps its renderer busy this long is taken to hang.
        m_spoiled = true;
        return false;
    }
    *answer = *given;
    return true;
}

BrowserAdapter::BodyRead WebEngineBrowser::lastBodyRead() const
{
    return m_lastRead;
}

void WebEngineBrowser::Scroll(int x, int y)
{
    if (m_rendererGone)
        return;
    m_page->runJavaScript(QStringLiteral("window.scrollTo(%1, %2)").arg(x).arg(y), QWebEngineScript::ApplicationWorld);
}

qint64 WebEngineBrowser::scrollLimit()
{
    if (m_rendererGone)
        return -1;
    const QString script = QStringLiteral("(function () {"
                                          "  if (window.quilloryNavigation !== %1) return -1;"
                                          "  var page = document.scrollingElement || document.documentElement;"
                                          "  return page ? Math.max(0, page.scrollHeight - window.innerHeight) : 0;"
                                          "})()")
                               .arg(m_navigation);
    QVariant answer;
    if (!ask(script, &answer))
        return -1;
    bool isNumber = false;
    const double limit = answer.toDouble(&isNumber);
    return isNumber && limit >= 0 ? qint64(limit) : -1;
}

BrowserAdapter::Activity WebEngineBrowser::activity()
{
    Activity now;
    if (m_rendererGone)
        return now;
    const QString script =
        QStringLiteral("(function () {"
                       "  if (window.quilloryNavigation !== %1) return -1;"
                       "  var page = document.scrollingElement || document.documentElement;"
                       "  var a = window.quilloryActivity || { changes: 0, requests: 0, open: 0 };"
                       "  return [window.scrollY, page ? Math.max(0, page.scrollHeight - window.innerHeight) : 0,"
                       "          a.changes, a.requests, a.open];"
                       "})()")
            .arg(m_navigation);
    QVariant answer;
    if (!ask(script, &answer) || answer.typeId() != QMetaType::QVariantList)
        return now;
    const QVariantList values = answer.toList();
    if (values.size() != 5)
        return now;
    now.answered = true;
    now.scrollY = qint64(values.at(0).toDouble());
    now.scrollLimit = qint64(values.at(1).toDouble());
    now.changes = qint64(values.at(2).toDouble());
    now.requests = qint64(values.at(3).toDouble());
    now.openRequests = qint64(values.at(4).toDouble());
    return now;
}
