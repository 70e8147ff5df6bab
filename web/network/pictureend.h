#pragma once

#include <QtGlobal>

// Follows a picture's bytes as they arrive, to tell whether they reach the end that the
// picture's own format marks: a JPEG's end of image (its segments followed by their lengths,
// its scans through their stuffed bytes and restart markers), a PNG's IEND chunk, a GIF's
// trailer after its blocks and sub-blocks, the length a WebP's RIFF header announces. An answer
// cut short (a server that announced too short a length, or that closed the connection early)
// reaches none of them, whatever its headers said. Bytes after the end do not matter. It keeps
// a few bytes of state, however large the picture.
class PictureEnd final
{
public:
    enum class Format { None, Jpeg, Png, Gif, Webp };

    enum class Verdict {
        // No format it knows (an HTML page, a body shorter than any signature), or bytes that
        // stop following their format somewhere: nothing can be told of where they should end.
        NotAPicture,
        Cut,   // a picture whose bytes end before its format's end
        Whole, // the format's end arrived
    };

    void feed(const char *data, qint64 size);

    // What the bytes fed so far make of the picture, were they all.
    Verdict verdict() const;
    Format format() const { return m_format; }
    // How many bytes the picture took up to its format's end, once Whole; -1 before.
    qint64 end() const { return m_end; }

private:
    enum class State {
        Signature,
        JpegMarker,   // a marker's 0xFF is due
        JpegCode,     // its code is due (more 0xFF are fill)
        JpegLength,   // a segment's two length bytes
        JpegScan,     // entropy-coded data, up to the next 0xFF
        JpegScanCode, // the byte after a 0xFF inside the scan
        PngChunk,     // a chunk's length and type
        GifScreen,    // the logical screen descriptor
        GifBlock,     // what the next block is
        GifImage,     // an image descriptor
        GifCodeSize,  // the LZW minimum code size before an image's data
        GifLabel,     // an extension's label
        GifSubBlock,  // a sub-block's size; 0 ends the sub-blocks
        WebpBody,     // up to the length the RIFF header announced
        Skip,         // bytes that need no looking at, then m_afterSkip
        Whole,
        NotAPicture,
    };

    // The bytes a collecting state gathers before it looks at them.
    static int headerSize(State state);
    void go(State state);
    void skipThen(qint64 count, State next);
    void signatureByte();
    void headerDone();
    void oneByte(quint8 byte);
    void jpegCode(quint8 code);

    State m_state = State::Signature;
    State m_afterSkip = State::NotAPicture;
    Format m_format = Format::None;
    qint64 m_fed = 0;     // bytes fed before the current call's position
    qint64 m_skip = 0;    // bytes still to pass over in Skip
    qint64 m_webpEnd = 0; // WebpBody: where the RIFF's bytes end
    qint64 m_end = -1;
    bool m_jpegScanNext = false; // the segment being skipped is a scan's header
    // A header being collected (the signature, a length, a descriptor): its bytes so far.
    quint8 m_head[12] = {};
    int m_headSize = 0;
};
