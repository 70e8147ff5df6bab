#include "tools/forumsim/forumconfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringBuilder>

#include <algorithm>

namespace {

// Thrown deep inside the parse so that every helper stays a one-liner for the happy path.
struct ConfigError
{
    QString message;
};

[[noreturn]] void fail(const QString &where, const QString &what)
{
    throw ConfigError{where % u": "_qs % what};
}

void checkKeys(const QJsonObject &object, const QStringList &allowed, const QString &where)
{
    // Typos such as "delayms" would otherwise silently turn a fault off.
    for (const QString &key : object.keys()) {
        if (!allowed.contains(key))
            fail(where, u"unknown key \""_qs % key % u'"');
    }
}

qint64 integer(const QJsonObject &object, const QString &key, qint64 fallback, qint64 min, qint64 max,
               const QString &where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return fallback;
    const double number = value.toDouble(-1.5);
    if (!value.isDouble() || number != double(qint64(number)) || number < min || number > max)
        fail(where, key % u" must be an integer from "_qs % QString::number(min) % u" to "_qs % QString::number(max));
    return qint64(number);
}

bool boolean(const QJsonObject &object, const QString &key, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (!value.isUndefined() && !value.isBool())
        fail(where, key % u" must be true or false"_qs);
    return value.toBool(false);
}

QString text(const QJsonObject &object, const QString &key, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return {};
    if (!value.isString())
        fail(where, key % u" must be a string"_qs);
    return value.toString();
}

// Ids are strings in the file, but numeric album ids are easy to write by mistake and harmless.
QString identifier(const QJsonValue &value, const QString &where)
{
    if (value.isString() && !value.toString().isEmpty())
        return value.toString();
    if (value.isDouble() && value.toDouble() == double(qint64(value.toDouble())))
        return QString::number(qint64(value.toDouble()));
    fail(where, u"id must be a non-empty string"_qs);
}

QJsonArray array(const QJsonObject &object, const QString &key, const QString &where)
{
    const QJsonValue value = object.value(key);
    if (!value.isUndefined() && !value.isArray())
        fail(where, key % u" must be an array"_qs);
    return value.toArray();
}

ForumPicture parsePicture(const QJsonValue &value, const QString &where)
{
    ForumPicture picture;
    if (!value.isObject()) {
        picture.id = identifier(value, where);
        return picture;
    }
    const QJsonObject object = value.toObject();
    checkKeys(object,
              {u"id"_qs, u"status"_qs, u"delayMs"_qs, u"body"_qs, u"drop"_qs, u"once"_qs, u"size"_qs, u"rate"_qs,
               u"trickleMs"_qs, u"flood"_qs, u"floodMs"_qs, u"redirect"_qs, u"falseLength"_qs, u"retryAfter"_qs,
               u"retryAfterDate"_qs, u"format"_qs, u"shortLength"_qs, u"cutAt"_qs},
              where);
    picture.id = identifier(object.value(u"id"_qs), where);
    picture.status = int(integer(object, u"status"_qs, 200, 100, 599, where));
    picture.delayMs = int(integer(object, u"delayMs"_qs, 0, 0, 3600000, where));
    picture.body = text(object, u"body"_qs, where);
    picture.drop = boolean(object, u"drop"_qs, where);
    picture.once = boolean(object, u"once"_qs, where);
    picture.size = integer(object, u"size"_qs, 0, 0, 1 << 30, where);
    picture.rate = integer(object, u"rate"_qs, 0, 0, qint64(1) << 40, where);
    picture.trickleMs = int(integer(object, u"trickleMs"_qs, 0, 0, 3600000, where));
    picture.flood = text(object, u"flood"_qs, where);
    picture.floodMs = int(integer(object, u"floodMs"_qs, 0, 0, 3600000, where));
    picture.redirect = text(object, u"redirect"_qs, where);
    picture.falseLength = integer(object, u"falseLength"_qs, -1, 0, qint64(1) << 40, where);
    picture.retryAfter = int(integer(object, u"retryAfter"_qs, -1, 0, 86400 * 365, where));
    picture.retryAfterDate = boolean(object, u"retryAfterDate"_qs, where);
    picture.shortLength = integer(object, u"shortLength"_qs, -1, 0, qint64(1) << 40, where);
    picture.cutAt = integer(object, u"cutAt"_qs, -1, 0, qint64(1) << 40, where);
    const QStringList formats{u"jpeg"_qs, u"png"_qs, u"gif"_qs, u"webp"_qs};
    const QString format = text(object, u"format"_qs, where);
    if (!format.isEmpty() && !formats.contains(format))
        fail(where, u"format must be \"jpeg\", \"png\", \"gif\" or \"webp\""_qs);
    picture.format = PictureFormat(std::max<qsizetype>(0, formats.indexOf(format)));
    const QStringList bodies{QString(), u"empty"_qs, u"onebyte"_qs, u"html"_qs};
    if (!bodies.contains(picture.body))
        fail(where, u"body must be \"empty\", \"onebyte\" or \"html\""_qs);
    if (!QStringList{QString(), u"continue"_qs, u"headers"_qs}.contains(picture.flood))
        fail(where, u"flood must be \"continue\" or \"headers\""_qs);
    if (picture.redirect.contains(u'\r') || picture.redirect.contains(u'\n'))
        fail(where, u"redirect must be one line"_qs);
    return picture;
}

GalleryLoader galleryLoader(const QJsonObject &object, const QString &where)
{
    const QString loader = text(object, u"loader"_qs, where);
    if (loader.isEmpty() || loader == u"scroll")
        return GalleryLoader::Scroll;
    if (loader == u"nearEnd")
        return GalleryLoader::NearEnd;
    if (loader == u"observer")
        return GalleryLoader::Observer;
    if (loader == u"debounce")
        return GalleryLoader::Debounce;
    if (loader == u"timer")
        return GalleryLoader::Timer;
    if (loader == u"frames")
        return GalleryLoader::Frames;
    fail(where, u"loader must be \"scroll\", \"nearEnd\", \"observer\", \"debounce\", \"timer\" or \"frames\""_qs);
}

BatchSource batchSource(const QJsonObject &object, const QString &where)
{
    const QString source = text(object, u"batchFrom"_qs, where);
    if (source.isEmpty() || source == u"page")
        return BatchSource::Page;
    if (source == u"fetch")
        return BatchSource::Fetch;
    if (source == u"xhr")
        return BatchSource::Xhr;
    if (source == u"iframe")
        return BatchSource::Frame;
    if (source == u"worker")
        return BatchSource::Worker;
    if (source == u"events")
        return BatchSource::Events;
    fail(where, u"batchFrom must be \"page\", \"fetch\", \"xhr\", \"iframe\", \"worker\" or \"events\""_qs);
}

GalleryLibrary galleryLibrary(const QJsonObject &object, const QString &where)
{
    static const QList<QPair<QString, GalleryLibrary>> names{{u"htmx"_qs, GalleryLibrary::Htmx},
                                                             {u"masonry"_qs, GalleryLibrary::Masonry},
                                                             {u"hyperlist"_qs, GalleryLibrary::HyperList},
                                                             {u"clusterize"_qs, GalleryLibrary::Clusterize},
                                                             {u"recycle"_qs, GalleryLibrary::Recycle},
                                                             {u"alpine"_qs, GalleryLibrary::Alpine},
                                                             {u"infinitegrid"_qs, GalleryLibrary::InfiniteGrid},
                                                             {u"lit"_qs, GalleryLibrary::Lit}};
    const QString library = text(object, u"library"_qs, where);
    if (library.isEmpty())
        return GalleryLibrary::None;
    for (const auto &[name, value] : names) {
        if (library == name)
            return value;
    }
    fail(
        where,
        u"library must be \"htmx\", \"masonry\", \"hyperlist\", \"clusterize\", \"recycle\", \"alpine\", \"infinitegrid\" or \"lit\""_qs);
}

bool eventsClose(const QJsonObject &object, const QString &where)
{
    const QString end = text(object, u"eventsEnd"_qs, where);
    if (end.isEmpty() || end == u"keep")
        return false;
    if (end == u"close")
        return true;
    fail(where, u"eventsEnd must be \"keep\" or \"close\""_qs);
}

PageNoise pageNoise(const QJsonObject &object, const QString &where)
{
    const QString noise = text(object, u"noise"_qs, where);
    if (noise.isEmpty() || noise == u"none")
        return PageNoise::None;
    if (noise == u"beacon")
        return PageNoise::Beacon;
    if (noise == u"longPoll")
        return PageNoise::LongPoll;
    fail(where, u"noise must be \"none\", \"beacon\" or \"longPoll\""_qs);
}

JumpToTop jumpToTop(const QJsonObject &object, const QString &where)
{
    const QString when = text(object, u"jumpToTop"_qs, where);
    if (when.isEmpty() || when == u"never")
        return JumpToTop::Never;
    if (when == u"once")
        return JumpToTop::Once;
    if (when == u"always")
        return JumpToTop::Always;
    fail(where, u"jumpToTop must be \"never\", \"once\" or \"always\""_qs);
}

// A pace given for a loader or a noise the album does not use would silently do nothing.
void requireFor(const QJsonObject &object, const QString &key, bool used, const QString &user, const QString &where)
{
    if (object.contains(key) && !used)
        fail(where, key % u" needs "_qs % user);
}

ForumAlbum parseAlbum(const QJsonObject &object, const QString &where)
{
    checkKeys(object,
              {u"id"_qs,
               u"title"_qs,
               u"batch"_qs,
               u"delayMs"_qs,
               u"initial"_qs,
               u"noTitle"_qs,
               u"ticking"_qs,
               u"neverLoads"_qs,
               u"script"_qs,
               u"loader"_qs,
               u"pictureHeight"_qs,
               u"continueFlood"_qs,
               u"redirect"_qs,
               u"pictures"_qs,
               u"debounceMs"_qs,
               u"gapMs"_qs,
               u"batchFrom"_qs,
               u"noise"_qs,
               u"noiseMs"_qs,
               u"pollMs"_qs,
               u"delayMaxMs"_qs,
               u"virtualRows"_qs,
               u"perFrame"_qs,
               u"jumpToTop"_qs,
               u"thumbFlood"_qs,
               u"library"_qs,
               u"thumbs"_qs,
               u"freezeAfterMs"_qs,
               u"batchAnimationMs"_qs,
               u"batchTransitionMs"_qs,
               u"pushEveryMs"_qs,
               u"eventsEnd"_qs,
               u"gapFrames"_qs,
               u"navigateTo"_qs,
               u"navigateAfterMs"_qs},
              where);
    ForumAlbum album;
    album.id = identifier(object.value(u"id"_qs), where);
    album.title = text(object, u"title"_qs, where);
    album.batch = int(integer(object, u"batch"_qs, 5, 1, 100000, where));
    album.delayMs = int(integer(object, u"delayMs"_qs, 0, 0, 3600000, where));
    album.library = galleryLibrary(object, where);
    // A library gallery shows its first pictures at once, as pages built on one do.
    album.initial =
        int(integer(object, u"initial"_qs, album.library == GalleryLibrary::None ? 0 : 10, 0, 100000, where));
    album.noTitle = boolean(object, u"noTitle"_qs, where);
    album.ticking = boolean(object, u"ticking"_qs, where);
    album.neverLoads = boolean(object, u"neverLoads"_qs, where);
    album.script = text(object, u"script"_qs, where);
    album.loader = galleryLoader(object, where);
    album.pictureHeight = int(integer(object, u"pictureHeight"_qs, 0, 0, 10000, where));
    album.continueFlood = boolean(object, u"continueFlood"_qs, where);
    album.redirect = text(object, u"redirect"_qs, where);
    album.debounceMs = int(integer(object, u"debounceMs"_qs, 1000, 0, 3600000, where));
    album.gapMs = int(integer(object, u"gapMs"_qs, 1000, 0, 3600000, where));
    album.batchFrom = batchSource(object, where);
    album.noise = pageNoise(object, where);
    album.noiseMs = int(integer(object, u"noiseMs"_qs, 300, 1, 3600000, where));
    album.pollMs = int(integer(object, u"pollMs"_qs, 25000, 1, 3600000, where));
    album.delayMaxMs = int(integer(object, u"delayMaxMs"_qs, -1, album.delayMs, 3600000, where));
    album.virtualRows = boolean(object, u"virtualRows"_qs, where);
    album.perFrame = int(integer(object, u"perFrame"_qs, 0, 1, 100000, where));
    album.jumpToTop = jumpToTop(object, where);
    album.thumbFlood = text(object, u"thumbFlood"_qs, where);
    album.thumbs = object.contains(u"thumbs"_qs) ? boolean(object, u"thumbs"_qs, where) : true;
    album.freezeAfterMs = int(integer(object, u"freezeAfterMs"_qs, -1, 0, 3600000, where));
    album.batchAnimationMs = int(integer(object, u"batchAnimationMs"_qs, 0, 1, 3600000, where));
    album.batchTransitionMs = int(integer(object, u"batchTransitionMs"_qs, 0, 1, 3600000, where));
    album.pushEveryMs = int(integer(object, u"pushEveryMs"_qs, 3500, 1, 3600000, where));
    album.eventsClose = eventsClose(object, where);
    album.gapFrames = int(integer(object, u"gapFrames"_qs, 30, 1, 100000, where));
    album.navigateTo =
        object.contains(u"navigateTo"_qs) ? identifier(object.value(u"navigateTo"_qs), where) : QString();
    album.navigateAfterMs = int(integer(object, u"navigateAfterMs"_qs, 1500, 0, 3600000, where));
    // Rows side by side reflow as the first ones go, so only a page of one picture a row can shed them.
    requireFor(object, u"virtualRows"_qs, !album.virtualRows || album.pictureHeight > 0, u"pictureHeight"_qs, where);
    requireFor(object, u"debounceMs"_qs, album.loader == GalleryLoader::Debounce, u"loader \"debounce\""_qs, where);
    requireFor(object, u"gapMs"_qs, album.loader == GalleryLoader::Timer, u"loader \"timer\""_qs, where);
    requireFor(object, u"noiseMs"_qs, album.noise == PageNoise::Beacon, u"noise \"beacon\""_qs, where);
    requireFor(object, u"pollMs"_qs, album.noise == PageNoise::LongPoll, u"noise \"longPoll\""_qs, where);
    requireFor(object, u"gapFrames"_qs, album.loader == GalleryLoader::Frames, u"loader \"frames\""_qs, where);
    const bool pushed = album.batchFrom == BatchSource::Events;
    requireFor(object, u"pushEveryMs"_qs, pushed, u"batchFrom \"events\""_qs, where);
    requireFor(object, u"eventsEnd"_qs, pushed, u"batchFrom \"events\""_qs, where);
    // The server pushes batches whatever the window does, so nothing on the page sets one off.
    requireFor(object, u"loader"_qs, !pushed, u"a batchFrom other than \"events\""_qs, where);
    requireFor(object, u"navigateAfterMs"_qs, !album.navigateTo.isEmpty(), u"navigateTo"_qs, where);
    requireFor(object, u"batchTransitionMs"_qs, album.batchAnimationMs == 0, u"no batchAnimationMs"_qs, where);
    requireFor(object, u"perFrame"_qs, album.batchAnimationMs == 0 && album.batchTransitionMs == 0,
               u"no batchAnimationMs or batchTransitionMs"_qs, where);
    // A library gallery grows as its library does; the own gallery's pieces have no place in it.
    const bool own = album.library == GalleryLibrary::None;
    requireFor(object, u"thumbs"_qs, !own, u"a library"_qs, where);
    for (const QString &key :
         {u"loader"_qs, u"batchFrom"_qs, u"perFrame"_qs, u"jumpToTop"_qs, u"virtualRows"_qs, u"freezeAfterMs"_qs,
          u"batchAnimationMs"_qs, u"batchTransitionMs"_qs, u"ticking"_qs, u"neverLoads"_qs})
        requireFor(object, key, own, u"an album without a library"_qs, where);
    const QJsonArray pictures = array(object, u"pictures"_qs, where);
    for (qsizetype i = 0; i < pictures.size(); ++i)
        album.pictures.append(parsePicture(pictures.at(i), where % u" picture "_qs % QString::number(i)));
    const bool floodsOwnPicture =
        std::any_of(album.pictures.cbegin(), album.pictures.cend(),
                    [&](const ForumPicture &picture) { return picture.id == album.thumbFlood; });
    requireFor(object, u"thumbFlood"_qs, floodsOwnPicture, u"one of the album's picture ids"_qs, where);
    return album;
}

LastPageLink lastPageLink(const QJsonObject &object, const QString &where)
{
    const QString mode = text(object, u"lastPageLink"_qs, where);
    if (mode.isEmpty() || mode == u"notLast")
        return LastPageLink::NotLast;
    if (mode == u"first")
        return LastPageLink::First;
    if (mode == u"every")
        return LastPageLink::Every;
    if (mode == u"none")
        return LastPageLink::None;
    fail(where, u"lastPageLink must be \"notLast\", \"first\", \"every\" or \"none\""_qs);
}

QHash<int, int> pageNumbers(const QJsonObject &object, const QString &key, qint64 low, qint64 high,
                            const QString &where)
{
    const QJsonValue value = object.value(key);
    if (!value.isUndefined() && !value.isObject())
        fail(where, key % u" must be an object"_qs);
    const QJsonObject pages = value.toObject();
    QHash<int, int> statuses;
    for (auto it = pages.begin(); it != pages.end(); ++it) {
        bool ok = false;
        const int page = it.key().toInt(&ok);
        if (!ok || page < 1)
            fail(where, key % u" keys must be page numbers from 1"_qs);
        statuses.insert(page, int(integer(pages, it.key(), low, low, high, where % u' ' % key)));
    }
    return statuses;
}

ForumBar parseBar(const QJsonObject &object, const QString &where)
{
    checkKeys(object,
              {u"name"_qs, u"perPage"_qs, u"lastPageLink"_qs, u"pageStatus"_qs, u"pageRetryAfter"_qs, u"albums"_qs},
              where);
    ForumBar bar;
    bar.name = text(object, u"name"_qs, where);
    if (bar.name.isEmpty())
        fail(where, u"name must be a non-empty string"_qs);
    bar.perPage = int(integer(object, u"perPage"_qs, 10, 1, 100000, where));
    bar.lastPageLink = lastPageLink(object, where);
    bar.pageStatus = pageNumbers(object, u"pageStatus"_qs, 100, 599, where);
    bar.pageRetryAfter = pageNumbers(object, u"pageRetryAfter"_qs, 0, 86400 * 365, where);
    const QJsonArray albums = array(object, u"albums"_qs, where);
    for (qsizetype i = 0; i < albums.size(); ++i) {
        const QString at = where % u" album "_qs % QString::number(i);
        if (!albums.at(i).isObject())
            fail(at, u"must be an object"_qs);
        bar.albums.append(parseAlbum(albums.at(i).toObject(), at));
    }
    return bar;
}

QJsonObject parseRoot(const QByteArray &json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        fail(u"offset "_qs % QString::number(parseError.offset), parseError.errorString());
    if (!document.isObject())
        fail(u"top level"_qs, u"must be an object"_qs);
    const QJsonObject root = document.object();
    checkKeys(root, {u"pictureSize"_qs, u"pictureDelayMs"_qs, u"pictureRate"_qs, u"bars"_qs}, u"top level"_qs);
    return root;
}

void checkUnique(const QList<ForumBar> &bars)
{
    QSet<QString> barNames;
    QSet<QString> albumIds;
    for (const ForumBar &bar : bars) {
        if (barNames.contains(bar.name))
            fail(u"bar \""_qs % bar.name % u'"', u"declared twice"_qs);
        barNames.insert(bar.name);
        for (const ForumAlbum &album : bar.albums) {
            if (albumIds.contains(album.id))
                fail(u"album \""_qs % album.id % u'"', u"declared twice"_qs);
            albumIds.insert(album.id);
        }
    }
}

// A page that sends itself elsewhere goes to another album of its own bar, which must be there.
void checkNavigations(const QList<ForumBar> &bars)
{
    for (const ForumBar &bar : bars) {
        for (const ForumAlbum &album : bar.albums) {
            const bool sameBar = std::any_of(bar.albums.cbegin(), bar.albums.cend(), [&](const ForumAlbum &other) {
                return other.id == album.navigateTo && other.id != album.id;
            });
            if (!album.navigateTo.isEmpty() && !sameBar)
                fail(u"album \""_qs % album.id % u'"', u"navigateTo must name another album of its bar"_qs);
        }
    }
}

} // namespace

