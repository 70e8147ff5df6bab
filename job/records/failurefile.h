#pragma once

#include "web/files/filecalls.h"

#include <QList>
#include <QString>

// failed.txt in a bar folder: the pictures of that bar that failed and have not been saved
// since, one line "<picture address> TAB <path>" each, for a later run to retry.
namespace FailureFile {

const QString &name();
QString pathIn(const QString &barFolder);

struct Entry
{
    QString url;
    QString path;
    QString id; // the picture identifier the address names
};

struct Contents
{
    QList<Entry> entries;
    int dropped = 0;      // lines that name no picture of this bar
    bool refused = false; // the file is a link, and was not read
};

// The entries a run may act upon. The file is read back as a list of things to fetch and where
// to put them, and anyone may have written it: a line is used only when its address is a
// picture address on the picture host `imageHost`, with an identifier the job itself could have
// handed out, and its path is "<album folder>/<n>.jpg" inside the bar folder. The rest is dropped.
Contents read(const QString &barFolder, const QString &imageHost);

// Replaces the file with `entries`, or removes it when there are none; the old file stays
// when that cannot be done whole. The system's reason when it failed, empty otherwise.
QString write(const QString &barFolder, const QList<Entry> &entries, FileCalls &calls = FileCalls::system());

} // namespace FailureFile
