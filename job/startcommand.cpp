#include "job/startcommand.h"

#include "job/albums/listpagescan.h"
#include "job/hosts.h"
#include "job/jobwindow.h"
#include "job/pictures/pictureharvest.h"
#include "job/pictures/picturescan.h"
#include "job/records/barrecords.h"
#include "job/render/albumpages.h"
#include "job/render/albumrendering.h"
#include "job/restnotice.h"
#include "job/scratchfiles.h"
#include "job/settingsfile.h"

#include "web/fetch.h"
#include "web/folders.h"
#include "web/limits.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

StartCommand::StartCommand(JobWindow &window)
    : m_window(window)
{ }

JobSummary StartCommand::run()
{
    if (m_window.barName().isEmpty()) {
        m_window.showNameMissing();
        // A bar without a name has no album list to fetch.
        m_summary.end = JobSummary::End::NoName;
        return ended();
    }
    // A host given up in an earlier job is asked again.
    HostHolds::shared().forgetGivenUp();
    const HoldNotice holdNotice(m_window);
    for (const QString &complaint : Choices::takeComplaints())
        m_window.AppendLog(complaint);
    openScratchFile();
    if (!discoverAlbums()) {
        // Reporting an unreachable list as a bar without albums would be untrue.
        end(JobSummary::End::ListUnreachable);
        return ended();
    }
    if (!prepareBarFolder()) {
        // The albums have nowhere to go; saying they were all downloaded would be untrue.
        end(JobSummary::End::NoBarFolder);
        return ended();
    }
    if (BarRecords *records = this->records(); records && m_state.AlbumCount > 0)
        m_albumFolders.setEarlier(records->earlierAlbumFolders(m_state.BarFolder));
    processAlbums();
    complete();
    return ended();
}

BarRecords *StartCommand::records() const
{
    // A run that only counts records nothing, nor reads what was recorded.
    return m_window.options().savesPictures ? m_window.records() : nullptr;
}

JobSummary StartCommand::ended()
{
    if (JobObserver *observer = m_window.observer())
        observer->jobEnded(m_summary);
    return m_summary;
}

void StartCommand::end(JobSummary::End how)
{
    m_scratch.close();
    m_window.ShowLastLogLine();
    m_summary.end = how;
}

void StartCommand::openScratchFile()
{
    // A run that only counts leaves nothing behind.
    if (!m_window.options().savesPictures)
        return;
    m_scratch.setFileName(ScratchFile::path(QStringLiteral("1.txt")));
    if (!m_scratch.open(QIODevice::WriteOnly | QIODevice::Truncate))
        m_window.AppendLog(QStringLiteral("无法创建文件：") + m_scratch.fileName());
}

// False when the first list page brought no answer: the bar's albums are then unknown.
bool StartCommand::discoverAlbums()
{
    JobState &s = m_state;
    // The name travels as a query value: "&", "#", "+" and "%" must not end or change it.
    s.ListUrl = QStringLiteral("http://") + Hosts::forumHost() + QStringLiteral("/photo/g?kw=") +
                QString::fromLatin1(QUrl::toPercentEncoding(m_window.barName()));
    s.PageCount = 1;
    m_window.AppendLog(QStringLiteral("开始获取相册地址！"));
    for (s.ListPage = 1; s.ListPage <= s.PageCount; ++s.ListPage) {
        const QString pageUrl = s.ListUrl + QStringLiteral("&pn=") + QString::number(s.ListPage);
        const FetchResult page = GetBody(pageUrl, Settings::timings().pageLimitSeconds);
        if (!page.hasBytes()) {
            m_window.AppendLog(QStringLiteral("获取相册列表失败：") + QUrl(pageUrl).toDisplayString() +
                               QStringLiteral("（") + page.reason + QStringLiteral("）"));
            if (s.ListPage == 1)
                return false;
        }
        s.ListHtml = BytesToBstr(page, QStringLiteral("gb2312"));
        const ListPageScan scan = scanListPage(s.ListHtml, Hosts::forumHost(), s.PageCount);
        s.AlbumUrls += scan.albumUrls;
        s.PageCount = scan.pageCount;
    }
    s.AlbumList = s.AlbumUrls.isEmpty() ? QStringList() : s.AlbumUrls.split(QStringLiteral("\r\n"));
    s.AlbumCount = int(std::max<qsizetype>(s.AlbumList.size() - 1, 0));
    m_summary.albums = s.AlbumCount;
    return true;
}

