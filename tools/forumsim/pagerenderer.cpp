#include "tools/forumsim/pagerenderer.h"

#include "tools/forumsim/librarygallery.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringBuilder>
#include <QStringEncoder>
#include <QUrl>

namespace {

// Appends the remaining pictures a batch at a time, the way a lazily loading gallery does: the
// loader decides what sets off a batch (%4), grow() where its ids come from (%3), place() how a
// batch goes into the page and landed() what the page does once it is in (%2); a batch that is
// due is not asked for again, and none is asked for while the last one is still going in.
constexpr char GalleryScript[] = R"(<script>
(function () {
  var bar = %1;
%2  var list = document.getElementById("ag_list");
  function add(id) {
    var a = document.createElement("a");
    a.className = "ag_ele_a";
    a.setAttribute("href", "/photo/p?kw=" + encodeURIComponent(bar) + "&pic_id=" + encodeURIComponent(id));
    if (height)
      a.style.display = "block";
    var img = document.createElement("img");
    img.setAttribute("src", "/forum/pic/thumb/" + encodeURIComponent(id) + ".jpg");
    img.width = 60;
    img.height = height || 45;
    a.appendChild(img);
    list.appendChild(a);
  }
%3%4})();
</script>
)";

// A batch goes in at once.
constexpr char PlaceAtOnce[] = R"(  function place(got, then) {
    got.forEach(add);
    then();
  }
)";

// A batch goes in %1 pictures per animation frame, in order.
constexpr char PlacePerFrame[] = R"(  function place(got, then) {
    var at = 0;
    requestAnimationFrame(function frame() {
      got.slice(at, at + %1).forEach(add);
      at += %1;
      if (at < got.length)
        requestAnimationFrame(frame);
      else
        then();
    });
  }
)";

// A batch goes in only once a CSS animation or transition on the cue below the pictures has run
// to its end: %1 the event, %2 what starts it afresh. No timer and no request is open meanwhile.
constexpr char PlaceAfterCue[] = R"(  var cue = document.getElementById("ag_cue"), flip = false;
  function place(got, then) {
    cue.addEventListener("%1", function () {
      got.forEach(add);
      then();
    }, { once: true });
%2  }
)";

constexpr char RestartAnimation[] = R"(    cue.classList.remove("ag_run");
    void cue.offsetWidth;
    cue.classList.add("ag_run");
)";

constexpr char FlipTransition[] = R"(    flip = !flip;
    cue.style.width = flip ? "100px" : "0px";
)";

// The server pushes the batches over an event stream, whatever the window does; they go in one
// after another as they come. A stream that ends is opened again by the browser, and the server
// answers a stream that has sent everything with 204, which ends that.
constexpr char EventBatches[] = R"(  var queue = [], placing = false;
  var source = new EventSource("/p/" + encodeURIComponent(album) + "/events");
  source.onmessage = function (message) {
    queue.push(JSON.parse(message.data));
    drain();
  };
  function drain() {
    if (placing || !queue.length)
      return;
    placing = true;
    place(queue.shift(), function () {
      placing = false;
      landed();
      drain();
    });
  }
)";

// After %1 more batches (Infinity: each one) the page scrolls back to its top.
constexpr char Landed[] = R"(  var jumps = %1;
  function landed() {
    if (jumps > 0) {
      --jumps;
      window.scrollTo(0, 0);
    }
  }
)";

constexpr char PageDeclarations[] = R"(  var ids = %1;
  var batch = %2, delay = %3, spread = %5, height = %4, next = 0, pending = false;
)";

// The ids are in the page; a batch lands the album's delay after it is due (somewhere in its
// spread, the same on every run).
constexpr char PageBatches[] = R"(  function grow(then) {
    if (pending || next >= ids.length)
      return;
    pending = true;
    setTimeout(function () {
      var got = ids.slice(next, next + batch);
      next += batch;
      place(got, function () {
        pending = false;
        landed();
        if (then)
          then();
      });
    }, delay + (next * 7919) % (spread + 1));
  }
)";

