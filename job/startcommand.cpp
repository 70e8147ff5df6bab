#include "startcommand.h"

#include "albumrender.h"
#include "harvest.h"
#include "jobwindow.h"
#include "listpagescan.h"
#include "scratchfile.h"

#include "fetch.h"
#include "foldername.h"
#include "settings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {

QString barFolderFor(const QString &BarName)
{
    return Settings::pictureFolder() + u'/' + safeFolderName(BarName + QStringLiteral("吧"));
}

} // namespace

StartCommand::StartCommand(JobWindow &window)
    : m_window(window)
{
}

JobSummary StartCommand::run()
{
    if (m_window.barName().isEmpty())
        m_window.showNameMissing();
    openScratchFile();
    discoverAlbums();
    if (!prepareBarFolder()) {
        // The albums have nowhere to go; saying they were all downloaded would be untrue.
        m_scratch.close();
        m_window.ShowLastLogLine();
        m_summary.end = JobSummary::End::NoBarFolder;
        return m_summary;
    }
    processAlbums();
    complete();
    return m_summary;
}

void StartCommand::openScratchFile()
{
    m_scratch.setFileName(ScratchFile::path(QStringLiteral("1.txt")));
    if (!m_scratch.open(QIODevice::WriteOnly | QIODevice::Truncate))
        m_window.AppendLog(QStringLiteral("无法创建文件：") + m_scratch.fileName());
}

void StartCommand::discoverAlbums()
{
    JobState &s = m_state;
    // The name travels as a query value: "&", "#", "+" and "%" must not end or change it.
    s.ListUrl = QStringLiteral("http://") + Settings::forumHost() + QStringLiteral("/photo/g?kw=") +
                QString::fromLatin1(QUrl::toPercentEncoding(m_window.barName()));
    s.PageCount = 1;
    m_window.AppendLog(QStringLiteral("开始获取相册地址！"));
    for (s.ListPage = 1; s.ListPage <= s.PageCount; ++s.ListPage) {
        const QString pageUrl = s.ListUrl + QStringLiteral("&pn=") + QString::number(s.ListPage);
        const FetchResult page = GetBody(pageUrl, Settings::timings().pageLimitSeconds);
        if (s.ListPage == 1 && !page.hasBytes())
            m_summary.end = JobSummary::End::ListUnreachable;
        s.ListHtml = BytesToBstr(page, QStringLiteral("gb2312"));
        const ListPageScan scan = scanListPage(s.ListHtml, Settings::forumHost(), s.PageCount);
        s.AlbumUrls += scan.albumUrls;
        s.PageCount = scan.pageCount;
    }
    s.AlbumList = s.AlbumUrls.isEmpty() ? QStringList() : s.AlbumUrls.split(QStringLiteral("\r\n"));
    s.AlbumCount = int(std::max<qsizetype>(s.AlbumList.size() - 1, 0));
    m_summary.albums = s.AlbumCount;
}

bool StartCommand::prepareBarFolder()
{
    JobState &s = m_state;
    const QString BarName = m_window.barName();
    s.BarFolder = barFolderFor(BarName);
    if (s.AlbumCount > 0 && !QFileInfo::exists(s.BarFolder))
        QDir().mkdir(s.BarFolder);
    m_window.AppendLog(QStringLiteral("获取相册地址完成！") + BarName + QStringLiteral("吧共有") +
                       QString::number(s.AlbumCount) + QStringLiteral("个相册"));
    if (s.AlbumCount > 0 && !QFileInfo(s.BarFolder).isDir()) {
        m_window.AppendLog(QStringLiteral("无法创建文件夹：") + s.BarFolder + QStringLiteral("，下载已停止"));
        return false;
    }
    return true;
}

void StartCommand::processAlbums()
{
    JobState &s = m_state;
    for (s.AlbumIndex = 0; s.AlbumIndex < s.AlbumCount; ++s.AlbumIndex) {
        s.AlbumUrl = s.AlbumList.at(s.AlbumIndex);
        s.AlbumPage = 1;
        renderAlbum(s, m_window);
        harvestAlbum(s, m_window);
    }
}

void StartCommand::complete()
{
    m_scratch.close();
    m_summary.saved = m_state.PicturesSaved;
    m_summary.skipped = m_state.PicturesSkipped;
    m_summary.failed = m_state.PicturesFailed;
    m_window.AppendLog(QStringLiteral("所有相册下载完毕！"));
    m_window.ShowLastLogLine();
}
