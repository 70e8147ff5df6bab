#include "tools/forumsim/librarygallery.h"

#include "tools/forumsim/pagerenderer.h"

#include <QJsonArray>
#include <QStringBuilder>

namespace {

// What every library gallery but htmx's shares: the album's numbers, the first pictures' ids, and
// the batches asked of the server. Tokens between @ signs are filled in; JavaScript's own % and $
// stay as they are.
constexpr char Prelude[] = R"js(<script>
(function () {
  var bar = @bar@, album = @album@, first = @first@, total = @total@, batch = @batch@, height = @height@;
  var thumbs = @thumbs@, ids = @ids@, next = 0, pending = false;
  function link(id) {
    return "/photo/p?kw=" + encodeURIComponent(bar) + "&pic_id=" + encodeURIComponent(id);
  }
  function thumb(id) {
    return "/forum/pic/thumb/" + encodeURIComponent(id) + ".jpg";
  }
  function nearEnd(margin) {
    var page = document.scrollingElement || document.documentElement;
    return window.innerHeight + window.scrollY >= page.scrollHeight - margin;
  }
  // The next batch from the server. place() puts it in and calls back once it is in; only then
  // may another be asked for, so that batches keep their order. One that fails is asked for
  // again only by a later check.
  function more(place) {
    if (pending || next >= total)
      return;
    pending = true;
    fetch("/p/" + encodeURIComponent(album) + "/batch?from=" + (first + next) + "&count=" + batch, { cache: "no-store" })
      .then(function (answer) { return answer.ok ? answer.json() : null; })
      .then(function (got) {
        if (!got || !got.length) {
          pending = false;
          return;
        }
        next += got.length;
        place(got, function () {
          pending = false;
          check();
        });
      }, function () { pending = false; });
  }
@gallery@})();
</script>
)js";

// A masonry grid: a batch's bricks go in, and are laid out, only once their pictures have loaded.
constexpr char MasonryGallery[] = R"js(  var grid = document.getElementById("ag_list");
  var masonry = new Masonry(grid, { itemSelector: ".ag_brick", columnWidth: 126 });
  function brick(id, index) {
    var a = document.createElement("a");
    a.className = "ag_ele_a ag_brick";
    a.setAttribute("href", link(id));
    var img = document.createElement("img");
    img.setAttribute("src", thumb(id));
    img.width = 120;
    img.height = 60 + (index * 37) % 5 * 20;
    a.appendChild(img);
    return a;
  }
  function check() {
    if (nearEnd(200))
      more(function (got, then) {
        var at = first + next - got.length;
        var bricks = got.map(function (id, i) { return brick(id, at + i); });
        imagesLoaded(bricks, function () {
          bricks.forEach(function (b) { grid.appendChild(b); });
          masonry.appended(bricks);
          then();
        });
      });
  }
  imagesLoaded(grid, function () {
    masonry.layout();
    check();
  });
  window.addEventListener("scroll", check);
)js";

// HyperList keeps the rows near the view and rebuilds them on every move; here the list follows
// the window's scrolling instead of a box of its own, so the whole page scrolls. As such lists
// usually do, it has a row for every picture from the start, and a row whose picture is not
// known yet shows a placeholder and asks for its batch.
constexpr char HyperListGallery[] = R"js(  var list = document.getElementById("ag_list");
  var offset = list.getBoundingClientRect().top + window.scrollY;
  var hyper = null, asked = {};
  function fill(i) {
    var from = first + Math.floor((i - first) / batch) * batch;
    if (asked[from])
      return;
    asked[from] = true;
    fetch("/p/" + encodeURIComponent(album) + "/batch?from=" + from + "&count=" + batch, { cache: "no-store" })
      .then(function (answer) { return answer.ok ? answer.json() : null; })
      .then(function (got) {
        if (!got) {
          delete asked[from];
          return;
        }
        got.forEach(function (id, k) { ids[from + k] = id; });
        hyper.refresh(list, config);
      }, function () { delete asked[from]; });
  }
  function row(i) {
    var id = ids[i];
    if (id === undefined) {
      fill(i);
      var wait = document.createElement("div");
      wait.className = "ag_wait";
      wait.style.height = height + "px";
      wait.textContent = "…";
      return wait;
    }
    var a = document.createElement("a");
    a.className = "ag_ele_a";
    a.setAttribute("href", link(id));
    a.style.display = "block";
    a.style.height = height + "px";
    if (thumbs) {
      var img = document.createElement("img");
      img.setAttribute("src", thumb(id));
      img.width = 60;
      img.height = height - 4;
      a.appendChild(img);
    } else {
      a.textContent = "第" + (i + 1) + "张";
    }
    return a;
  }
  var config = {
    itemHeight: height,
    total: first + total,
    height: window.innerHeight,
    scrollContainer: document.documentElement,
    overrideScrollPosition: function () { return Math.max(0, window.scrollY - offset); },
    generate: row
  };
  hyper = new HyperList(list, config);
)js";