// Only how many pictures are still to come is in the page: first is the index of the first of
// them in the album, which the server counts from.
constexpr char ServerDeclarations[] = R"(  var album = %1, first = %2, total = %3;
  var batch = %4, height = %5, next = 0, pending = false;
)";

// Each batch is asked of the server, which takes the album's delay to answer. A batch that does
// not come sets off nothing more, so a server that is gone does not draw a loop of requests;
// the next scroll event or observation asks again.
constexpr char ServerBatches[] = R"(  function grow(then) {
    if (pending || next >= total)
      return;
    pending = true;
    ask("/p/" + encodeURIComponent(album) + "/batch?from=" + (first + next) + "&count=" + batch, function (got) {
      if (!got) {
        pending = false;
        return;
      }
      next += batch;
      place(got, function () {
        pending = false;
        landed();
        if (then)
          then();
      });
    });
  }
)";

constexpr char FetchAsk[] = R"(  function ask(address, done) {
    fetch(address, { cache: "no-store" }).then(function (answer) {
      return answer.ok ? answer.json() : null;
    }).then(done, function () { done(null); });
  }
)";

constexpr char XhrAsk[] = R"(  function ask(address, done) {
    var request = new XMLHttpRequest();
    request.open("GET", address);
    request.onload = function () {
      var got = null;
      try {
        got = request.status == 200 ? JSON.parse(request.responseText) : null;
      } catch (e) {
      }
      done(got);
    };
    request.onerror = function () { done(null); };
    request.send();
  }
)";

// The page asks a hidden iframe of its own origin, which fetches with its own XMLHttpRequest;
// until the iframe's page is there, a batch waits for it.
constexpr char FrameAsk[] = R"(  var frame = document.getElementById("ag_frame");
  function ask(address, done) {
    var helper = frame.contentWindow && frame.contentWindow.fetchBatch;
    if (helper)
      helper(address, done);
    else
      frame.addEventListener("load", function () { ask(address, done); }, { once: true });
  }
)";

// The page asks a dedicated worker, which fetches and posts the ids back; one batch at a time.
constexpr char WorkerAsk[] =
    R"(  var worker = new Worker("/p/" + encodeURIComponent(album) + "/worker.js"), waiting = null;
  worker.onmessage = function (message) {
    var done = waiting;
    waiting = null;
    if (done)
      done(message.data);
  };
  function ask(address, done) {
    waiting = done;
    worker.postMessage(address);
  }
)";

// The iframe loader's page: fetchBatch() is called from the album page.
constexpr char BatchFramePage[] = R"(<!DOCTYPE html>
<html><head><meta charset="gbk"><title>batch</title>
<script>
window.fetchBatch = function (address, done) {
  var request = new XMLHttpRequest();
  request.open("GET", address);
  request.onload = function () {
    var got = null;
    try {
      got = request.status == 200 ? JSON.parse(request.responseText) : null;
    } catch (e) {
    }
    done(got);
  };
  request.onerror = function () { done(null); };
  request.send();
};
</script>
</head><body></body></html>
)";

// The worker loader's script: each message is an address, each answer its ids (null: none).
constexpr char BatchWorkerScript[] = R"(onmessage = function (message) {
  fetch(message.data, { cache: "no-store" }).then(function (answer) {
    return answer.ok ? answer.json() : null;
  }).then(function (got) { postMessage(got); }, function () { postMessage(null); });
};
)";

// Rows more than a window above the view leave the document, as in a virtualised list; the
// block above the list grows by as much, so nothing below moves.
constexpr char VirtualRowsScript[] = R"(<script>
(function () {
  var list = document.getElementById("ag_list"), gone = document.getElementById("ag_gone");
  function shed() {
    var height = 0;
    while (list.firstElementChild && list.firstElementChild.getBoundingClientRect().bottom < -window.innerHeight) {
      height += list.firstElementChild.getBoundingClientRect().height;
      list.removeChild(list.firstElementChild);
    }
    if (height > 0)
      gone.style.height = (gone.getBoundingClientRect().height + height) + "px";
  }
  window.addEventListener("scroll", shed);
  new MutationObserver(shed).observe(list, { childList: true });
})();
</script>
)";