bool StartCommand::prepareBarFolder()
{
    JobState &s = m_state;
    const QString BarName = m_window.barName();
    s.BarName = BarName;
    s.BarFolder = BarRecords::barFolder(Settings::pictureFolder(), BarName);
    const bool saves = m_window.options().savesPictures;
    if (saves && s.AlbumCount > 0 && !QFileInfo::exists(s.BarFolder))
        QDir().mkdir(s.BarFolder);
    m_window.AppendLog(QStringLiteral("获取相册地址完成！") + BarName + QStringLiteral("吧共有") +
                       QString::number(s.AlbumCount) + QStringLiteral("个相册"));
    if (saves && s.AlbumCount > 0 && !QFileInfo(s.BarFolder).isDir()) {
        m_window.AppendLog(QStringLiteral("无法创建文件夹：") + s.BarFolder + QStringLiteral("，下载已停止"));
        return false;
    }
    return true;
}

void StartCommand::processAlbums()
{
    JobState &s = m_state;
    // Each album's pictures download while the next albums' pages load and settle; its line
    // waits for the last picture line of the album before it.
    PictureHarvest harvest(m_window);
    BarRecords *records = m_window.options().passesOverFinishedAlbums ? this->records() : nullptr;
    AlbumPages pages(m_window, s.AlbumList.mid(0, s.AlbumCount),
                     [records, &s](const QString &albumId, const QString &) {
                         return !records || !records->finished(s.BarFolder, albumId);
                     });
    for (s.AlbumIndex = 0; s.AlbumIndex < s.AlbumCount; ++s.AlbumIndex) {
        s.AlbumUrl = s.AlbumList.at(s.AlbumIndex);
        s.AlbumPage = 1;
        const std::unique_ptr<AlbumRendering> render = pages.take(s.AlbumIndex);
        if (pages.interrupted())
            break;
        if (!render) {
            ++m_summary.passedOver;
            continue;
        }
        // A page read before it settled that showed no picture lost the whole album.
        if (!render->failure().isEmpty() ||
            (!render->whole() && picturesShown(render->markup(), render->shown()).isEmpty()))
            ++m_summary.failedAlbums;
        s.AlbumHtml = render->markup();
        s.AlbumWhole = render->whole();
        s.AlbumShown = render->shown();
        if (m_window.options().savesPictures)
            ScratchFile::write(QStringLiteral("cs.txt"), s.AlbumHtml);
        s.AlbumTitle = albumTitle(s.AlbumHtml, s.AlbumShown, s.AlbumUrl);
        s.AlbumFolder = s.BarFolder + u'/' + m_albumFolders.claim(s.AlbumTitle, albumIdFromUrl(s.AlbumUrl));
        harvest.finish();
        // A page that settled ahead of its turn tells of it after the album before it is done.
        render->speakTo(m_window);
        logAlbumLine(s, m_window);
        harvest.start(s);
    }
    harvest.finish();
    const JobSummary &counts = harvest.counts();
    m_summary.albumNo = counts.albumNo;
    m_summary.pictures = counts.pictures;
    m_summary.saved = counts.saved;
    m_summary.skipped = counts.skipped;
    m_summary.failed = counts.failed;
}

void StartCommand::complete()
{
    m_scratch.close();
    m_window.AppendLog(QStringLiteral("所有相册下载完毕！"));
    if (m_summary.failedAlbums > 0)
        m_window.AppendLog(QStringLiteral("其中%1个相册的页面没有载入，未能下载").arg(m_summary.failedAlbums));
    if (m_summary.failed > 0 && m_window.options().hasRetryButton)
        m_window.AppendLog(
            QStringLiteral("其中%1张图片下载失败，可按“重新下载保存失败的文件”重试").arg(m_summary.failed));
    m_window.ShowLastLogLine();
}
