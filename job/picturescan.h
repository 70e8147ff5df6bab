#pragma once

#include <QString>
#include <QStringList>

// The picture identifiers of a settled album page, in the order their markers occur. A marker
// with no closing quote anywhere behind it ends the scan.
QStringList scanPictureIds(const QString &AlbumHtml);
