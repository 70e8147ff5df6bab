#include "tests/testsupport.h"

#include "tools/forumsim/forumserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QSaveFile>

#include <unistd.h>

namespace TestSupport {

EngineSettings shortSettings(const QString &host, const QString &programFolder)
{
    EngineSettings settings = EngineSettings::shipped();
    Timings &t = settings.timings;
    t.pageLimitSeconds = 2;
    t.pictureLimitSeconds = 2;
    t.scriptAnswerLimitMs = 3000;
    // Its bounds stay far from what a well-behaved page needs, whatever else the machine is doing.
    PagePace &p = settings.pagePace;
    p.afterLoadMs = 100;
    p.scrollStepMs = 20;
    p.afterScrollMs = 300;
    p.loadWaitLimitMs = 20000;
    p.maxScrollStepsPerPass = 100;
    p.adaptiveStepMs = 20;
    p.adaptiveProbeMs = 40;
    p.quietMs = 700;
    p.networkQuietMs = 1000;
    p.stillMs = 2000;
    p.adaptiveLimitMs = 30000;
    p.nudgeSpellMs = 200;
    // A stream's deliveries come as the server sends them, which no shortened pace hastens.
    p.streamSpellMs = 4000;
    p.streamSpellMaxMs = 8000;
    if (!host.isEmpty())
        settings.hosts = Hosts{host, host};
    settings.folders.program = programFolder;
    return settings;
}

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
