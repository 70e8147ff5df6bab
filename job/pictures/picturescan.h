#pragma once

#include "web/browser/browseradapter.h"

#include <QList>
#include <QString>

#include <optional>

// The longest identifier the scan hands out; real ones are a few dozen characters.
constexpr qsizetype maxPictureIdLength = 1024;

// The picture identifiers of a settled album page, one per marker, in the order the markers
// occur. A marker with no closing quote anywhere behind it ends the scan. An identifier longer
// than maxPictureIdLength, or holding a character that cannot stand in an address path segment,
// is no value at its place: it still counts in the numbering, but there is nothing to fetch.
// A marker in a script's text, a template or a binding (hiddenMarkerSpans) is no picture and
// takes no number.
QList<std::optional<QString>> scanPictureIds(const QString &AlbumHtml);

// The pictures an album page showed while it was scrolled: those of its last markup and those of
// every state its elements were seen in (`shown`). A page that kept every picture it showed in its
// last markup gives exactly that markup's pictures, in its order. One that took pictures out of
// its document or pointed its rows at other pictures (a gallery that keeps only the rows near the
// view, or a pool of rows) gives each picture once, in the order a reader scrolling down meets
// them: by where the page last laid it out while it showed it.
QList<std::optional<QString>> picturesShown(const QString &AlbumHtml, const QList<ShownElement> &shown);

// The address a picture is fetched from, on the picture host `imageHost`.
QString pictureAddress(const QString &imageHost, const QString &ImageId);
// The identifier in a picture address ".../forum/pic/item/<id>.jpg"; the whole text otherwise.
QString pictureIdOf(const QString &url);
