#include "tests/testsupport.h"

#include "tools/forumsim/forumserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>

#include <unistd.h>

namespace TestSupport {

QStringList filesBelow(const QString &folder)
{
    QStringList result;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        result << QDir(folder).relativeFilePath(it.next());
    result.sort();
    return result;
}

QStringList picturesAsked(const ForumServer &server)
{
    QStringList ids;
    for (const ForumRequest &r : server.requests()) {
        if (r.target.startsWith("/forum/pic/item/"))
            ids << QString::fromUtf8(r.target.mid(16).chopped(4));
    }
    ids.sort();
    return ids;
}

bool holdsPicture(const ForumServer &server, const QString &path, const QString &id)
{
    return contents(path) == server.pictureBytes(id);
}

bool putFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

} // namespace TestSupport
