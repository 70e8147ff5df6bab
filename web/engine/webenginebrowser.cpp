#include "web/engine/webenginebrowser.h"

#include "web/browser/enginehealth.h"
#include "web/engine/networkservices.h"
#include "web/engine/silentpage.h"
#include "web/network/timings.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSet>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include <sys/resource.h>

namespace {

const QString stampName = QStringLiteral("quillory-navigation");
const QString requestWatchName = QStringLiteral("quillory-requests");

// Counts, in the program's own script world, what the page does: every change to its document,
// and every request its scripts begin or end, as the page's own world tells of them below and as
// the engine lists finished ones. Pictures and style sheets are the page's looks, not its loading.
const char activityCounters[] = R"(
(function () {
  var a = window.quilloryActivity = { changes: 0, requests: 0, open: 0, streams: 0, deliveries: 0 };
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
  window.addEventListener('quillory-stream-open', function () { ++a.streams; ++a.deliveries; }, true);
  window.addEventListener('quillory-stream-delivery', function () { ++a.deliveries; }, true);
  window.addEventListener('quillory-stream-end', function () { if (a.streams > 0) --a.streams; }, true);
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

// Records, in the program's own script world, every state of every element that shows a picture
// marker (or the album's title) in an attribute or its own text: as it is added, each time it
// changes, and where it stood then. A gallery that keeps only the rows near the view, or points a
// pool of rows at the next pictures as the view moves, has shown pictures that its last markup no
// longer holds. An element's state is its start tag and its own text, serialized as the browser
// serializes markup, so that the same marker scan reads it. Bounded: past the page cap nothing more
// is kept. Also counts how often a row showing a picture went or was pointed elsewhere.
const char shownRecorder[] = R"(
(function () {
  var shown = window.quilloryShown = { states: [], placed: 0, replaced: 0, document: 1 + Math.floor(Math.random() * 1e9) };
  var size = 0, cap = %1, keys = new Set(), last = new WeakMap();
  var marker = ';pic_id=', title = 'aghl_big aghl_title"';
  function escape(text, inAttribute) {
    text = text.replace(/&/g, '&amp;').replace(/\u00a0/g, '&nbsp;');
    return inAttribute ? text.replace(/"/g, '&quot;') : text.replace(/</g, '&lt;').replace(/>/g, '&gt;');
  }
  function mayHold(el) {
    for (var i = 0; i < el.attributes.length; ++i) {
      var v = el.attributes[i].value;
      if (v.indexOf('pic_id=') >= 0 || v.indexOf('aghl_title') >= 0)
        return true;
    }
    for (var c = el.firstChild; c; c = c.nextSibling) {
      if (c.nodeType === 3 && c.data.indexOf('pic_id=') >= 0)
        return true;
    }
    return false;
  }
  function own(el) {
    var name = el.localName, text = '<' + name;
    for (var i = 0; i < el.attributes.length; ++i)
      text += ' ' + el.attributes[i].name + '="' + escape(el.attributes[i].value, true) + '"';
    text += '>';
    if (name !== 'script' && name !== 'style') {
      for (var c = el.firstChild; c; c = c.nextSibling) {
        if (c.nodeType === 3)
          text += escape(c.data, false);
      }
    }
    return text + '</' + name + '>';
  }
  function markers(text) {
    return text.split(marker).slice(1).map(function (m) { return m.split('"')[0]; }).join('"');
  }
  function place(el) {
    var r = el.getBoundingClientRect();
    if (!r.width && !r.height)
      return null;
    var y = r.top + window.scrollY, x = r.left + window.scrollX;
    for (var p = el.parentElement; p && p !== document.body && p !== document.documentElement; p = p.parentElement) {
      y += p.scrollTop;
      x += p.scrollLeft;
    }
    // A row parked out of the way (above or left of the page) is not where it shows anything.
    if (y + r.height <= 0 || x + r.width <= 0)
      return null;
    return [Math.round(y), Math.round(x)];
  }
  function record(text, at) {
    var key = at ? text + '\n' + at[0] + ',' + at[1] : text + '\n';
    if (keys.has(key) || size + text.length > cap)
      return;
    keys.add(key);
    size += text.length;
    shown.states.push(at ? [text, at[0], at[1]] : [text]);
    if (at)
      ++shown.placed;
  }
  function look(el) {
    var before = last.get(el);
    var text = mayHold(el) ? own(el) : '';
    var held = text.indexOf(marker) >= 0 || text.indexOf(title) >= 0;
    if (!held) {
      if (before) {
        last.delete(el);
        if (before.markers)
          ++shown.replaced;
      }
      return;
    }
    var now = { markers: markers(text) };
    if (before && before.markers && before.markers !== now.markers)
      ++shown.replaced;
    last.set(el, now);
    record(text, el.isConnected ? place(el) : null);
  }
  function gone(node) {
    var all = [node].concat(Array.prototype.slice.call(node.querySelectorAll('*')));
    all.forEach(function (el) {
      var before = last.get(el);
      if (!before)
        return;
      last.delete(el);
      if (before.markers)
        ++shown.replaced;
    });
  }
  function lookBelow(node, into) {
    var html = node.outerHTML || '';
    if (html.indexOf('pic_id=') < 0 && html.indexOf('aghl_title') < 0)
      return;
    into.add(node);
    Array.prototype.forEach.call(node.querySelectorAll('*'), function (el) { into.add(el); });
  }
  // Where the page scrolls: its window, and the scroll areas of its own a gallery may keep its rows
  // in (a virtualised list in a box of its own), which scroll along with it.
  var areas = [], areasAt = -1e9;
  function scrollAreas() {
    if (Date.now() - areasAt < 500)
      return areas.filter(function (el) { return el.isConnected; });
    areasAt = Date.now();
    var all = document.body ? document.body.querySelectorAll('*') : [];
    areas = Array.prototype.filter.call(all, function (el) {
      if (el.scrollHeight <= el.clientHeight + 1 || el.clientHeight < 40)
        return false;
      var overflow = getComputedStyle(el).overflowY;
      return (overflow === 'auto' || overflow === 'scroll' || overflow === 'overlay') && el.getClientRects().length > 0;
    });
    return areas;
  }
  window.quilloryScrolling = {
    view: function () {
      var page = document.scrollingElement || document.documentElement;
      var y = window.scrollY, height = window.innerHeight;
      var limit = page ? Math.max(0, page.scrollHeight - window.innerHeight) : 0;
      scrollAreas().forEach(function (el) {
        y = Math.max(y, el.scrollTop);
        limit = Math.max(limit, el.scrollHeight - el.clientHeight);
        height = Math.min(height, el.clientHeight);
      });
      return [Math.round(y), Math.round(limit), height];
    },
    to: function (y) {
      window.scrollTo(0, y);
      scrollAreas().forEach(function (el) { el.scrollTop = y; });
    }
  };
  new MutationObserver(function (records) {
    var touched = new Set();
    records.forEach(function (r) {
      if (r.type === 'childList') {
        Array.prototype.forEach.call(r.removedNodes, function (node) {
          if (node.nodeType === 1 && !node.isConnected)
            gone(node);
          else if (node.nodeType === 3 && r.target.nodeType === 1)
            touched.add(r.target);
        });
        Array.prototype.forEach.call(r.addedNodes, function (node) {
          if (node.nodeType === 1 && node.isConnected)
            lookBelow(node, touched);
          else if (node.nodeType === 3 && r.target.nodeType === 1)
            touched.add(r.target);
        });
      } else if (r.type === 'attributes') {
        touched.add(r.target);
      } else if (r.target.parentElement) {
        touched.add(r.target.parentElement);
      }
    });
    touched.forEach(function (el) {
      if (el.isConnected)
        look(el);
    });
  }).observe(document, { subtree: true, childList: true, attributes: true, characterData: true });
})();
)";

// Only the page's own world sees its scripts' requests begin: a request still open holds no
// entry in the engine's list. A timer due within a few seconds counts as a request too: a
// gallery that waits on one (a debounce after the last scroll, the next link of a chain, a
// batch it hands out late) is not done yet. The page's scripts may undo this, and then only
// lose time.
const char requestWatch[] = R"(
(function () {
  // A frame of the page's own tells the page's window, where the counters are.
  var target = window;
  try {
    if (window.top && window.top !== window && window.top.document)
      target = window.top;
  } catch (e) {}
  function note(name) { try { target.dispatchEvent(new Event(name)); } catch (e) {} }
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
      if (typeof handler !== 'function' || !(Number(delay) <= %1))
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
  // An event stream, a web socket or a streamed answer delivers for as long as it is open; each
  // delivery may bring the next batch.
  function watchStream(stream, deliveries, endsOn) {
    var ended = false;
    note('quillory-stream-open');
    deliveries.forEach(function (type) {
      stream.addEventListener(type, function () { note('quillory-stream-delivery'); });
    });
    stream.addEventListener(endsOn, function () {
      if (!ended && (endsOn !== 'error' || stream.readyState === 2)) {
        ended = true;
        note('quillory-stream-end');
      }
    });
    return stream;
  }
  function wrapConstructor(name, deliveries, endsOn) {
    var Original = window[name];
    if (typeof Original !== 'function')
      return;
    var Wrapped = function () {
      var made = Reflect.construct(Original, arguments, new.target || Original);
      return watchStream(made, deliveries, endsOn);
    };
    Wrapped.prototype = Original.prototype;
    Object.setPrototypeOf(Wrapped, Original);
    window[name] = Wrapped;
  }
  wrapConstructor('EventSource', ['message'], 'error');
  wrapConstructor('WebSocket', ['message'], 'close');
  var Source = window.EventSource && window.EventSource.prototype;
  if (Source && typeof Source.addEventListener === 'function') {
    // Events of their own names are deliveries too.
    var listen = Source.addEventListener, delivered = new WeakMap();
    Source.addEventListener = function (type) {
      if (type !== 'open' && type !== 'error' && type !== 'message') {
        var noteIt = delivered.get(this);
        if (!noteIt) {
          noteIt = function () { note('quillory-stream-delivery'); };
          delivered.set(this, noteIt);
        }
        listen.call(this, type, noteIt);
      }
      return listen.apply(this, arguments);
    };
  }
  var Reader = window.ReadableStreamDefaultReader && window.ReadableStreamDefaultReader.prototype;
  if (Reader && typeof Reader.read === 'function') {
    var read = Reader.read, reading = new WeakSet();
    Reader.read = function () {
      var reader = this;
      if (!reading.has(reader)) {
        reading.add(reader);
        note('quillory-stream-open');
      }
      var result = read.apply(reader, arguments);
      result.then(function (r) { note(r && r.done ? 'quillory-stream-end' : 'quillory-stream-delivery'); },
                  function () { note('quillory-stream-end'); });
      return result;
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

} // namespace

// Counts what the page asks of the network on its own, wherever it asks it: its frames and its
// workers too, which no script of ours can watch. Pictures, styles, fonts and media are its looks,
// and pings never bring anything.
class RequestCounter final : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        switch (info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
        case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
        case QWebEngineUrlRequestInfo::ResourceTypePing:
        case QWebEngineUrlRequestInfo::ResourceTypeCspReport:
        case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
            return;
        default:
            m_count.fetch_add(1, std::memory_order_relaxed);
        }
    }
    qint64 count() const { return m_count.load(std::memory_order_relaxed); }

private:
    std::atomic<qint64> m_count{0};
};

WebEngineBrowser::WebEngineBrowser(QWebEngineView *view, const Timings &timings, EngineHealth &health, QObject *parent)
    : BrowserAdapter(parent)
    , m_view(view)
    , m_timings(timings)
    , m_health(health)
{
    m_renewal.setSingleShot(true);
    connect(&m_renewal, &QTimer::timeout, this, &WebEngineBrowser::awaitNetworkService);
    freshPage();
}

WebEngineBrowser::~WebEngineBrowser()
{
    failPendingAnswers();
}

void WebEngineBrowser::freshPage()
{
    failPendingAnswers();
    // A profile without a storage name is off the record.
    auto *profile = new QWebEngineProfile();
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    auto *counter = new RequestCounter(profile);
    profile->setUrlRequestInterceptor(counter);
    QPointer<SilentPage> old = m_page;
    if (old)
        old->disconnect(this);
    m_page = new SilentPage(profile, m_view);
    m_counter = counter;
    // The engine wants the page gone before its profile; a child dies after its parent's destructor.
    profile->setParent(m_page);
    m_page->setSilent(m_silent);
    m_started = false;
    m_complete = false;
    m_spoiled = false;
    m_rendererGone = false;
    m_limitedPid = 0;
    connect(m_page, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::onLoadingChanged);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this, &WebEngineBrowser::onRenderProcessTerminated);
    connect(m_page, &SilentPage::navigationRefused, this, [this](const QUrl &url, bool offHost) {
        if (!offHost)
            m_moveRefused = true;
        else if (m_failure.isEmpty())
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
    connect(m_page, &QWebEnginePage::visibleChanged, this, &WebEngineBrowser::keepVisible, Qt::QueuedConnection);
    m_page->setVisible(true);
    // The view deletes the page it lets go of only when it is the page's parent. The profile, a
    // child of the page, goes with it, and the engine ends the renderer of a profile that goes.
    delete old.data();
}

void WebEngineBrowser::keepVisible(bool visible)
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
    const bool stuck = (unfinished && m_health.lastLoadFinishedMs() < m_navigationStartMs) || m_health.stuck() ||
                       (std::exchange(m_renewNext, false) && m_health.suspect());
    if (stuck)
        m_health.renewed();
    const QSet<qint64> ended = stuck ? endNetworkService() : QSet<qint64>();
    m_freshPageFirst = m_spoiled || unfinished;
    m_givenUp = false;
    m_failure.clear();
    m_moveRefused = false;
    ++m_navigation;
    forgetShown();
    m_shownCursor = 0;
    m_shownDocument = 0;
    m_started = false;
    m_complete = false;
    m_loading = false;
    m_navigationStartMs = m_health.nowMs();
    m_pendingAddress = address;
    m_endedServices = ended;
    m_renewalClock.start();
    awaitNetworkService();
}

// The load starts once the engine runs a network service again after one was ended, or once the
// answer limit has passed without one; it is looked for every few frames, not waited for. Only
// then is a fresh page made, whose profile needs the network side.
void WebEngineBrowser::awaitNetworkService()
{
    if (!m_endedServices.isEmpty() && m_renewalClock.elapsed() < m_timings.scriptAnswerLimitMs) {
        const QSet<qint64> now = networkServices();
        if (now.isEmpty() || now.intersects(m_endedServices)) {
            m_renewal.start(20);
            return;
        }
    }
    m_endedServices.clear();
    if (m_pendingAddress.isNull())
        return;
    if (std::exchange(m_freshPageFirst, false))
        freshPage();
    stampNewDocuments();
    m_page->expectNavigation();
    // Nothing the old document has begun loading may land after this navigation, or in its place
    // when the engine refuses the address.
    m_page->triggerAction(QWebEnginePage::Stop);
    m_requestsBefore = m_counter ? static_cast<RequestCounter *>(m_counter.data())->count() : 0;
    m_page->load(QUrl(std::exchange(m_pendingAddress, QString())));
    m_loading = true;
    emit readyStateChanged();
}

// Marks every document created from now on as this navigation's, in the program's own script
// world, where the page's scripts cannot see or change the mark. A read that finds an older mark
// (or none) is looking at a document from before the navigation.
void WebEngineBrowser::stampNewDocuments()
{
    const Timings &t = m_timings;
    QWebEngineScript stamp;
    stamp.setName(stampName);
    stamp.setInjectionPoint(QWebEngineScript::DocumentCreation);
    stamp.setWorldId(QWebEngineScript::ApplicationWorld);
    stamp.setRunsOnSubFrames(false);
    stamp.setSourceCode(QStringLiteral("window.quilloryNavigation = %1;").arg(m_navigation) +
                        QString::fromUtf8(shownRecorder).arg(t.maxPageBytes) +
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
        // The page's frames ask for batches too; they tell the page's own window.
        watch.setRunsOnSubFrames(true);
        watch.setSourceCode(QString::fromUtf8(requestWatch).arg(t.pendingTimerHorizonMs));
        scripts.insert(watch);
    }
}

void WebEngineBrowser::giveUpLoad()
{
    if (m_navigation == 0 || m_complete)
        return;
    m_health.loadGivenUp(m_navigationStartMs);
    // Nothing of it may be asked again of the network side that takes over from a stuck one. The
    // load that stops is not one that finished: the network side has shown nothing by it.
    m_givenUp = true;
    m_page->triggerAction(QWebEnginePage::Stop);
}

int WebEngineBrowser::ReadyState() const
{
    return m_complete ? Complete : m_loading ? Loading : Waiting;
}

void WebEngineBrowser::renewNetworkBeforeNextLoad()
{
    m_renewNext = true;
}

void WebEngineBrowser::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        limitRenderer();
        // A reload or a move the old document tried meanwhile, refused, also begins and ends.
        if (m_page->isAskedLoad(info.url()))
            m_started = true;
        return;
    }
    if (m_page->isAskedLoad(info.url()))
        onLoadFinished();
}

void WebEngineBrowser::onLoadFinished()
{
    // A finish that belongs to a load begun before the last Navigate does not count, nor does
    // the end of one given up.
    if (!m_started || m_complete || m_givenUp)
        return;
    m_health.loadFinished();
    m_page->loadDone();
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
    failPendingAnswers();
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
    const rlim_t cap = rlim_t(m_timings.pageProcessDataMiB) * 1024 * 1024;
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur <= cap)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? cap : std::min(cap, limit.rlim_max);
    prlimit(pid_t(pid), RLIMIT_DATA, &limit, nullptr);
}

void WebEngineBrowser::readBody(QObject *context, std::function<void(const Body &)> answer)
{
    if (m_rendererGone)
        return answerLater(context, std::move(answer), Body{});
    limitRenderer();
    // The length is checked inside the page, so that a page over the cap never crosses over.
    const QString script = QStringLiteral("(function () {"
                                          "  if (window.quilloryNavigation !== %1) return -1;"
                                          "  var body = document.body;"
                                          "  if (!body) return [''];"
                                          "  var html = body.outerHTML;"
                                          "  return html.length > %2 ? html.length : [html];"
                                          "})()")
                               .arg(m_navigation)
                               .arg(m_timings.maxPageBytes);
    askWithNews(script, context, [answer = std::move(answer)](const std::optional<QVariant> &given) {
        Body body;
        if (given && given->typeId() == QMetaType::QVariantList) {
            const QVariantList parts = given->toList();
            if (parts.size() == 1 && parts.at(0).typeId() == QMetaType::QString) {
                body.read = BodyRead::Markup;
                body.markup = parts.at(0).toString();
            }
        } else if (given) {
            bool isNumber = false;
            const double number = given->toDouble(&isNumber);
            if (isNumber)
                body.read = number < 0 ? BodyRead::NoPage : BodyRead::TooLarge;
        }
        answer(body);
    });
}

// Runs `script` and hands its answer on; every answer also brings the states the page showed
// since the last one (BrowserAdapter::shown()), so that what a page showed before it stopped
// answering is kept.
void WebEngineBrowser::askWithNews(const QString &script, QObject *context,
                                   std::function<void(const std::optional<QVariant> &)> answer)
{
    const QString withNews = QStringLiteral("(function () {"
                                            "  var answer = %1;"
                                            "  var s = window.quilloryNavigation === %2 && window.quilloryShown;"
                                            "  if (!s) return [answer];"
                                            "  var from = s.document === %4 ? %3 : 0;"
                                            "  return [answer, s.states.slice(from), from, s.document];"
                                            "})()")
                                 .arg(script)
                                 .arg(m_navigation)
                                 .arg(m_shownCursor)
                                 .arg(m_shownDocument);
    const QPointer<WebEngineBrowser> self(this);
    const qint64 navigation = m_navigation;
    ask(withNews, context, [self, navigation, answer = std::move(answer)](const std::optional<QVariant> &given) {
        const QVariantList parts =
            given && given->typeId() == QMetaType::QVariantList ? given->toList() : QVariantList();
        if (parts.isEmpty())
            return answer(given ? std::optional<QVariant>(QVariant()) : std::nullopt);
        if (self && parts.size() == 4 && self->m_navigation == navigation)
            self->takeNews(parts.at(1).toList(), qint64(parts.at(2).toDouble()), qint64(parts.at(3).toDouble()));
        answer(parts.at(0));
    });
}

void WebEngineBrowser::takeNews(const QVariantList &states, qint64 from, qint64 document)
{
    // A document the navigation brought later (a redirect of its own) records from the start.
    if (document != m_shownDocument) {
        m_shownDocument = document;
        m_shownCursor = 0;
    }
    if (from > m_shownCursor)
        return;
    QList<ShownElement> fresh;
    for (qsizetype i = m_shownCursor - from; i < states.size(); ++i) {
        const QVariantList state = states.at(i).toList();
        if (state.isEmpty())
            continue;
        ShownElement element;
        element.markup = state.at(0).toString();
        if (state.size() == 3) {
            element.y = qint64(state.at(1).toDouble());
            element.x = qint64(state.at(2).toDouble());
            element.placed = true;
        }
        fresh.append(element);
    }
    m_shownCursor = from + states.size();
    keepShown(fresh);
}

void WebEngineBrowser::ask(const QString &script, QObject *context,
                           std::function<void(const std::optional<QVariant> &)> answer)
{
    // A page that kept its renderer busy past the limit once would only do so again.
    if (m_spoiled)
        return answerLater(context, std::move(answer), std::optional<QVariant>());
    auto pending = std::make_shared<Pending>();
    pending->context = context;
    pending->answer = std::move(answer);
    m_pending.push_back(pending);
    const auto deliver = [this, pending](const std::optional<QVariant> &value) {
        if (pending->delivered)
            return;
        pending->delivered = true;
        pending->limit.stop();
        // The limit's connection holds this answer: let it go.
        pending->limit.disconnect();
        m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), pending), m_pending.end());
        if (pending->context)
            pending->answer(value);
    };
    pending->limit.setSingleShot(true);
    connect(&pending->limit, &QTimer::timeout, this, [this, deliver] {
        // A page that keeps its renderer busy this long is taken to hang.
        m_spoiled = true;
        deliver(std::nullopt);
    });
    pending->limit.start(m_timings.scriptAnswerLimitMs);
    // The application's own script world: the page cannot redefine what this script calls.
    const QPointer<WebEngineBrowser> self(this);
    m_page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [self, deliver](const QVariant &value) {
        if (self)
            deliver(value);
    });
}