// A batch per scroll event, wherever the window is.
constexpr char ScrollLoader[] = R"(  window.addEventListener("scroll", function () { grow(); });
)";

// Infinite scroll: a batch whenever the window's bottom comes near the page's end, and again
// after a batch that left it there.
constexpr char NearEndLoader[] = R"(  function nearEnd() {
    var page = document.scrollingElement || document.documentElement;
    if (window.innerHeight + window.scrollY >= page.scrollHeight - 300)
      grow(nearEnd);
  }
  window.addEventListener("scroll", nearEnd);
  nearEnd();
)";

// A batch whenever the element below the pictures comes near the window; watched afresh after
// each batch, so that one still in view asks again.
constexpr char ObserverLoader[] = R"(  var more = document.getElementById("ag_more");
  var observer = new IntersectionObserver(function (entries) {
    if (entries[entries.length - 1].isIntersecting)
      grow(function () { observer.unobserve(more); observer.observe(more); });
  }, { rootMargin: "300px" });
  observer.observe(more);
)";

// Infinite scroll as many galleries throttle it: the page's end is looked at only once
// scrolling has rested for %1 ms, and again (after such a rest) after each batch.
constexpr char DebounceLoader[] = R"(  var rest = null;
  function settled() {
    clearTimeout(rest);
    rest = setTimeout(function () {
      var page = document.scrollingElement || document.documentElement;
      if (window.innerHeight + window.scrollY >= page.scrollHeight - 300)
        grow(settled);
    }, %1);
  }
  window.addEventListener("scroll", settled);
  settled();
)";

// A batch at once, then one %1 ms after each batch has landed, whatever the window does.
constexpr char TimerLoader[] = R"(  function later() {
    setTimeout(function () { grow(later); }, %1);
  }
  grow(later);
)";

// A batch at once, then one %1 animation frames after each batch has landed: a page the engine
// takes for hidden draws no frames and so gets no further.
constexpr char FramesLoader[] = R"(  function later() {
    var frames = 0;
    requestAnimationFrame(function frame() {
      if (++frames < %1)
        requestAnimationFrame(frame);
      else
        grow(later);
    });
  }
  grow(later);
)";

// %2 ms after the list first holds all %1 pictures, the page's main thread loops for good.
constexpr char FreezeScript[] = R"(<script>
(function () {
  var list = document.getElementById("ag_list"), armed = false;
  var observer = new MutationObserver(count);
  function count() {
    if (armed || list.querySelectorAll("a.ag_ele_a").length < %1)
      return;
    armed = true;
    observer.disconnect();
    setTimeout(function () {
      for (;;) {
      }
    }, %2);
  }
  observer.observe(list, { childList: true });
  count();
})();
</script>
)";

// The page sends itself to another album of its bar.
constexpr char NavigateScript[] = R"(<script>
setTimeout(function () {
  location.href = "/p/" + encodeURIComponent(%1);
}, %2);
</script>
)";

// Analytics that never stop: every %1 ms a small request, by fetch() and sendBeacon() in turn.
constexpr char BeaconScript[] = R"(<script>
(function () {
  var n = 0;
  setInterval(function () {
    if (n++ % 2 && navigator.sendBeacon)
      navigator.sendBeacon("/beacon", "n=" + n);
    else
      fetch("/beacon?n=" + n, { cache: "no-store" }).catch(function () {});
  }, %1);
})();
</script>
)";

// A long poll: one request always open, which the server holds and the page renews at once.
// When the server cannot be reached, a pause keeps the page from asking in a tight loop.
constexpr char LongPollScript[] = R"(<script>
(function () {
  function poll() {
    fetch("/poll?album=" + encodeURIComponent(%1), { cache: "no-store" }).then(function () {
      poll();
    }, function () {
      setTimeout(poll, 1000);
    });
  }
  poll();
})();
</script>
)";

const char *askScript(BatchSource source)
{
    switch (source) {
    case BatchSource::Fetch:
        return FetchAsk;
    case BatchSource::Xhr:
        return XhrAsk;
    case BatchSource::Frame:
        return FrameAsk;
    case BatchSource::Worker:
    case BatchSource::Page:
    case BatchSource::Events:
        break;
    }
    return WorkerAsk;
}

} // namespace

