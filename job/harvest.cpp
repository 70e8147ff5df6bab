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

void logOutcome(JobState &state, JobWindow &window, const PictureOutcome &outcome)
{
    window.pictureDone(outcome);
    QString what;
    switch (outcome.kind) {
    case PictureOutcome::Kind::Saved:
        what = QStringLiteral("下载成功！");
        break;
    case PictureOutcome::Kind::Skipped:
        // Only a front end that keeps a record of earlier runs skips; the window never does.
        what = QStringLiteral("已保存过，跳过");
        break;
    case PictureOutcome::Kind::Failed:
        what = QStringLiteral("下载失败！");
        if (window.explainsFailures() && !outcome.reason.isEmpty())
            what += QStringLiteral("（") + outcome.reason + QStringLiteral("）");
        break;
    }
    window.AppendLog(QStringLiteral("第%1页,第%2张").arg(state.AlbumPage).arg(state.ImageNo) + what);
}

PictureOutcome savePicture(JobState &state, JobWindow &window, const QString &ImageId)
{
    PictureOutcome outcome;
    outcome.url = state.ImageUrl;
    outcome.path = state.ImagePath;
    if (!fetchableId(ImageId)) {
        outcome.reason = QStringLiteral("图片标识含控制字符");
        ++state.PicturesFailed;
        return outcome;
    }
    const SavedPicture saved = saveJpgWithReason(state.ImageUrl, state.ImagePath);
    outcome.bytes = saved.bytes;
    if (saved.result() != 0) {
        outcome.kind = PictureOutcome::Kind::Saved;
        ++state.PicturesSaved;
        return outcome;
    }
    outcome.reason = saved.reason;
    ++state.PicturesFailed;
    FailureLists &lists = window.failures();
    lists.FailedUrls += state.ImageUrl + QStringLiteral("\r\n");
    lists.FailedPaths += state.ImagePath + QStringLiteral("\r\n");
    return outcome;
}

PictureOutcome skippedPicture(JobState &state)
{
    PictureOutcome outcome;
    outcome.kind = PictureOutcome::Kind::Skipped;
    outcome.url = state.ImageUrl;
    outcome.path = state.ImagePath;
    ++state.PicturesSkipped;
    return outcome;
}

} // namespace

void harvestAlbum(JobState &state, JobWindow &window)
{
    const QString AlbumFolder = state.BarFolder + u'/' + safeFolderName(state.AlbumTitle);
    const QStringList ImageIds = scanPictureIds(state.AlbumHtml);
    window.albumHarvested(state.AlbumIndex + 1, state.AlbumCount, state.AlbumTitle, int(ImageIds.size()));
    if (!window.savesPictures())
        return;
    state.ImageNo = 0;
    for (const QString &ImageId : ImageIds) {
        ++state.ImageNo;
        state.ImageUrl = QStringLiteral("http://") + Settings::imageHost() + QStringLiteral("/forum/pic/item/") +
                         ImageId + QStringLiteral(".jpg");
        state.ImagePath = AlbumFolder + u'/' + QString::number(state.ImageNo) + QStringLiteral(".jpg");
        ensureFolder(AlbumFolder);
        if (window.pictureAlreadySaved(state.ImageUrl, state.ImagePath)) {
            logOutcome(state, window, skippedPicture(state));
        } else {
            ScratchFile::write(QStringLiteral("cs.txt"), state.ImageUrl);
            logOutcome(state, window, savePicture(state, window, ImageId));
        }
        window.ShowLastLogLine();
    }
}
