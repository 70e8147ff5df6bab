#include "tools/forumsim/picturefactory.h"

#include <QBuffer>
#include <QColor>
#include <QCryptographicHash>
#include <QImage>
#include <QStringBuilder>

#include <zlib.h>

namespace {

// Encoding a JPEG costs about half a millisecond, too much for thousands of distinct ids in a
// benchmark. So ids share a small set of encoded images and differ by a comment segment
// carrying the id, which keeps every file unique and still valid.
constexpr int VariantCount = 64;
constexpr int Width = 320;
constexpr int Height = 240;

int variantOf(const QString &id)
{
    const QByteArray digest = QCryptographicHash::hash(id.toUtf8(), QCryptographicHash::Sha1);
    return quint8(digest.at(0)) % VariantCount;
}

QByteArray bigEndian16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char((value >> 8) & 0xff);
    bytes[1] = char(value & 0xff);
    return bytes;
}

QByteArray bigEndian32(quint32 value)
{
    return bigEndian16(int(value >> 16)) + bigEndian16(int(value & 0xffff));
}

QByteArray littleEndian16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char(value & 0xff);
    bytes[1] = char((value >> 8) & 0xff);
    return bytes;
}

QByteArray littleEndian32(quint32 value)
{
    return littleEndian16(int(value & 0xffff)) + littleEndian16(int(value >> 16));
}

QByteArray commentText(const QString &id)
{
    return QByteArrayLiteral("forumsim picture ") + id.toUtf8().left(4000);
}

// GIF data in sub-blocks of at most 255 bytes, each behind its size, and an empty one to end them.
QByteArray gifSubBlocks(const QByteArray &data)
{
    QByteArray blocks;
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        blocks += char(block.size()) + block;
    }
    return blocks + '\0';
}

// A RIFF chunk: its name, its length, its data and a byte to make it even.
QByteArray riffChunk(const char *name, const QByteArray &data)
{
    QByteArray chunk = name + littleEndian32(quint32(data.size())) + data;
    if (data.size() % 2 != 0)
        chunk += '\0';
    return chunk;
}

// JFIF wants its APP0 segment right after SOI, so the comment goes behind it.
qsizetype commentPosition(const QByteArray &jpeg)
{
    if (jpeg.size() > 6 && quint8(jpeg.at(2)) == 0xff && quint8(jpeg.at(3)) == 0xe0)
        return 4 + ((quint8(jpeg.at(4)) << 8) | quint8(jpeg.at(5)));
    return 2;
}

} // namespace

QByteArray PictureFactory::bytes(const QString &id, qint64 size, PictureFormat format) const
{
    QByteArray picture;
    switch (format) {
    case PictureFormat::Jpeg:
        picture = withComment(variant(variantOf(id), format), id);
        break;
    case PictureFormat::Png:
        picture = pngWithComment(variant(variantOf(id), format), id);
        break;
    case PictureFormat::Gif:
        picture = gif(variantOf(id), id);
        break;
    case PictureFormat::Webp:
        picture = webp(id);
        break;
    }
    if (size > picture.size())
        picture.append(qsizetype(size - picture.size()), '\0');
    return picture;
}

QByteArray PictureFactory::contentType(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Png:
        return QByteArrayLiteral("image/png");
    case PictureFormat::Gif:
        return QByteArrayLiteral("image/gif");
    case PictureFormat::Webp:
        return QByteArrayLiteral("image/webp");
    default:
        return QByteArrayLiteral("image/jpeg");
    }
}

const QByteArray &PictureFactory::variant(int index, PictureFormat format) const
{
    const int key = index + VariantCount * int(format);
    auto it = m_variants.find(key);
    if (it == m_variants.end())
        it = m_variants.insert(key, encode(paint(index), format == PictureFormat::Png ? "PNG" : "JPEG"));
    return *it;
}

