#include "app/picturehome.h"

#include "web/folders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace {

bool under(const QString &folder, const QString &root)
{
    return folder == root || folder.startsWith(root + u'/');
}

// A folder that is the user's own to fill. A program installed system-wide lies in a folder
// that root may well write to, so writability alone would fill /usr/bin when root starts it:
// the system's folders, and any folder of somebody else, are never ours. access(2) underneath
// the last test: a read-only mount counts as unwritable, also for root.
bool ownFolder(const QString &folder)
{
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (under(clean, QStringLiteral("/usr")) || under(clean, QStringLiteral("/opt")))
        return false;
    const QFileInfo info(clean);
    return info.isDir() && info.ownerId() == ::geteuid() && info.isWritable();
}

} // namespace

PictureHome::PictureHome()
{
    const QString program = Settings::programFolder();
    m_movedPictures = Settings::pictureFolder() == program;
    m_movedScratch = Settings::scratchFolder() == program;
    if ((!m_movedPictures && !m_movedScratch) || ownFolder(program)) {
        m_movedPictures = m_movedScratch = false;
        return;
    }
    m_movedTo = fallbackFolder();
    // A folder that cannot be made shows up as the job's first failed write, which says so.
    if (m_movedPictures) {
        QDir().mkpath(m_movedTo);
        Settings::setPictureFolder(m_movedTo);
    }
    // The scratch files are of no use once the job is over: the user's cache, not the pictures.
    if (m_movedScratch) {
        QDir().mkpath(scratchFallbackFolder());
        Settings::setScratchFolder(scratchFallbackFolder());
    }
}

PictureHome::~PictureHome()
{
    // Decided afresh by every job: the program folder may have become writable meanwhile.
    if (m_movedPictures)
        Settings::setPictureFolder(QString());
    if (m_movedScratch)
        Settings::setScratchFolder(QString());
}

QString PictureHome::scratchFallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/quillory");
}

QString PictureHome::fallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QStringLiteral("/Quillory");
}