QByteArray PageRenderer::listPage(const QString &barName, const ForumBar *bar, int page)
{
    QString content = u"<div class=\"grbm_wrapper\">\n"_qs;
    if (bar)
        content += albumEntries(*bar, page);
    if (!bar || bar->albums.isEmpty())
        content += u"<p class=\"grbm_empty\">本吧暂无相册</p>\n"_qs;
    content += u"</div>\n"_qs;
    if (bar && page >= 1 && page <= bar->pageCount())
        content += pager(*bar, barName, page);
    return gbk(frame(barName.toHtmlEscaped() % u"吧_相册"_qs, barName, content));
}

QByteArray PageRenderer::albumPage(const QString &barName, const ForumAlbum &album)
{
    QString content;
    if (!album.noTitle)
        content += u"<div class=\"aghl_big aghl_title\">"_qs % album.title % u"</div>\n"_qs;
    content += u"<div class=\"aghl_info\">共 "_qs % QString::number(album.pictures.size()) % u" 张</div>\n"_qs;
    if (album.library != GalleryLibrary::None) {
        content += LibraryGallery::markup(barName, album) % blindScripts(album);
        return gbk(frame(album.title % u"_"_qs % barName.toHtmlEscaped() % u"吧"_qs, barName, content));
    }
    if (album.virtualRows)
        content += u"<div id=\"ag_gone\"></div>\n"_qs;
    content += u"<div id=\"ag_list\" class=\"ag_container\">"_qs;
    const int initial = qMin(album.initial, int(album.pictures.size()));
    for (int i = 0; i < initial; ++i)
        content += pictureLink(barName, album.pictures.at(i).id, album.pictureHeight);
    content += u"</div>\n"_qs;
    if (album.batchAnimationMs > 0)
        content +=
            u"<style>#ag_cue{height:4px;width:100px;background:#bbb}#ag_cue.ag_run{animation:ag_cue "_qs %
            QString::number(album.batchAnimationMs) %
            u"ms linear}@keyframes ag_cue{from{opacity:1}to{opacity:.3}}</style>\n<div id=\"ag_cue\"></div>\n"_qs;
    else if (album.batchTransitionMs > 0)
        content += u"<style>#ag_cue{height:4px;width:0;background:#bbb;transition:width "_qs %
                   QString::number(album.batchTransitionMs) % u"ms linear}</style>\n<div id=\"ag_cue\"></div>\n"_qs;
    // A gallery that grows at its bottom has nothing below its pictures but what it watches.
    if (album.loader == GalleryLoader::Scroll && album.batchFrom != BatchSource::Events)
        content += u"<div style=\"height:12000px\"></div>\n"_qs;
    else if (album.loader == GalleryLoader::Observer)
        content += u"<div id=\"ag_more\"></div>\n"_qs;
    if (album.ticking)
        content += u"<div id=\"ag_ticker\">0</div>\n"_qs % tickerScript();
    if (album.neverLoads)
        content += u"<img src=\"/hang\" width=\"1\" height=\"1\">\n"_qs;
    if (album.batchFrom == BatchSource::Frame)
        content += u"<iframe id=\"ag_frame\" src=\"/p/"_qs % urlPart(album.id) %
                   u"/frame\" style=\"display:none\"></iframe>\n"_qs;
    content += galleryScript(barName, album);
    if (album.virtualRows)
        content += QString::fromUtf8(VirtualRowsScript);
    if (album.freezeAfterMs >= 0)
        content += QString::fromUtf8(FreezeScript)
                       .arg(QString::number(album.pictures.size()), QString::number(album.freezeAfterMs));
    content += blindScripts(album);
    return gbk(frame(album.title % u"_"_qs % barName.toHtmlEscaped() % u"吧"_qs, barName, content));
}