QImage PictureFactory::paint(int index)
{
    // Converted once: an HSV QColor recomputes RGB on every red()/green()/blue() call.
    const QRgb from = QColor::fromHsv(index * 360 / VariantCount, 160, 230).rgb();
    const QRgb to = QColor::fromHsv((index * 360 / VariantCount + 150) % 360, 200, 90).rgb();
    QImage image(Width, Height, QImage::Format_RGB32);
    for (int y = 0; y < Height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < Width; ++x) {
            const bool band = ((x + y * (index % 3 + 1)) / 40) % 2 == 0;
            const int t = (x + y) * (band ? 256 : 154) / (Width + Height);
            line[x] = qRgb(qRed(from) + (qRed(to) - qRed(from)) * t / 256,
                           qGreen(from) + (qGreen(to) - qGreen(from)) * t / 256,
                           qBlue(from) + (qBlue(to) - qBlue(from)) * t / 256);
        }
    }
    return image;
}

QByteArray PictureFactory::encode(const QImage &image, const char *format)
{
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, 85))
        qFatal("forumsim: Qt's %s image plugin is missing; no pictures can be made", format);
    return encoded;
}

QByteArray PictureFactory::withComment(const QByteArray &jpeg, const QString &id)
{
    const QByteArray text = commentText(id);
    const QByteArray segment = QByteArrayLiteral("\xff\xfe") + bigEndian16(int(text.size()) + 2) + text;
    QByteArray result = jpeg;
    result.insert(commentPosition(jpeg), segment);
    return result;
}

QByteArray PictureFactory::pngWithComment(const QByteArray &png, const QString &id)
{
    const QByteArray typeAndData = QByteArrayLiteral("tEXtComment") + '\0' + commentText(id);
    const uLong crc =
        crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef *>(typeAndData.constData()), uInt(typeAndData.size()));
    const QByteArray chunk = bigEndian32(quint32(typeAndData.size() - 4)) + typeAndData + bigEndian32(quint32(crc));
    // IHDR comes first: after the signature, its 13 bytes with their length, type and CRC.
    QByteArray result = png;
    result.insert(8 + 4 + 4 + 13 + 4, chunk);
    return result;
}

QByteArray PictureFactory::gif(int index, const QString &id)
{
    constexpr int width = 32;
    constexpr int height = 24;
    // A global table of four colours (flags 0x81), no background, square pixels.
    QByteArray gif =
        QByteArrayLiteral("GIF89a") + littleEndian16(width) + littleEndian16(height) + char(0x81) + char(0) + char(0);
    for (int colour = 0; colour < 4; ++colour) {
        const QRgb rgb = QColor::fromHsv((index * 360 / VariantCount + colour * 90) % 360, 160, 230).rgb();
        gif += char(qRed(rgb)) + QByteArray(1, char(qGreen(rgb))) + char(qBlue(rgb));
    }
    gif += QByteArrayLiteral("\x21\xfe") + gifSubBlocks(commentText(id));
    gif +=
        char(0x2c) + littleEndian16(0) + littleEndian16(0) + littleEndian16(width) + littleEndian16(height) + char(0);
    // LZW with codes of 3 bits: a clear code (4) before every two pixels keeps the table from
    // growing past them, so no code ever needs a fourth bit; 5 ends the data.
    constexpr int minimumCodeSize = 2;
    QByteArray codes;
    quint32 bits = 0;
    int pending = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << pending;
        for (pending += 3; pending >= 8; pending -= 8, bits >>= 8)
            codes += char(bits & 0xff);
    };
    for (int pixel = 0; pixel < width * height; ++pixel) {
        if (pixel % 2 == 0)
            put(4);
        const int x = pixel % width;
        const int y = pixel / width;
        put(((x + y * (index % 3 + 1)) / 8) % 4);
    }
    put(5);
    if (pending > 0)
        codes += char(bits & 0xff);
    return gif + char(minimumCodeSize) + gifSubBlocks(codes) + ';';
}

QByteArray PictureFactory::webp(const QString &id)
{
    // One pixel, lossless, with an alpha channel; the extended form (VP8X, saying so in its
    // flags, on a canvas of 1 × 1) lets a chunk of its own carry the id.
    static const QByteArray pixel("\x2f\x00\x00\x00\x10\x07\x10\x11\x11\x88\x88\xfe\x07", 13);
    const QByteArray chunks = QByteArrayLiteral("WEBP") + riffChunk("VP8X", char(0x10) + QByteArray(9, '\0')) +
                              riffChunk("VP8L", pixel) + riffChunk("FSIM", commentText(id));
    return QByteArrayLiteral("RIFF") + littleEndian32(quint32(chunks.size())) + chunks;
}
