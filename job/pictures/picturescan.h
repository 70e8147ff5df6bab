#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The longest identifier the scan hands out; real ones are a few dozen characters.
constexpr qsizetype maxPictureIdLength = 1024;

// The picture identifiers of a settled album page, one per marker, in the order the markers
// occur. A marker with no closing quote anywhere behind it ends the scan. An identifier longer
// than maxPictureIdLength, or holding a character that cannot stand in an address path segment,
// is no value at its place: it still counts in the numbering, but there is nothing to fetch.
QList<std::optional<QString>> scanPictureIds(const QString &AlbumHtml);

// The pictures an album page showed while it was scrolled: those of its last markup and, when
// the page took some out of its document on the way (a gallery that keeps only the rows near the
// view), those too, each once, in page order. A page that kept every picture it showed gives
// exactly the pictures of its last markup.
QList<std::optional<QString>> picturesShown(const QString &AlbumHtml, const QStringList &removed);

// The address a picture is fetched from, on the picture host.
QString pictureAddress(const QString &ImageId);
// The identifier in a picture address ".../forum/pic/item/<id>.jpg"; the whole text otherwise.
QString pictureIdOf(const QString &url);