// What any album page may do besides its gallery: requests that never rest, a page that goes
// elsewhere, and a script of the config's own.
QString PageRenderer::blindScripts(const ForumAlbum &album)
{
    QString content;
    if (!album.navigateTo.isEmpty())
        content +=
            QString::fromUtf8(NavigateScript).arg(jsLiteral(album.navigateTo), QString::number(album.navigateAfterMs));
    if (album.noise == PageNoise::Beacon)
        content += QString::fromUtf8(BeaconScript).arg(album.noiseMs);
    else if (album.noise == PageNoise::LongPoll)
        content += QString::fromUtf8(LongPollScript).arg(jsLiteral(album.id));
    // After the gallery, so that a script that never yields still leaves a complete page behind.
    if (!album.script.isEmpty())
        content += u"<script>\n"_qs % album.script % u"\n</script>\n"_qs;
    return content;
}

QByteArray PageRenderer::batchFrame()
{
    return gbk(QString::fromUtf8(BatchFramePage));
}

QByteArray PageRenderer::batchWorker()
{
    return QByteArray(BatchWorkerScript);
}

QString PageRenderer::frame(const QString &title, const QString &barName, const QString &content)
{
    return u"<!DOCTYPE html>\n<html><head><meta charset=\"gbk\">\n<title>"_qs % title %
           u"</title>\n<style>body{font:14px sans-serif;margin:0 20px}"
           "#head{padding:8px 0;border-bottom:1px solid #ccc}</style>\n</head><body>\n"
           "<div id=\"head\"><a href=\"/\">贴吧</a> &gt; <a href=\"/f?kw="_qs %
           urlPart(barName) % u"\">"_qs % barName.toHtmlEscaped() % u"吧</a> &gt; 图片</div>\n"_qs % content %
           u"<div id=\"foot\">forumsim</div>\n</body></html>\n"_qs;
}

QString PageRenderer::albumEntries(const ForumBar &bar, int page)
{
    if (page < 1)
        return {};
    QString entries;
    const qsizetype first = qsizetype(page - 1) * bar.perPage;
    for (qsizetype i = first; i < first + bar.perPage && i < bar.albums.size(); ++i) {
        const ForumAlbum &album = bar.albums.at(i);
        entries += u"<div class=\"grbm_ele_wrapper\"><a class=\"grbm_ele_a grbm_ele_big\" href=\"/p/"_qs %
                   urlPart(album.id) % u"\" target=\"_blank\"><span>"_qs % album.title %
                   u"</span></a><span class=\"grbm_ele_num\">"_qs % QString::number(album.pictures.size()) %
                   u"张</span></div>\n"_qs;
    }
    return entries;
}

QString PageRenderer::pager(const ForumBar &bar, const QString &barName, int page)
{
    const int pages = bar.pageCount();
    if (pages == 1)
        return {};
    QString links = u"<div class=\"pager\">"_qs;
    if (page > 1)
        links += listLink(barName, page - 1, u"上一页"_qs);
    links += u"<span class=\"cur\">"_qs % QString::number(page) % u"</span>"_qs;
    if (page < pages)
        links += listLink(barName, page + 1, u"下一页"_qs);
    const bool last = bar.lastPageLink == LastPageLink::Every ||
                      (bar.lastPageLink == LastPageLink::NotLast && page < pages) ||
                      (bar.lastPageLink == LastPageLink::First && page == 1);
    if (last)
        links += listLink(barName, pages, u"尾页"_qs);
    return links % u"</div>\n"_qs;
}

QString PageRenderer::listLink(const QString &barName, int page, const QString &label)
{
    return u"<a href=\"/photo/g?kw="_qs % urlPart(barName) % u"&amp;pn="_qs % QString::number(page) % u"\">"_qs %
           label % u"</a>"_qs;
}

QString PageRenderer::pictureLink(const QString &barName, const QString &pictureId, int height)
{
    return u"<a class=\"ag_ele_a\""_qs % (height > 0 ? u" style=\"display: block;\""_qs : QString()) %
           u" href=\"/photo/p?kw="_qs % urlPart(barName) % u"&amp;pic_id="_qs % urlPart(pictureId) %
           u"\"><img src=\"/forum/pic/thumb/"_qs % urlPart(pictureId) % u".jpg\" width=\"60\" height=\""_qs %
           QString::number(height > 0 ? height : 45) % u"\"></a>"_qs;
}