// Clusterize.js as its pages use it: block rows in a scroll area of their own, only a few blocks
// of them in the document at a time, with spacer rows of the same tag above and below.
constexpr char ClusterizeGallery[] = R"js(  function row(id, index) {
    return '<div class="ag_row"><a class="ag_ele_a" style="display:block;height:' + height + 'px" href="' +
      link(id).replace(/&/g, "&amp;") + '">' +
      (thumbs ? '<img src="' + thumb(id) + '" width="60" height="' + (height - 4) + '">' : "第" + (index + 1) + "张") +
      "<\/a><\/div>";
  }
  var clusterize = null;
  function check() {
    if (clusterize && clusterize.getScrollProgress() >= 60)
      more(function (got, then) {
        var at = first + next - got.length;
        clusterize.append(got.map(function (id, i) { return row(id, at + i); }));
        then();
      });
  }
  clusterize = new Clusterize({
    rows: ids.map(row),
    scrollId: "ag_scroll",
    contentId: "ag_list",
    rows_in_block: 4,
    blocks_in_cluster: 3,
    callbacks: { scrollingProgress: check }
  });
)js";

// Vue's RecycleScroller following the window: a pool of row views, each pointed at another
// picture as the view moves; no row ever leaves the document.
constexpr char RecycleGallery[] = R"js(  var app = Vue.createApp({
    data: function () {
      return { items: ids.map(function (id) { return { id: id }; }), thumbs: thumbs, height: height };
    },
    methods: { link: link, thumb: thumb, seen: function () { check(); } },
    template: '<RecycleScroller id="ag_list" class="ag_container" :items="items" :item-size="height" key-field="id" ' +
      'page-mode emit-update @update="seen" v-slot="{ item, index }">' +
      '<a class="ag_ele_a" :href="link(item.id)" :style="{ display: \'block\', height: height + \'px\' }">' +
      '<img v-if="thumbs" :src="thumb(item.id)" width="60" :height="height - 4"><span v-else>第{{ index + 1 }}张<\/span>' +
      '<\/a><\/RecycleScroller>'
  });
  app.component("RecycleScroller", VueVirtualScroller.RecycleScroller);
  var view = app.mount("#ag_app");
  function check() {
    if (nearEnd(height * 2))
      more(function (got, then) {
        got.forEach(function (id) { view.items.push({ id: id }); });
        then();
      });
  }
  window.addEventListener("scroll", check);
  check();
)js";

// egjs's InfiniteGrid: a masonry grid that asks for its next group near its end, and keeps in
// the document only the groups near the view; a group scrolled past leaves and comes back when
// the view returns to it.
constexpr char InfiniteGridGallery[] =
    R"js(  var grid = new InfiniteGrid.MasonryInfiniteGrid(document.getElementById("ag_list"), { gap: 6, useRecycle: true });
  var group = 0;
  function check() {}
  grid.on("requestAppend", function (e) {
    if (pending || next >= total)
      return;
    e.wait();
    more(function (got, then) {
      var at = first + next - got.length;
      e.ready();
      grid.append(got.map(function (id, i) { return brick(id, at + i); }), ++group);
      then();
    });
  });
  function brick(id, index) {
    return '<a class="ag_ele_a ag_brick" href="' + link(id).replace(/&/g, "&amp;") + '"><img src="' + thumb(id) +
      '" width="120" height="' + (60 + (index * 37) % 5 * 20) + '"><\/a>';
  }
  grid.renderItems();
)js";

