#include "job/pictures/pictureharvest.h"

#include "job/engine.h"
#include "job/jobstate.h"
#include "job/jobwindow.h"
#include "job/pictures/picturebatch.h"
#include "job/pictures/picturescan.h"
#include "job/records/barrecords.h"
#include "job/records/failurelists.h"
#include "job/render/albumrendering.h"
#include "job/scratchfiles.h"

#include "web/files/foldername.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

namespace {

void ensureFolder(const QString &folder)
{
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder);
}

QString lineFor(int AlbumPage, int ImageNo, PictureOutcome::Kind kind)
{
    const QString what = kind == PictureOutcome::Kind::Saved     ? QStringLiteral("下载成功！")
                         : kind == PictureOutcome::Kind::Skipped ? QStringLiteral("已保存过，跳过")
                                                                 : QStringLiteral("下载失败！");
    return QStringLiteral("第%1页,第%2张").arg(AlbumPage).arg(ImageNo) + what;
}

} // namespace

PictureHarvest::PictureHarvest(JobWindow &window, Engine &engine, const JobOptions &options,
                               const QString &scratchFolder)
    : m_window(window)
    , m_engine(engine)
    , m_options(options)
    , m_scratchFolder(scratchFolder)
{ }

PictureHarvest::~PictureHarvest() = default;

BarRecords *PictureHarvest::records() const
{
    return m_options.savesPictures ? m_window.records() : nullptr;
}

bool PictureHarvest::allDelivered() const
{
    return !m_batch || m_batch->allDelivered();
}

void PictureHarvest::start(JobState &state)
{
    const QList<std::optional<QString>> ids = picturesShown(state.AlbumHtml, state.AlbumShown);
    const QString AlbumFolder =
        state.AlbumFolder.isEmpty() ? state.BarFolder + u'/' + safeFolderName(state.AlbumTitle) : state.AlbumFolder;
    m_counts.albums = state.AlbumCount;
    m_counts.albumNo = state.AlbumIndex + 1;
    m_counts.pictures += int(ids.size());
    const AlbumReady ready{state.AlbumIndex + 1,
                           state.AlbumCount,
                           state.AlbumUrl,
                           albumIdFromUrl(state.AlbumUrl),
                           state.AlbumTitle,
                           AlbumFolder,
                           ids,
                           state.AlbumWhole,
                           state.BarName + QStringLiteral("吧")};
    const JobOptions &options = m_options;
    BarRecords *records = this->records();
    if (records)
        records->albumReady(ready);
    if (JobObserver *observer = m_window.observer())
        observer->albumReady(ready);
    if (!options.savesPictures)
        return;
    m_pictures.clear();
    m_batch =
        std::make_unique<PictureBatch>(m_engine.network().pictures(), [this](int index, const SaveOutcome &outcome) {
            report(m_pictures.at(index), outcome);
        });
    connect(m_batch.get(), &PictureBatch::delivered, this, &PictureHarvest::delivered);
    state.ImageNo = 0;
    QString lastQueued;
    for (const std::optional<QString> &ImageId : ids) {
        ++state.ImageNo;
        state.ImagePath = AlbumFolder + u'/' + QString::number(state.ImageNo) + QStringLiteral(".jpg");
        if (!ImageId) {
            // Nothing to fetch, but its failure is told with the place the picture would have.
            m_pictures.append(
                {state.ImageNo, state.AlbumPage, QString(), QString(), state.ImagePath, Picture::Source::Unfetchable});
            continue;
        }
        state.ImageUrl = pictureAddress(m_engine.hosts().image, *ImageId);
        if (lastQueued.isEmpty())
            ensureFolder(AlbumFolder);
        const bool skipped = options.skipsSavedPictures && records && records->holds(state.ImagePath, *ImageId);
        if (!skipped)
            lastQueued = state.ImageUrl;
        m_pictures.append({state.ImageNo, state.AlbumPage, *ImageId, state.ImageUrl, state.ImagePath,
                           skipped ? Picture::Source::Skipped : Picture::Source::Fetched});
    }
    // Every picture is queued in one go, with no event handled in between, so the folder test
    // and the scratch file's address, which would be repeated for each picture, are done once:
    // what is left afterwards is the same.
    if (!lastQueued.isEmpty())
        ScratchFile::write(m_scratchFolder, QStringLiteral("cs.txt"), lastQueued);
    for (const Picture &picture : std::as_const(m_pictures)) {
        if (picture.source == Picture::Source::Fetched)
            m_batch->add(picture.ImageUrl, picture.ImagePath);
        else if (picture.source == Picture::Source::Skipped)
            m_batch->addKnown(SaveOutcome{});
        else
            m_batch->addKnown(SaveOutcome{0, QStringLiteral("图片标识无效")});
    }
}

void PictureHarvest::report(const Picture &picture, const SaveOutcome &outcome)
{
    PictureOutcome done;
    done.kind = picture.source == Picture::Source::Skipped ? PictureOutcome::Kind::Skipped
                : outcome.saved()                          ? PictureOutcome::Kind::Saved
                                                           : PictureOutcome::Kind::Failed;
    done.url = picture.ImageUrl;
    done.path = picture.ImagePath;
    done.reason = outcome.reason;
    done.bytes = outcome.bytes;
    done.id = picture.ImageId;
    done.number = picture.ImageNo;
    (done.kind == PictureOutcome::Kind::Saved     ? m_counts.saved
     : done.kind == PictureOutcome::Kind::Skipped ? m_counts.skipped
                                                  : m_counts.failed)++;
    if (done.kind == PictureOutcome::Kind::Failed && picture.source == Picture::Source::Fetched)
        m_window.failures().append(picture.ImageUrl, picture.ImagePath);
    if (BarRecords *records = this->records())
        records->pictureFinished(done);
    if (JobObserver *observer = m_window.observer())
        observer->pictureFinished(done);
    QString line = lineFor(picture.AlbumPage, picture.ImageNo, done.kind);
    if (done.kind == PictureOutcome::Kind::Failed && m_options.explainsFailures)
        line += QStringLiteral("（") + done.reason + QStringLiteral("）");
    m_window.AppendLog(line);
    m_window.ShowLastLogLine();
}
