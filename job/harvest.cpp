#include "harvest.h"

#include "failurelists.h"
#include "jobstate.h"
#include "jobwindow.h"
#include "picturescan.h"
#include "scratchfile.h"

#include "foldername.h"
#include "savejpg.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>

namespace {

// An identifier with a line break would split the failure lists' entries and shift the
// pairing of every later URL with its path; no identifier of a real picture holds one.
bool fetchableId(const QString &id)
{
    return std::none_of(id.begin(), id.end(), [](QChar ch) { return ch.unicode() < 0x20 || ch.unicode() == 0x7f; });
}

void ensureFolder(const QString &folder)
{
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder);
}

void logOutcome(JobState &state, JobWindow &window, bool saved)
{
    state.PicturesFailed += saved ? 0 : 1;
    window.AppendLog(QStringLiteral("第%1页,第%2张%3")
                         .arg(state.AlbumPage)
                         .arg(state.ImageNo)
                         .arg(saved ? QStringLiteral("下载成功！") : QStringLiteral("下载失败！")));
}

bool savePicture(JobState &state, JobWindow &window, const QString &ImageId)
{
    if (!fetchableId(ImageId))
        return false;
    if (SaveJpg(state.ImageUrl, state.ImagePath) != 0)
        return true;
    FailureLists &lists = window.failures();
    lists.FailedUrls += state.ImageUrl + QStringLiteral("\r\n");
    lists.FailedPaths += state.ImagePath + QStringLiteral("\r\n");
    return false;
}

} // namespace

void harvestAlbum(JobState &state, JobWindow &window)
{
    const QString AlbumFolder = state.AlbumFolder;
    state.ImageNo = 0;
    for (const QString &ImageId : scanPictureIds(state.AlbumHtml)) {
        ++state.ImageNo;
        state.ImageUrl = QStringLiteral("http://") + Settings::imageHost() + QStringLiteral("/forum/pic/item/") +
                         ImageId + QStringLiteral(".jpg");
        state.ImagePath = AlbumFolder + u'/' + QString::number(state.ImageNo) + QStringLiteral(".jpg");
        ensureFolder(AlbumFolder);
        ScratchFile::write(QStringLiteral("cs.txt"), state.ImageUrl);
        logOutcome(state, window, savePicture(state, window, ImageId));
        window.ShowLastLogLine();
    }
}