// Lit's virtualizer, a web component that draws, into the page itself, only the rows near the
// view, each placed by a transform; rows scrolled past leave the page. Its modules come as
// published, found through the page's import map.
constexpr char LitGallery[] = R"js(  var items = ids.map(function (id, i) { return { id: id, index: i }; });
  var virtualizer = null;
  function check() {
    if (virtualizer && nearEnd(height * 2))
      more(function (got, then) {
        items = items.concat(got.map(function (id, i) { return { id: id, index: items.length + i }; }));
        virtualizer.items = items;
        then();
      });
  }
  Promise.all([import("@lit-labs/virtualizer/lit-virtualizer.js"), import("lit")]).then(function (loaded) {
    var html = loaded[1].html;
    virtualizer = document.createElement("lit-virtualizer");
    virtualizer.items = items;
    virtualizer.renderItem = function (item) {
      return thumbs
        ? html`<a class="ag_ele_a" style="display:block;height:${height}px" href=${link(item.id)}><img src=${thumb(item.id)} width="60" height=${height - 4}></a>`
        : html`<a class="ag_ele_a" style="display:block;height:${height}px" href=${link(item.id)}>第${item.index + 1}张</a>`;
    };
    document.getElementById("ag_list").appendChild(virtualizer);
    window.addEventListener("scroll", check);
    check();
  });
)js";

constexpr char LitImports[] = R"js(<script type="importmap">
{"imports": {
  "@lit-labs/virtualizer/": "/vendor/lit-virtualizer/",
  "lit": "/vendor/lit/index.js", "lit/": "/vendor/lit/",
  "lit-html": "/vendor/lit-html/lit-html.js", "lit-html/": "/vendor/lit-html/",
  "lit-element/": "/vendor/lit-element/",
  "@lit/reactive-element": "/vendor/lit-reactive-element/reactive-element.js",
  "@lit/reactive-element/": "/vendor/lit-reactive-element/",
  "tslib": "/vendor/tslib/tslib.es6.js"
}}
</script>
)js";

// Alpine.js renders the template's rows from the component's ids; the template and every row it
// made keep their binding text.
constexpr char AlpineGallery[] = R"js(  var component = null;
  function check() {
    if (component && nearEnd(200))
      more(function (got, then) {
        component.ids = component.ids.concat(got);
        component.$nextTick(then);
      });
  }
  document.addEventListener("alpine:init", function () {
    Alpine.data("agGallery", function () {
      return {
        bar: bar,
        ids: ids,
        init: function () {
          component = this;
          this.$nextTick(check);
        },
        check: check
      };
    });
  });
)js";

constexpr char AlpineTemplate[] =
    R"js(<div id="ag_list" class="ag_container" x-data="agGallery" @scroll.window="check()">
<template x-for="(id, index) in ids" :key="id"><a class="ag_ele_a" style="display:block;height:@height@px" :href="'/photo/p?kw=' + encodeURIComponent(bar) + '&amp;pic_id=' + encodeURIComponent(id)">@content@</a></template>
</div>
)js";

QString vendorScript(const char *file)
{
    return u"<script src=\"/vendor/"_qs % QString::fromLatin1(file) % u"\"></script>\n"_qs;
}

QString jsBool(bool value)
{
    return value ? u"true"_qs : u"false"_qs;
}

} // namespace

int LibraryGallery::rowHeight(const ForumAlbum &album)
{
    return album.pictureHeight > 0 ? album.pictureHeight : 50;
}

