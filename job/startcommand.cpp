#include "job/startcommand.h"

#include "job/albums/listpagescan.h"
#include "job/engine.h"
#include "job/jobwindow.h"
#include "job/pictures/pictureharvest.h"
#include "job/pictures/picturescan.h"
#include "job/records/barrecords.h"
#include "job/render/albumpages.h"
#include "job/render/albumrendering.h"
#include "job/scratchfiles.h"

#include "web/network/bytestobstr.h"
#include "web/network/hostholds.h"
#include "web/network/pagefetch.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

JobRequest JobRequest::now(Engine &engine, const QString &barName, PageSource &pages, const JobOptions &options)
{
    JobRequest request;
    request.barName = barName;
    request.pictureFolder = engine.folders().pictureFolder();
    request.scratchFolder = engine.folders().scratchFolder();
    request.options = options;
    request.choices = engine.choices();
    request.pages = &pages;
    request.engine = &engine;
    return request;
}

StartCommand::StartCommand(JobWindow &window, const JobRequest &request, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_request(request)
    , m_engine(*request.engine)
{ }

StartCommand::~StartCommand() = default;

void StartCommand::start()
{
    if (m_request.barName.isEmpty()) {
        // A bar without a name has no album list to fetch.
        m_summary.end = JobSummary::End::NoName;
        QTimer::singleShot(0, this, &StartCommand::ended);
        return;
    }
    // A host given up in an earlier job is asked again.
    m_engine.network().holds().forgetGivenUp();
    m_holdNotice.emplace(m_window, m_engine.network().holds());
    for (const QString &complaint : m_request.complaints)
        m_window.AppendLog(complaint);
    openScratchFile();
    JobState &s = m_state;
    // The name travels as a query value: "&", "#", "+" and "%" must not end or change it.
    s.ListUrl = QStringLiteral("http://") + m_engine.hosts().forum + QStringLiteral("/photo/g?kw=") +
                QString::fromLatin1(QUrl::toPercentEncoding(m_request.barName));
    s.PageCount = 1;
    s.ListPage = 1;
    m_window.AppendLog(QStringLiteral("开始获取相册地址！"));
    fetchListPage();
}

BarRecords *StartCommand::records() const
{
    // A run that only counts records nothing, nor reads what was recorded.
    return m_request.options.savesPictures ? m_window.records() : nullptr;
}

void StartCommand::ended()
{
    m_finished = true;
    m_holdNotice.reset();
    if (JobObserver *observer = m_window.observer())
        observer->jobEnded(m_summary);
    emit finished(m_summary);
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
    if (!m_request.options.savesPictures)
        return;
    m_scratch.setFileName(ScratchFile::path(m_request.scratchFolder, QStringLiteral("1.txt")));
    if (!m_scratch.open(QIODevice::WriteOnly | QIODevice::Truncate))
        m_window.AppendLog(QStringLiteral("无法创建文件：") + m_scratch.fileName());
}

void StartCommand::fetchListPage()
{
    const QString pageUrl = m_state.ListUrl + QStringLiteral("&pn=") + QString::number(m_state.ListPage);
    GetBody(m_engine.network(), pageUrl, m_engine.timings().pageLimitSeconds, this,
            [this, pageUrl](const FetchResult &page) { listPageFetched(pageUrl, page); });
}

void StartCommand::listPageFetched(const QString &pageUrl, const FetchResult &page)
{
    JobState &s = m_state;
    if (!page.hasBytes()) {
        m_window.AppendLog(QStringLiteral("获取相册列表失败：") + QUrl(pageUrl).toDisplayString() +
                           QStringLiteral("（") + page.reason + QStringLiteral("）"));
        // The first page brought no answer: the bar's albums are unknown, and reporting an
        // unreachable list as a bar without albums would be untrue.
        if (s.ListPage == 1) {
            end(JobSummary::End::ListUnreachable);
            return ended();
        }
    }
    s.ListHtml = BytesToBstr(page, QStringLiteral("gb2312"));
    const ListPageScan scan = scanListPage(s.ListHtml, m_engine.hosts().forum, s.PageCount);
    s.AlbumUrls += scan.albumUrls;
    s.PageCount = scan.pageCount;
    if (++s.ListPage <= s.PageCount)
        return fetchListPage();
    albumsDiscovered();
}

void StartCommand::albumsDiscovered()
{
    JobState &s = m_state;
    s.AlbumList = s.AlbumUrls.isEmpty() ? QStringList() : s.AlbumUrls.split(QStringLiteral("\r\n"));
    s.AlbumCount = int(std::max<qsizetype>(s.AlbumList.size() - 1, 0));
    m_summary.albums = s.AlbumCount;
    if (!prepareBarFolder()) {
        // The albums have nowhere to go; saying they were all downloaded would be untrue.
        end(JobSummary::End::NoBarFolder);
        return ended();
    }
    if (BarRecords *records = this->records(); records && s.AlbumCount > 0)
        m_albumFolders.setEarlier(records->earlierAlbumFolders(s.BarFolder));
    processAlbums();
}

bool StartCommand::prepareBarFolder()
{
    JobState &s = m_state;
    const QString &BarName = m_request.barName;
    s.BarName = BarName;
    s.BarFolder = BarRecords::barFolder(m_request.pictureFolder, BarName);
    const bool saves = m_request.options.savesPictures;
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

// Each album's pictures download while the next albums' pages load and settle; its line waits
// for the last picture line of the album before it.
void StartCommand::processAlbums()
{
    JobState &s = m_state;
    m_harvest = std::make_unique<PictureHarvest>(m_window, m_engine, m_request.options, m_request.scratchFolder);
    // Not from inside the picture's own line: the next album replaces the pictures just done.
    connect(m_harvest.get(), &PictureHarvest::delivered, this, &StartCommand::advance, Qt::QueuedConnection);
    BarRecords *records = m_request.options.passesOverFinishedAlbums ? this->records() : nullptr;
    m_pages = std::make_unique<AlbumPages>(m_window, *m_request.pages, m_engine, m_request.choices,
                                           s.AlbumList.mid(0, s.AlbumCount),
                                           [records, barFolder = s.BarFolder](const QString &albumId, const QString &) {
                                               return !records || !records->finished(barFolder, albumId);
                                           });
    connect(m_pages.get(), &AlbumPages::ready, this, &StartCommand::albumReady);
    s.AlbumIndex = 0;
    if (s.AlbumCount > 0)
        m_pages->await(0);
    advance();
}

void StartCommand::albumReady(int index)
{
    if (index != m_state.AlbumIndex || m_renderReady)
        return;
    m_render = m_pages->take(index);
    m_renderReady = true;
    advance();
}

// Goes on as far as the pages and pictures allow.
void StartCommand::advance()
{
    JobState &s = m_state;
    while (!m_finished) {
        if (s.AlbumIndex >= s.AlbumCount) {
            if (!m_harvest->allDelivered())
                return;
            const JobSummary &counts = m_harvest->counts();
            m_summary.albumNo = counts.albumNo;
            m_summary.pictures = counts.pictures;
            m_summary.saved = counts.saved;
            m_summary.skipped = counts.skipped;
            m_summary.failed = counts.failed;
            complete();
            return ended();
        }
        if (!m_renderReady)
            return;
        if (m_render) {
            if (!m_harvest->allDelivered())
                return;
            harvestAlbum();
        } else {
            ++m_summary.passedOver;
        }
        nextAlbum();
    }
}

void StartCommand::harvestAlbum()
{
    JobState &s = m_state;
    const AlbumRendering &render = *m_render;
    s.AlbumUrl = s.AlbumList.at(s.AlbumIndex);
    s.AlbumPage = 1;
    // A page read before it settled that showed no picture lost the whole album.
    if (!render.failure().isEmpty() || (!render.whole() && picturesShown(render.markup(), render.shown()).isEmpty()))
        ++m_summary.failedAlbums;
    s.AlbumHtml = render.markup();
    s.AlbumWhole = render.whole();
    s.AlbumShown = render.shown();
    if (m_request.options.savesPictures)
        ScratchFile::write(m_request.scratchFolder, QStringLiteral("cs.txt"), s.AlbumHtml);
    s.AlbumTitle = albumTitle(s.AlbumHtml, s.AlbumShown, s.AlbumUrl);
    s.AlbumFolder = s.BarFolder + u'/' + m_albumFolders.claim(s.AlbumTitle, albumIdFromUrl(s.AlbumUrl));
    // A page that settled ahead of its turn tells of it after the album before it is done.
    m_render->speakTo(m_window);
    logAlbumLine(s, m_window);
    m_harvest->start(s);
}

void StartCommand::nextAlbum()
{
    m_render.reset();
    m_renderReady = false;
    if (++m_state.AlbumIndex < m_state.AlbumCount)
        m_pages->await(m_state.AlbumIndex);
}

void StartCommand::complete()
{
    m_scratch.close();
    m_window.AppendLog(QStringLiteral("所有相册下载完毕！"));
    if (m_summary.failedAlbums > 0)
        m_window.AppendLog(QStringLiteral("其中%1个相册的页面没有载入，未能下载").arg(m_summary.failedAlbums));
    if (m_summary.failed > 0 && m_request.options.hasRetryButton)
        m_window.AppendLog(
            QStringLiteral("其中%1张图片下载失败，可按“重新下载保存失败的文件”重试").arg(m_summary.failed));
    m_window.ShowLastLogLine();
}
