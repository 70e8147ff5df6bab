#include "app/picturehome.h"

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

PictureHome::PictureHome(const Folders &folders)
    : m_folders(folders)
{
    const QString program = folders.programFolder();
    m_movedPictures = folders.pictureFolder() == program;
    const bool movedScratch = folders.scratchFolder() == program;
    if ((!m_movedPictures && !movedScratch) || ownFolder(program)) {
        m_movedPictures = false;
        return;
    }
    // A folder that cannot be made shows up as the job's first failed write, which says so.
    if (m_movedPictures) {
        m_folders.pictures = fallbackFolder();
        QDir().mkpath(m_folders.pictures);
    }
    // The scratch files are of no use once the job is over: the user's cache, not the pictures.
    if (movedScratch) {
        m_folders.scratch = scratchFallbackFolder();
        QDir().mkpath(m_folders.scratch);
    }
}

QString PictureHome::scratchFallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/quillory");
}

QString PictureHome::fallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QStringLiteral("/Quillory");
}
