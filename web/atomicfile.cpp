#include "atomicfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cstdio>

namespace {

// commit() forgets an earlier write error, so the write's own result has to decide.
[[maybe_unused]] bool writeWithSaveFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

// Hidden and not named like a picture, so that even a process killed in the instant between
// writing and renaming leaves nothing that passes for one.
QString temporaryNameFor(const QString &path)
{
    const QFileInfo info(path);
    return info.path() + QStringLiteral("/.") + info.fileName() +
           QStringLiteral(".%1.part").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

bool writeNewFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    return written && file.error() == QFile::NoError;
}

} // namespace

namespace AtomicFile {

bool write(const QString &path, const QByteArray &bytes)
{
#ifdef Q_OS_UNIX
    // No fsync: the bytes are safe from a killed or crashed program without it, and syncing
    // every picture would cost more than fetching it. rename() replaces the old file whole.
    const QString temporary = temporaryNameFor(path);
    if (writeNewFile(temporary, bytes) &&
        std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    QFile::remove(temporary);
    return false;
#else
    return writeWithSaveFile(path, bytes);
#endif
}

} // namespace AtomicFile