QString LibraryGallery::markup(const QString &barName, const ForumAlbum &album)
{
    const QString height = QString::number(rowHeight(album));
    switch (album.library) {
    case GalleryLibrary::Htmx:
        return htmx(barName, album);
    case GalleryLibrary::Masonry:
    case GalleryLibrary::InfiniteGrid:
        return masonry(barName, album);
    case GalleryLibrary::HyperList:
        return u"<div id=\"ag_list\" class=\"ag_container\"></div>\n"_qs % vendorScript("hyperlist/hyperlist.js") %
               LibraryGallery::script(barName, album, QString::fromUtf8(HyperListGallery));
    case GalleryLibrary::Clusterize:
        return u"<style>#ag_scroll{max-height:120px;overflow:auto}</style>\n"
               "<div id=\"ag_scroll\" class=\"clusterize-scroll\"><div id=\"ag_list\" "
               "class=\"ag_container clusterize-content\"></div></div>\n"_qs %
               vendorScript("clusterize.js/clusterize.min.js") %
               LibraryGallery::script(barName, album, QString::fromUtf8(ClusterizeGallery));
    case GalleryLibrary::Recycle:
        return u"<link rel=\"stylesheet\" href=\"/vendor/vue-virtual-scroller/vue-virtual-scroller.css\">\n"
               "<div id=\"ag_app\"></div>\n"_qs %
               vendorScript("vue/vue.global.prod.js") %
               vendorScript("vue-virtual-scroller/vue-virtual-scroller.min.js") %
               LibraryGallery::script(barName, album, QString::fromUtf8(RecycleGallery));
    case GalleryLibrary::Lit:
        return QString::fromUtf8(LitImports) % u"<div id=\"ag_list\" class=\"ag_container\"></div>\n"_qs %
               LibraryGallery::script(barName, album, QString::fromUtf8(LitGallery));
    case GalleryLibrary::Alpine: {
        const QString content =
            album.thumbs
                ? QString(
                      u"<img :src=\"'/forum/pic/thumb/' + encodeURIComponent(id) + '.jpg'\" width=\"60\" height=\""_qs %
                      QString::number(rowHeight(album) - 4) % u"\">"_qs)
                : u"<span x-text=\"'第' + (index + 1) + '张'\"></span>"_qs;
        return QString::fromUtf8(AlpineTemplate).replace(u"@height@"_qs, height).replace(u"@content@"_qs, content) %
               LibraryGallery::script(barName, album, QString::fromUtf8(AlpineGallery)) %
               u"<script defer src=\"/vendor/alpinejs/cdn.min.js\"></script>\n"_qs;
    }
    case GalleryLibrary::None:
        break;
    }
    return {};
}

QString LibraryGallery::script(const QString &barName, const ForumAlbum &album, const QString &gallery)
{
    const int initial = qMin(album.initial, int(album.pictures.size()));
    QJsonArray ids;
    for (int i = 0; i < initial; ++i)
        ids.append(album.pictures.at(i).id);
    return QString::fromUtf8(Prelude)
        .replace(u"@bar@"_qs, PageRenderer::jsLiteral(barName))
        .replace(u"@album@"_qs, PageRenderer::jsLiteral(album.id))
        .replace(u"@first@"_qs, QString::number(initial))
        .replace(u"@total@"_qs, QString::number(album.pictures.size() - initial))
        .replace(u"@batch@"_qs, QString::number(album.batch))
        .replace(u"@height@"_qs, QString::number(rowHeight(album)))
        .replace(u"@thumbs@"_qs, jsBool(album.thumbs))
        .replace(u"@ids@"_qs, PageRenderer::jsLiteral(ids))
        .replace(u"@gallery@"_qs, gallery);
}