// A renderer that dies, or a page let go of, takes its answers with it.
void WebEngineBrowser::failPendingAnswers()
{
    const std::vector<std::shared_ptr<Pending>> pending = std::exchange(m_pending, {});
    for (const std::shared_ptr<Pending> &each : pending) {
        if (each->delivered)
            continue;
        each->delivered = true;
        each->limit.stop();
        each->limit.disconnect();
        if (each->context)
            answerLater(each->context.data(), each->answer, std::optional<QVariant>());
    }
}

void WebEngineBrowser::Scroll(int x, int y)
{
    if (m_rendererGone)
        return;
    m_page->runJavaScript(QStringLiteral("window.quilloryScrolling ? window.quilloryScrolling.to(%2) : "
                                         "window.scrollTo(%1, %2)")
                              .arg(x)
                              .arg(y),
                          QWebEngineScript::ApplicationWorld);
}

void WebEngineBrowser::readActivity(QObject *context, std::function<void(const Activity &)> answer)
{
    if (m_rendererGone)
        return answerLater(context, std::move(answer), Activity{});
    const QString script =
        QStringLiteral(
            "(function () {"
            "  if (window.quilloryNavigation !== %1) return -1;"
            "  var page = document.scrollingElement || document.documentElement;"
            "  var a = window.quilloryActivity || { changes: 0, requests: 0, open: 0, streams: 0, deliveries: 0 };"
            "  var s = window.quilloryShown || { states: [], placed: 0, replaced: 0 };"
            "  var animations = 0;"
            "  try {"
            "    document.getAnimations().forEach(function (x) {"
            "      if (x.playState !== 'running' || !x.effect) return;"
            "      var t = x.effect.getComputedTiming();"
            "      var left = (t.endTime - (t.localTime || 0)) / Math.abs(x.playbackRate || 1);"
            "      if (isFinite(left) && left <= %2) ++animations;"
            "    });"
            "  } catch (e) {}"
            "  var view = window.quilloryScrolling ? window.quilloryScrolling.view()"
            "    : [window.scrollY, page ? Math.max(0, page.scrollHeight - window.innerHeight) : 0, "
            "window.innerHeight];"
            "  return view.concat([s.replaced, s.placed || 0, a.changes, a.requests, a.open,"
            "          animations, a.streams, a.deliveries]);"
            "})()")
            .arg(m_navigation)
            .arg(m_timings.pendingTimerHorizonMs);
    const QPointer<RequestCounter> counter(static_cast<RequestCounter *>(m_counter.data()));
    const qint64 before = m_requestsBefore;
    askWithNews(script, context, [answer = std::move(answer), counter, before](const std::optional<QVariant> &given) {
        Activity now;
        const QVariantList values =
            given && given->typeId() == QMetaType::QVariantList ? given->toList() : QVariantList();
        if (values.size() == 11) {
            const auto at = [&values](int i) { return qint64(values.at(i).toDouble()); };
            now.answered = true;
            now.scrollY = at(0);
            now.scrollLimit = at(1);
            now.viewHeight = at(2);
            now.rowsReplaced = at(3);
            now.shownStates = at(4);
            now.changes = at(5);
            now.requests = at(6);
            now.openRequests = at(7);
            now.animations = at(8);
            now.streams = at(9);
            now.deliveries = at(10);
            now.networkRequests = counter ? std::max<qint64>(0, counter->count() - before) : 0;
        }
        answer(now);
    });
}
