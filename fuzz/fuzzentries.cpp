#include "fuzz/fuzzentries.h"

#include "job/albums/listpagescan.h"
#include "job/pictures/hiddenmarkers.h"
#include "job/pictures/picturescan.h"
#include "job/render/albumrendering.h"
#include "job/text/markersearch.h"
#include "job/text/split2.h"
#include "web/files/foldername.h"
#include "web/network/bytestobstr.h"
#include "web/network/pictureend.h"

#include <QFile>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace FuzzEntries {

namespace {

// Inputs up to this many code units are also run through the straightforward (quadratic)
// forms of the scans, which must give the same results.
constexpr qsizetype referenceLimit = 4096;

const QString forumHost = QStringLiteral("forum.test");

[[noreturn]] void violated(const char *target, const char *what)
{
    std::fprintf(stderr, "fuzz target %s: %s\n", target, what);
    std::fflush(stderr);
    std::abort();
}

void check(bool holds, const char *target, const char *what)
{
    if (!holds)
        violated(target, what);
}

QString utf16Text(const std::uint8_t *data, std::size_t size)
{
    QString text(qsizetype(size / 2), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(char16_t(data[2 * i] | (data[2 * i + 1] << 8)));
    return text;
}

bool control(QChar ch)
{
    return ch.unicode() < 0x20 || (ch.unicode() >= 0x7f && ch.unicode() <= 0x9f);
}

// ---- album-list scan ----

const QString albumMarker = QStringLiteral("grbm_ele_a grbm_ele_big");

double referenceLastPage(const QString &html)
{
    const qsizetype LastPos = TextScan::find(html, QStringLiteral("\">尾页</a>"), 1);
    if (LastPos == 0)
        return 1;
    const qsizetype PnPos = TextScan::find(html, QStringLiteral("pn="), std::max<qsizetype>(LastPos - 20, 1));
    return TextScan::leadingNumber(TextScan::mid(html, PnPos + 3, 5));
}

// The scan as it was first written: the last-page test after every album marker.
ListPageScan referenceListPage(const QString &html, double PageCount)
{
    ListPageScan result;
    result.pageCount = PageCount;
    qsizetype ScanPos = 1;
    while (TextScan::find(html, albumMarker, ScanPos + 1) != 0) {
        ScanPos = TextScan::find(html, albumMarker, ScanPos + 1);
        ScanPos = TextScan::find(html, QStringLiteral("\"/p/"), ScanPos + 1);
        const qsizetype LinkEnd = TextScan::find(html, u"\"", ScanPos + 1);
        if (ScanPos != 0 && LinkEnd != 0) {
            const QString path = TextScan::mid(html, ScanPos + 2, LinkEnd - ScanPos - 2);
            if (std::none_of(path.begin(), path.end(), control))
                result.albumUrls += QStringLiteral("http://") + forumHost + u'/' + path + QStringLiteral("\r\n");
        }
        result.pageCount = referenceLastPage(html);
        if (ScanPos == 0)
            break;
    }
    return result;
}

// ---- picture identifier scan ----

bool pathSegmentSafe(const QString &id)
{
    return id.isValidUtf16() && std::none_of(id.begin(), id.end(), [](QChar ch) {
               return control(ch) || QStringView(u" \"<>;?#/\\").contains(ch);
           });
}

// The marker scan as first written, passing over what no reader sees as a link.
QList<std::optional<QString>> referencePictureIds(const QString &html)
{
    const QList<MarkupSpan> hidden = hiddenMarkerSpans(html);
    QList<std::optional<QString>> ids;
    qsizetype ScanPos = 1;
    for (;;) {
        const qsizetype found = TextScan::find(html, QStringLiteral(";pic_id="), ScanPos + 1);
        if (found == 0)
            break;
        ScanPos = found + 8;
        if (std::any_of(hidden.cbegin(), hidden.cend(),
                        [&](const MarkupSpan &span) { return span.from <= found - 1 && found - 1 < span.to; }))
            continue;
        const qsizetype IdEnd = TextScan::find(html, u"\"", ScanPos + 1);
        if (IdEnd == 0)
            break;
        const QString id = html.mid(ScanPos - 1, IdEnd - ScanPos);
        ids.append(id.size() <= maxPictureIdLength && pathSegmentSafe(id) ? std::optional(id) : std::nullopt);
    }
    return ids;
}

// ---- title decoding ----

QString referenceTitle(const QString &title)
{
    static const QRegularExpression entity(QStringLiteral("&(amp|lt|gt|quot|#39|nbsp);"));
    QString decoded;
    qsizetype from = 0;
    for (auto it = entity.globalMatch(title); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        decoded += QStringView(title).mid(from, m.capturedStart() - from);
        const QString name = m.captured(1);
        decoded += name == u"amp"    ? u'&'
                   : name == u"lt"   ? u'<'
                   : name == u"gt"   ? u'>'
                   : name == u"quot" ? u'"'
                   : name == u"#39"  ? u'\''
                                     : QChar(0xa0);
        from = m.capturedEnd();
    }
    return decoded + QStringView(title).mid(from);
}

} // namespace

void listPage(const std::uint8_t *data, std::size_t size)
{
    const char *const name = "list_page";
    const QString html = utf16Text(data, size);
    const ListPageScan scan = scanListPage(html, forumHost, 4);
    check(scan.albumUrls.isEmpty() || scan.albumUrls.endsWith(u"\r\n"), name, "album list not ended by CR LF");
    QStringList urls = scan.albumUrls.split(QStringLiteral("\r\n"));
    urls.removeLast();
    const QString prefix = QStringLiteral("http://") + forumHost + QStringLiteral("/p/");
    for (const QString &url : std::as_const(urls)) {
        check(url.startsWith(prefix), name, "album address does not start on the forum host");
        check(std::none_of(url.begin(), url.end(), control), name, "album address holds a control character");
        check(QUrl(url).host() == forumHost, name, "album address parses to another host");
    }
    if (html.size() <= referenceLimit) {
        const ListPageScan reference = referenceListPage(html, 4);
        check(scan.albumUrls == reference.albumUrls, name, "album list differs from the straightforward scan");
        check(scan.pageCount == reference.pageCount || (std::isnan(scan.pageCount) && std::isnan(reference.pageCount)),
              name, "page count differs from the straightforward scan");
    }
}

void pictureIds(const std::uint8_t *data, std::size_t size)
{
    const char *const name = "picture_ids";
    const QString html = utf16Text(data, size);
    const QList<std::optional<QString>> ids = scanPictureIds(html);
    check(ids.size() <= html.size() / 8, name, "more identifiers than markers fit the page");
    const QList<MarkupSpan> hidden = hiddenMarkerSpans(html);
    for (qsizetype i = 0; i < hidden.size(); ++i) {
        check(hidden[i].from < hidden[i].to && hidden[i].to <= html.size(), name, "a hidden stretch out of the page");
        check(i == 0 || hidden[i - 1].to < hidden[i].from, name, "hidden stretches unsorted or overlapping");
    }
    qsizetype total = 0;
    for (const std::optional<QString> &id : ids) {
        if (!id)
            continue;
        check(!id->isEmpty() && id->size() <= maxPictureIdLength, name, "identifier empty or too long");
        check(pathSegmentSafe(*id), name, "identifier holds a character unfit for an address path");
        total += id->size();
    }
    check(total <= html.size(), name, "identifiers longer in total than the page");
    if (html.size() <= referenceLimit)
        check(ids == referencePictureIds(html), name, "identifiers differ from the straightforward scan");
}

void split2(const std::uint8_t *data, std::size_t size)
{
    const char *const name = "split2";
    if (size < 3)
        return;
    const bool d = data[0] & 1, e = data[0] & 2;
    const QString units = utf16Text(data + 3, size - 3);
    const qsizetype bSize = std::min<qsizetype>(data[1], units.size());
    const qsizetype cSize = std::min<qsizetype>(data[2], units.size() - bSize);
    const QString b = units.first(bSize), c = units.mid(bSize, cSize), a = units.mid(bSize + cSize);
    const std::optional<QString> cut = ::split2(a, b, c, d, e);
    if (!cut)
        return;
    check(cut->size() <= a.size() + c.size(), name, "cut longer than the text and its end marker");
    if (c.isEmpty() || !e)
        check(a.contains(*cut), name, "cut is not a part of the text");
    else
        check(cut->endsWith(c) && a.contains(cut->chopped(c.size())), name, "cut is not a part and its end marker");
}

void folderName(const std::uint8_t *data, std::size_t size)
{
    const char *const name = "folder_name";
    const QString folder = safeFolderName(utf16Text(data, size));
    check(!folder.isEmpty(), name, "empty name");
    check(folder != u"." && folder != u"..", name, "name is \".\" or \"..\"");
    check(!folder.contains(u'/') && !folder.contains(u'\\'), name, "name holds a separator");
    check(std::none_of(folder.begin(), folder.end(), [](QChar ch) { return ch.category() == QChar::Other_Control; }),
          name, "name holds a control character");
    check(folder.isValidUtf16(), name, "name holds a lone surrogate");
    check(QFile::encodeName(folder).size() <= 255, name, "name longer than 255 bytes as the file system gets it");
    check(safeFolderName(folder) == folder, name, "a safe name changes when made safe again");
}

void titleEntities(const std::uint8_t *data, std::size_t size)
{
    const char *const name = "title";
    const QString title = utf16Text(data, size);
    const QString decoded = decodeTitleEntities(title);
    check(decoded.size() <= title.size(), name, "decoding made the title longer");
    if (title.isValidUtf16())
        check(decoded == referenceTitle(title), name, "decoding differs from the regular expression's");
}

void bytesToBstr(const std::uint8_t *data, std::size_t size)
{
    const char *const name = "bytes_to_bstr";
    if (size < 1)
        return;
    static const QString charsets[] = {QStringLiteral("gb2312"), QStringLiteral("utf-8"), QStringLiteral("big5"),
                                       QStringLiteral("shift_jis")};
    const QString &charset = charsets[data[0] % std::size(charsets)];
    const QByteArray body(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QString text = BytesToBstr(FetchResult::fromBytes(body), charset);
    check(text.isEmpty() == body.isEmpty(), name, "bytes decoded to nothing, or nothing to text");
    check(text.size() <= body.size(), name, "more code units than bytes");
    // The end of the body ends a cut-off character the way any byte outside a character does.
    check(BytesToBstr(FetchResult::fromBytes(body + '\n'), charset) == text + u'\n', name,
          "a line break behind the body changes what comes before it");
}

namespace {

struct EndSeen
{
    PictureEnd::Verdict verdict;
    PictureEnd::Format format;
    qint64 end;

    bool operator==(const EndSeen &other) const
    {
        return verdict == other.verdict && format == other.format && end == other.end;
    }
};

// What the checker makes of `size` bytes fed in pieces: whole when `piece` is 0, otherwise of
// the sizes `piece` draws, one after another.
EndSeen endOf(const char *bytes, qint64 size, std::uint32_t piece)
{
    PictureEnd end;
    if (piece == 0) {
        end.feed(bytes, size);
    } else {
        for (qint64 at = 0; at < size;) {
            // A small generator of its own: the same pieces for the same input on every run.
            piece = piece * 1103515245u + 12345u;
            const qint64 length = std::min<qint64>(size - at, 1 + (piece >> 16) % 97);
            end.feed(bytes + at, length);
            at += length;
        }
    }
    return {end.verdict(), end.format(), end.end()};
}

} // namespace

void pictureEnd(const std::uint8_t *data, std::size_t size)
{
    const char *const name = "picture_end";
    if (size < 1)
        return;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const qint64 length = qint64(size - 1);
    const EndSeen whole = endOf(bytes, length, 0);
    check(endOf(bytes, length, 1u + data[0]) == whole, name, "fed in pieces, the bytes tell another end");
    if (length <= 65536) {
        PictureEnd byByte;
        for (qint64 at = 0; at < length; ++at)
            byByte.feed(bytes + at, 1);
        check(EndSeen{byByte.verdict(), byByte.format(), byByte.end()} == whole, name,
              "fed byte by byte, the bytes tell another end");
    }
    check(whole.verdict == PictureEnd::Verdict::NotAPicture || whole.format != PictureEnd::Format::None, name,
          "a picture without a format");
    if (whole.verdict != PictureEnd::Verdict::Whole) {
        check(whole.end == -1, name, "an end told of bytes that never reached it");
        return;
    }
    check(whole.end > 0 && whole.end <= length, name, "an end outside the bytes");
    const auto *at = reinterpret_cast<const std::uint8_t *>(bytes);
    switch (whole.format) {
    case PictureEnd::Format::Jpeg:
        check(at[whole.end - 2] == 0xFF && at[whole.end - 1] == 0xD9, name, "a JPEG that ends without EOI");
        break;
    case PictureEnd::Format::Gif:
        check(at[whole.end - 1] == 0x3B, name, "a GIF that ends without its trailer");
        break;
    case PictureEnd::Format::Webp:
        check(whole.end == 8 + qint64(at[4] | at[5] << 8 | at[6] << 16 | std::uint32_t(at[7]) << 24), name,
              "a WebP that ends elsewhere than its RIFF length says");
        break;
    default:
        break;
    }
    // Whatever is cut off the end of a whole picture leaves it cut short, never whole.
    for (const qint64 cut : {whole.end - 1, whole.end / 2, qint64(data[0]) % whole.end}) {
        const EndSeen shorter = endOf(bytes, cut, 1u + data[0]);
        check(shorter.verdict != PictureEnd::Verdict::Whole, name, "a picture cut short is whole");
        check(shorter.format == whole.format || shorter.format == PictureEnd::Format::None, name,
              "a picture cut short changed its format");
    }
    // What comes after the end changes nothing.
    const QByteArray padded = QByteArray(bytes, qsizetype(whole.end)) + QByteArray(64, '\0');
    check(endOf(padded.constData(), padded.size(), 0) == whole, name, "bytes after the end change the picture");
}

const QList<Entry> &all()
{
    static const QList<Entry> entries = {{"list_page", listPage},    {"picture_ids", pictureIds},
                                         {"split2", split2},         {"folder_name", folderName},
                                         {"title", titleEntities},   {"bytes_to_bstr", bytesToBstr},
                                         {"picture_end", pictureEnd}};
    return entries;
}

} // namespace FuzzEntries