// The first rows are in the page, the last of them set to fetch the next ones once revealed.
QString LibraryGallery::htmx(const QString &barName, const ForumAlbum &album)
{
    const int initial = qMin(album.initial, int(album.pictures.size()));
    QString first = rowsMarkup(barName, album, 0, initial);
    // With no first row, a placeholder takes its part and gives way to the rows it fetched.
    if (initial == 0 && !album.pictures.isEmpty())
        first = u"<span hx-get=\"/p/"_qs % PageRenderer::urlPart(album.id) % u"/rows?from=0&amp;count="_qs %
                QString::number(album.batch) % u"\" hx-trigger=\"revealed\" hx-swap=\"outerHTML\"></span>"_qs;
    return vendorScript("htmx.org/htmx.min.js") % u"<div id=\"ag_list\" class=\"ag_container\">"_qs % first %
           u"</div>\n"_qs;
}

QString LibraryGallery::masonry(const QString &barName, const ForumAlbum &album)
{
    const int initial = qMin(album.initial, int(album.pictures.size()));
    QString bricks;
    for (int i = 0; i < initial; ++i) {
        const QString id = PageRenderer::urlPart(album.pictures.at(i).id);
        bricks += u"<a class=\"ag_ele_a ag_brick\" href=\"/photo/p?kw="_qs % PageRenderer::urlPart(barName) %
                  u"&amp;pic_id="_qs % id % u"\"><img src=\"/forum/pic/thumb/"_qs % id %
                  u".jpg\" width=\"120\" height=\""_qs % QString::number(60 + (i * 37) % 5 * 20) % u"\"></a>"_qs;
    }
    const QString grid =
        u"<style>.ag_brick{display:block;width:120px;margin-bottom:6px}.ag_brick img{display:block}</style>\n"
        "<div id=\"ag_list\" class=\"ag_grid\">"_qs %
        bricks % u"</div>\n"_qs;
    // Two columns: a grid far taller than the view, so that groups leave it as it scrolls.
    if (album.library == GalleryLibrary::InfiniteGrid)
        return u"<style>#ag_list{width:252px}</style>\n"_qs % grid % vendorScript("infinitegrid/infinitegrid.min.js") %
               LibraryGallery::script(barName, album, QString::fromUtf8(InfiniteGridGallery));
    return grid % vendorScript("masonry-layout/masonry.pkgd.min.js") %
           vendorScript("imagesloaded/imagesloaded.pkgd.min.js") %
           LibraryGallery::script(barName, album, QString::fromUtf8(MasonryGallery));
}

QString LibraryGallery::rowsMarkup(const QString &barName, const ForumAlbum &album, int from, int count)
{
    const int size = int(album.pictures.size());
    const int end = from >= size ? from : from + qMin(count, size - from);
    const QString height = QString::number(rowHeight(album));
    QString rows;
    for (int i = from; i < end; ++i) {
        const QString id = PageRenderer::urlPart(album.pictures.at(i).id);
        QString trigger;
        if (i == end - 1 && end < size && album.library == GalleryLibrary::Htmx)
            trigger = u" hx-get=\"/p/"_qs % PageRenderer::urlPart(album.id) % u"/rows?from="_qs % QString::number(end) %
                      u"&amp;count="_qs % QString::number(album.batch) %
                      u"\" hx-trigger=\"revealed\" hx-swap=\"afterend\""_qs;
        const QString content =
            album.thumbs ? QString(u"<img src=\"/forum/pic/thumb/"_qs % id % u".jpg\" width=\"60\" height=\""_qs %
                                   QString::number(rowHeight(album) - 4) % u"\">"_qs)
                         : QString(u"第"_qs % QString::number(i + 1) % u"张"_qs);
        rows += u"<a class=\"ag_ele_a\" style=\"display:block;height:"_qs % height % u"px\" href=\"/photo/p?kw="_qs %
                PageRenderer::urlPart(barName) % u"&amp;pic_id="_qs % id % u'"' % trigger % u'>' % content %
                u"</a>\n"_qs;
    }
    return rows;
}

QByteArray LibraryGallery::rows(const QString &barName, const ForumAlbum &album, int from, int count)
{
    return rowsMarkup(barName, album, from, count).toUtf8();
}
