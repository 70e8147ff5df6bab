#pragma once

#include <QList>

#include <cstddef>
#include <cstdint>

// The entry points of the fuzz targets. The fuzzers built with QUILLORY_FUZZ call them with
// the inputs libFuzzer makes up; the normal build's test replays the corpus through them, so an
// input that once broke something stays a regression test. Each one runs the code under test
// and checks what must hold for every input; a violation is reported on standard error and
// aborts the process, which is how libFuzzer learns of it.
//
// The text targets read their input as UTF-16LE code units (a trailing odd byte is ignored), so
// that every text is reachable, halves of surrogate pairs included.
namespace FuzzEntries {

struct Entry
{
    const char *name; // also the folder of its corpus: fuzz/corpus/<name>/
    void (*run)(const std::uint8_t *data, std::size_t size);
};

// Album-list scan: the page as text.
void listPage(const std::uint8_t *data, std::size_t size);
// Picture identifier scan: the album page as text.
void pictureIds(const std::uint8_t *data, std::size_t size);
// split2: byte 0 holds d (bit 0) and e (bit 1), bytes 1 and 2 the lengths in code units of b
// and c; the code units behind them are b, then c, then a.
void split2(const std::uint8_t *data, std::size_t size);
// safeFolderName: the name as text.
void folderName(const std::uint8_t *data, std::size_t size);
// Title entity decoding: the title as text.
void titleEntities(const std::uint8_t *data, std::size_t size);
// BytesToBstr: byte 0 picks the character set, the rest is the body.
void bytesToBstr(const std::uint8_t *data, std::size_t size);
// PictureEnd: byte 0 picks the pieces the bytes are fed in, the rest is the picture.
void pictureEnd(const std::uint8_t *data, std::size_t size);

const QList<Entry> &all();

} // namespace FuzzEntries