std::optional<ForumConfig> ForumConfig::fromJson(const QByteArray &json, QString *error)
{
    try {
        const QJsonObject root = parseRoot(json);
        ForumConfig config;
        config.m_pictureSize = integer(root, u"pictureSize"_qs, 0, 0, 1 << 30, u"top level"_qs);
        config.m_pictureDelayMs = int(integer(root, u"pictureDelayMs"_qs, 0, 0, 3600000, u"top level"_qs));
        config.m_pictureRate = integer(root, u"pictureRate"_qs, 0, 0, qint64(1) << 40, u"top level"_qs);
        const QJsonArray bars = array(root, u"bars"_qs, u"top level"_qs);
        for (qsizetype i = 0; i < bars.size(); ++i) {
            const QString at = u"bar "_qs % QString::number(i);
            if (!bars.at(i).isObject())
                fail(at, u"must be an object"_qs);
            config.m_bars.append(parseBar(bars.at(i).toObject(), at));
        }
        checkUnique(config.m_bars);
        checkNavigations(config.m_bars);
        config.buildIndex();
        return config;
    } catch (const ConfigError &problem) {
        if (error)
            *error = problem.message;
        return std::nullopt;
    }
}

void ForumConfig::buildIndex()
{
    for (int b = 0; b < m_bars.size(); ++b) {
        m_barIndex.insert(m_bars.at(b).name, b);
        for (int a = 0; a < m_bars.at(b).albums.size(); ++a) {
            const ForumAlbum &album = m_bars.at(b).albums.at(a);
            m_albumIndex.insert(album.id, qMakePair(b, a));
            if (!album.thumbFlood.isEmpty())
                m_floodingThumbs.insert(album.thumbFlood);
            for (const ForumPicture &picture : album.pictures) {
                if (!m_pictures.contains(picture.id))
                    m_pictures.insert(picture.id, picture);
            }
        }
    }
}

const ForumBar *ForumConfig::bar(const QString &name) const
{
    const auto it = m_barIndex.constFind(name);
    return it == m_barIndex.cend() ? nullptr : &m_bars.at(*it);
}

const ForumAlbum *ForumConfig::album(const QString &albumId) const
{
    const auto it = m_albumIndex.constFind(albumId);
    return it == m_albumIndex.cend() ? nullptr : &m_bars.at(it->first).albums.at(it->second);
}

const ForumBar *ForumConfig::barOfAlbum(const QString &albumId) const
{
    const auto it = m_albumIndex.constFind(albumId);
    return it == m_albumIndex.cend() ? nullptr : &m_bars.at(it->first);
}

bool ForumConfig::floodsThumb(const QString &pictureId) const
{
    return m_floodingThumbs.contains(pictureId);
}

const ForumPicture *ForumConfig::picture(const QString &pictureId) const
{
    const auto it = m_pictures.constFind(pictureId);
    return it == m_pictures.cend() ? nullptr : &*it;
}
