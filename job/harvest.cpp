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

void ensureFolder(const QString &folder)
{
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder);
}

void logOutcome(JobState &state, JobWindow &window, bool saved)
{
    window.AppendLog(QStringLiteral("第%1页,第%2张%3")
                         .arg(state.AlbumPage)
                         .arg(state.ImageNo)
                         .arg(saved ? QStringLiteral("下载成功！") : QStringLiteral("下载失败！")));
}

bool savePicture(JobState &state, JobWindow &window)
{
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
    const QString AlbumFolder = state.BarFolder + u'/' + safeFolderName(state.AlbumTitle);
    state.ImageNo = 0;
    for (const std::optional<QString> &ImageId : scanPictureIds(state.AlbumHtml)) {
        ++state.ImageNo;
        // An identifier the scan does not hand out has no address: a failed picture, but not one
        // for the failure lists (a line break in it would split their entries in two, and the
        // Retry command could not fetch it either).
        if (!ImageId) {
            logOutcome(state, window, false);
            window.ShowLastLogLine();
            continue;
        }
        state.ImageUrl = QStringLiteral("http://") + Settings::imageHost() + QStringLiteral("/forum/pic/item/") +
                         *ImageId + QStringLiteral(".jpg");
        state.ImagePath = AlbumFolder + u'/' + QString::number(state.ImageNo) + QStringLiteral(".jpg");
        ensureFolder(AlbumFolder);
        ScratchFile::write(QStringLiteral("cs.txt"), state.ImageUrl);
        logOutcome(state, window, savePicture(state, window));
        window.ShowLastLogLine();
    }
}
