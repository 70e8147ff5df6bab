#include "picturehome.h"

#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// access(2) underneath: a read-only mount counts as unwritable, also for root.
bool writable(const QString &folder)
{
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

} // namespace

PictureHome::PictureHome()
{
    const QString program = Settings::programFolder();
    m_movedPictures = Settings::pictureFolder() == program;
    m_movedScratch = Settings::scratchFolder() == program;
    if ((!m_movedPictures && !m_movedScratch) || writable(program)) {
        m_movedPictures = m_movedScratch = false;
        return;
    }
    m_movedTo = fallbackFolder();
    // A folder that cannot be made shows up as the job's first failed write, which says so.
    QDir().mkpath(m_movedTo);
    if (m_movedPictures)
        Settings::setPictureFolder(m_movedTo);
    if (m_movedScratch)
        Settings::setScratchFolder(m_movedTo);
}

PictureHome::~PictureHome()
{
    // Decided afresh by every job: the program folder may have become writable meanwhile.
    if (m_movedPictures)
        Settings::setPictureFolder(QString());
    if (m_movedScratch)
        Settings::setScratchFolder(QString());
}

QString PictureHome::fallbackFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + QStringLiteral("/Quillory");
}