QString PageRenderer::galleryScript(const QString &barName, const ForumAlbum &album)
{
    const qsizetype initial = qMin(qsizetype(album.initial), album.pictures.size());
    QString declarations;
    QString batches;
    if (album.batchFrom == BatchSource::Page) {
        QJsonArray ids;
        for (qsizetype i = initial; i < album.pictures.size(); ++i)
            ids.append(album.pictures.at(i).id);
        declarations = QString::fromUtf8(PageDeclarations)
                           .arg(jsLiteral(ids), QString::number(album.batch), QString::number(album.delayMs),
                                QString::number(album.pictureHeight),
                                QString::number(std::max(0, album.delayMaxMs - album.delayMs)));
        batches = QString::fromUtf8(PageBatches);
    } else {
        declarations =
            QString::fromUtf8(ServerDeclarations)
                .arg(jsLiteral(album.id), QString::number(initial), QString::number(album.pictures.size() - initial),
                     QString::number(album.batch), QString::number(album.pictureHeight));
        batches = album.batchFrom == BatchSource::Events
                      ? QString::fromUtf8(EventBatches)
                      : QString::fromUtf8(askScript(album.batchFrom)) % QString::fromUtf8(ServerBatches);
    }
    QString loader;
    switch (album.loader) {
    case GalleryLoader::Scroll:
        loader = QString::fromUtf8(ScrollLoader);
        break;
    case GalleryLoader::NearEnd:
        loader = QString::fromUtf8(NearEndLoader);
        break;
    case GalleryLoader::Observer:
        loader = QString::fromUtf8(ObserverLoader);
        break;
    case GalleryLoader::Debounce:
        loader = QString::fromUtf8(DebounceLoader).arg(album.debounceMs);
        break;
    case GalleryLoader::Timer:
        loader = QString::fromUtf8(TimerLoader).arg(album.gapMs);
        break;
    case GalleryLoader::Frames:
        loader = QString::fromUtf8(FramesLoader).arg(album.gapFrames);
        break;
    }
    if (album.batchFrom == BatchSource::Events)
        loader.clear();
    QString placing =
        album.perFrame > 0 ? QString::fromUtf8(PlacePerFrame).arg(album.perFrame) : QString::fromUtf8(PlaceAtOnce);
    if (album.batchAnimationMs > 0)
        placing = QString::fromUtf8(PlaceAfterCue).arg(u"animationend"_qs, QString::fromUtf8(RestartAnimation));
    else if (album.batchTransitionMs > 0)
        placing = QString::fromUtf8(PlaceAfterCue).arg(u"transitionend"_qs, QString::fromUtf8(FlipTransition));
    const QString jumps = album.jumpToTop == JumpToTop::Always ? u"Infinity"_qs
                          : album.jumpToTop == JumpToTop::Once ? u"1"_qs
                                                               : u"0"_qs;
    return QString::fromUtf8(GalleryScript)
        .arg(jsLiteral(barName), declarations % placing % QString::fromUtf8(Landed).arg(jumps), batches, loader);
}

QString PageRenderer::tickerScript()
{
    return uR"(<script>
(function () {
  var ticker = document.getElementById("ag_ticker"), n = 0;
  setInterval(function () { ticker.textContent = String(++n); }, 50);
})();
</script>
)"_qs;
}

// JSON is valid JavaScript. "<" only occurs inside its strings, and escaping it there keeps a
// value from closing the script element or opening an HTML comment in it.
QString PageRenderer::jsLiteral(const QJsonValue &value)
{
    const QJsonArray wrapper{value};
    QString json = QString::fromUtf8(QJsonDocument(wrapper).toJson(QJsonDocument::Compact));
    json = json.mid(1, json.size() - 2);
    return json.replace(u'<', u"\\u003c"_qs);
}

// Matches encodeURIComponent, so links rendered here and links the script adds look alike.
QString PageRenderer::urlPart(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "!*'()"));
}

QByteArray PageRenderer::gbk(const QString &html)
{
    // GB18030 is a superset of GBK and identical to it for every character these pages use.
    QStringEncoder encoder("GB18030");
    return encoder.encode(html);
}
