#include "web/network/pictureend.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr quint8 pngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

quint32 bigEndian32(const quint8 *at)
{
    return quint32(at[0]) << 24 | quint32(at[1]) << 16 | quint32(at[2]) << 8 | quint32(at[3]);
}

quint32 littleEndian32(const quint8 *at)
{
    return quint32(at[3]) << 24 | quint32(at[2]) << 16 | quint32(at[1]) << 8 | quint32(at[0]);
}

bool letter(quint8 byte)
{
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z');
}

// The bytes of a GIF colour table that the flags of a screen or image descriptor announce.
qint64 gifColourTable(quint8 flags)
{
    return flags & 0x80 ? qint64(3) << ((flags & 7) + 1) : 0;
}

} // namespace

void PictureEnd::feed(const char *data, qint64 size)
{
    if (size <= 0)
        return;
    const auto *const begin = reinterpret_cast<const quint8 *>(data);
    const quint8 *const stop = begin + size;
    const quint8 *p = begin;
    while (p < stop) {
        switch (m_state) {
        case State::Whole:
        case State::NotAPicture:
            p = stop;
            break;
        case State::Skip: {
            const qint64 passed = std::min<qint64>(m_skip, stop - p);
            p += passed;
            m_skip -= passed;
            if (m_skip == 0)
                go(m_afterSkip);
            break;
        }
        case State::WebpBody:
            p += std::min<qint64>(m_webpEnd - (m_fed + (p - begin)), stop - p);
            if (m_fed + (p - begin) == m_webpEnd)
                go(State::Whole);
            break;
        case State::JpegScan: {
            // Most of a picture's bytes are here, and only a 0xFF can end the scan.
            const void *mark = std::memchr(p, 0xFF, size_t(stop - p));
            p = mark ? static_cast<const quint8 *>(mark) + 1 : stop;
            if (mark)
                go(State::JpegScanCode);
            break;
        }
        case State::Signature:
        case State::JpegLength:
        case State::PngChunk:
        case State::GifScreen:
        case State::GifImage:
            m_head[m_headSize++] = *p++;
            if (m_state == State::Signature)
                signatureByte();
            else if (m_headSize == headerSize(m_state))
                headerDone();
            break;
        default:
            oneByte(*p++);
            break;
        }
        if (m_state == State::Whole && m_end < 0)
            m_end = m_fed + (p - begin);
    }
    m_fed += size;
}

PictureEnd::Verdict PictureEnd::verdict() const
{
    switch (m_state) {
    case State::Whole:
        return Verdict::Whole;
    case State::Signature:
    case State::NotAPicture:
        return Verdict::NotAPicture;
    default:
        return Verdict::Cut;
    }
}

int PictureEnd::headerSize(State state)
{
    switch (state) {
    case State::JpegLength:
        return 2;
    case State::GifScreen:
        return 7;
    case State::PngChunk:
        return 8;
    case State::GifImage:
        return 9;
    default:
        return int(sizeof m_head);
    }
}

void PictureEnd::go(State state)
{
    m_state = state;
    m_headSize = 0;
}

void PictureEnd::skipThen(qint64 count, State next)
{
    if (count <= 0)
        return go(next);
    m_skip = count;
    m_afterSkip = next;
    go(State::Skip);
}

void PictureEnd::signatureByte()
{
    const int n = m_headSize;
    const quint8 *h = m_head;
    const bool jpeg = n <= 2 && h[0] == 0xFF && (n < 2 || h[1] == 0xD8);
    const bool png = n <= 8 && std::memcmp(h, pngSignature, size_t(n)) == 0;
    const bool gif = n <= 6 && std::memcmp(h, "GIF8", size_t(std::min(n, 4))) == 0 &&
                     (n < 5 || h[4] == '7' || h[4] == '9') && (n < 6 || h[5] == 'a');
    const bool webp = std::memcmp(h, "RIFF", size_t(std::min(n, 4))) == 0 &&
                      (n <= 8 || std::memcmp(h + 8, "WEBP", size_t(n - 8)) == 0);
    if (jpeg && n == 2) {
        m_format = Format::Jpeg;
        go(State::JpegMarker);
    } else if (png && n == 8) {
        m_format = Format::Png;
        go(State::PngChunk);
    } else if (gif && n == 6) {
        m_format = Format::Gif;
        go(State::GifScreen);
    } else if (webp && n == 12) {
        // The RIFF length counts what follows it, the "WEBP" among it.
        const quint32 length = littleEndian32(h + 4);
        if (length < 4)
            return go(State::NotAPicture);
        m_format = Format::Webp;
        m_webpEnd = 8 + qint64(length);
        go(m_webpEnd == 12 ? State::Whole : State::WebpBody);
    } else if (!jpeg && !png && !gif && !webp) {
        go(State::NotAPicture);
    }
}

void PictureEnd::headerDone()
{
    const quint8 *h = m_head;
    switch (m_state) {
    case State::JpegLength: {
        // The length counts its own two bytes.
        const int length = h[0] << 8 | h[1];
        if (length < 2)
            return go(State::NotAPicture);
        return skipThen(length - 2, m_jpegScanNext ? State::JpegScan : State::JpegMarker);
    }
    case State::PngChunk: {
        const quint32 length = bigEndian32(h);
        if (length > 0x7FFFFFFFu || !std::all_of(h + 4, h + 8, letter))
            return go(State::NotAPicture);
        // The chunk's data, then its CRC.
        return skipThen(qint64(length) + 4, std::memcmp(h + 4, "IEND", 4) == 0 ? State::Whole : State::PngChunk);
    }
    case State::GifScreen:
        return skipThen(gifColourTable(h[4]), State::GifBlock);
    case State::GifImage:
        return skipThen(gifColourTable(h[8]), State::GifCodeSize);
    default:
        return go(State::NotAPicture);
    }
}

void PictureEnd::oneByte(quint8 byte)
{
    switch (m_state) {
    case State::JpegMarker:
        return go(byte == 0xFF ? State::JpegCode : State::NotAPicture);
    case State::JpegCode:
        return jpegCode(byte);
    case State::JpegScanCode:
        // Stuffing and restart markers belong to the scan, and fill bytes wait for the marker:
        // only another marker ends it.
        if (byte == 0xFF)
            return;
        if (byte == 0x00 || (byte >= 0xD0 && byte <= 0xD7))
            return go(State::JpegScan);
        return jpegCode(byte);
    case State::GifBlock:
        if (byte == 0x2C)
            return go(State::GifImage);
        if (byte == 0x21)
            return go(State::GifLabel);
        return go(byte == 0x3B ? State::Whole : State::NotAPicture);
    case State::GifCodeSize:
    case State::GifLabel:
        return go(State::GifSubBlock);
    case State::GifSubBlock:
        return byte == 0 ? go(State::GifBlock) : skipThen(byte, State::GifSubBlock);
    default:
        return go(State::NotAPicture);
    }
}

void PictureEnd::jpegCode(quint8 code)
{
    if (code == 0xFF)
        return go(State::JpegCode);
    if (code == 0xD9)
        return go(State::Whole);
    // A second start, or a 0xFF that is no marker, is not a JPEG any more.
    if (code == 0xD8 || code == 0x00)
        return go(State::NotAPicture);
    // Markers that stand alone, without a segment.
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))
        return go(State::JpegMarker);
    m_jpegScanNext = code == 0xDA;
    go(State::JpegLength);
}
