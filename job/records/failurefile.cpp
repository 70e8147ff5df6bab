#include "job/records/failurefile.h"

#include "job/pictures/picturescan.h"
#include "job/records/statefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The identifier the job would hand out for this text: the scan's own rules, so that a line of
// the file can name nothing the album pages could not.
bool usableId(const QString &id)
{
    // The scan looks for a marker from the second character of the page on.
    const QList<std::optional<QString>> ids = scanPictureIds(QStringLiteral(" ;pic_id=") + id + u'"');
    return !id.isEmpty() && ids.size() == 1 && ids.first() == id;
}

bool usablePath(const QString &barFolder, const QString &path)
{
    const QString inside = QDir::cleanPath(barFolder) + u'/';
    const QString clean = QDir::cleanPath(path);
    if (!clean.startsWith(inside))
        return false;
    const QStringList levels = clean.mid(inside.size()).split(u'/');
    if (levels.size() != 2 || levels.at(0).isEmpty() || levels.at(0) == u"." || levels.at(0) == u".." ||
        !levels.at(1).endsWith(QStringLiteral(".jpg")))
        return false;
    bool number = false;
    const int n = levels.at(1).chopped(4).toInt(&number);
    if (!number || n < 1 || QString::number(n) + QStringLiteral(".jpg") != levels.at(1))
        return false;
    // An album folder that is a link would carry the picture out of the bar folder.
    return !StateFile::isLink(inside + levels.at(0));
}

} // namespace

namespace FailureFile {

const QString &name()
{
    static const QString fileName = QStringLiteral("failed.txt");
    return fileName;
}

QString pathIn(const QString &barFolder)
{
    return QDir::cleanPath(barFolder) + u'/' + name();
}

Contents read(const QString &barFolder, const QString &imageHost)
{
    Contents contents;
    const QString path = pathIn(barFolder);
    if (StateFile::isLink(path)) {
        contents.refused = true;
        return contents;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return contents;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        Entry entry;
        if (fields.size() == 2) {
            entry.url = QString::fromUtf8(fields.at(0));
            entry.path = QDir::cleanPath(QString::fromUtf8(fields.at(1)));
            entry.id = pictureIdOf(entry.url);
        }
        if (fields.size() == 2 && usableId(entry.id) && entry.url == pictureAddress(imageHost, entry.id) &&
            usablePath(barFolder, entry.path))
            contents.entries.append(entry);
        else
            ++contents.dropped;
    }
    return contents;
}

QString write(const QString &barFolder, const QList<Entry> &entries, FileCalls &calls)
{
    const QString path = pathIn(barFolder);
    if (entries.isEmpty())
        return StateFile::remove(path);
    QByteArray text;
    for (const Entry &entry : entries)
        text += entry.url.toUtf8() + '\t' + entry.path.toUtf8() + '\n';
    return StateFile::replace(path, text, calls);
}

} // namespace FailureFile
