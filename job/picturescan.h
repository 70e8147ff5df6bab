#pragma once

#include <QList>
#include <QString>

#include <optional>

// The longest identifier the scan hands out; real ones are a few dozen characters.
constexpr qsizetype maxPictureIdLength = 1024;

// The picture identifiers of a settled album page, one per marker, in the order the markers
// occur. A marker with no closing quote anywhere behind it ends the scan. An identifier longer
// than maxPictureIdLength, or holding a character that cannot stand in an address path segment,
// is no value at its place: it still counts in the numbering, but there is nothing to fetch.
QList<std::optional<QString>> scanPictureIds(const QString &AlbumHtml);

// The address a picture is fetched from, on the picture host.
QString pictureAddress(const QString &ImageId);
// The identifier in a picture address ".../forum/pic/item/<id>.jpg"; the whole text otherwise.
QString pictureIdOf(const QString &url);
