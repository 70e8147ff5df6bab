#include "cliwindow.h"

#include "resumerecord.h"

#include "foldername.h"
#include "settings.h"
#include "webenginebrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineView>

namespace {

QString oneField(QString text)
{
    for (QChar &ch : text) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7f)
            ch = u' ';
    }
    return text;
}

} // namespace

CliWindow::CliWindow(const CliOptions &options, Console &console)
    : m_options(options)
    , m_console(console)
{
    m_view = std::make_unique<QWebEngineView>();
    // The window's size, so that the pages lay out and scroll as they do there. A page that is
    // not shown gets no frames and so no scroll events, and a lazy gallery would never grow:
    // the view counts as shown but is never put on a screen.
    m_view->resize(297, 153);
    m_view->setAttribute(Qt::WA_DontShowOnScreen);
    m_view->show();
    m_browser = std::make_unique<WebEngineBrowser>(m_view.get());
    // Keeps the rate moving while an album renders.
    m_progressTimer.setInterval(1000);
    connect(&m_progressTimer, &QTimer::timeout, this, &CliWindow::showProgress);
}

CliWindow::~CliWindow()
{
    // The page (and its profile) before the view it belongs to.
    m_browser.reset();
    m_view.reset();
}

void CliWindow::beginBar(const QString &bar, const QString &barFolder)
{
    m_bar = bar;
    m_barFolder = QDir::cleanPath(barFolder);
    m_record.reset();
    if (!m_options.dryRun)
        m_record = std::make_unique<ResumeRecord>(m_barFolder);
    m_recordAsked = false;
    m_recordWarned = false;
    m_failures = FailureLists();
    m_counts = BarCounts();
    m_albumFolders.clear();
    m_reasons.clear();
    m_clock.start();
    if (m_console.showsProgress()) {
        m_progressTimer.start();
        showProgress();
    }
}

ResumeRecord::Access CliWindow::openRecord()
{
    if (!m_record)
        return ResumeRecord::Access::Unusable;
    const bool wasOpen = m_recordAsked;
    m_recordAsked = true;
    const ResumeRecord::Access access = m_record->open();
    if (!wasOpen && access == ResumeRecord::Access::Unusable)
        m_console.error(QStringLiteral("cannot use the resume record: ") + m_record->problem() +
                        QStringLiteral("; every picture is fetched and none recorded"));
    // Loading drops a torn last line by rewriting the record; when that fails the old one stays.
    if (!wasOpen && access == ResumeRecord::Access::Ready && !m_record->problem().isEmpty()) {
        m_recordWarned = true;
        m_console.error(QStringLiteral("cannot rewrite ") + m_record->journalPath() + QStringLiteral(" (") +
                        m_record->problem() + QStringLiteral("); the old one stays, and this run records nothing"));
    }
    return access;
}

ResumeRecord *CliWindow::record() const
{
    return m_record && m_record->isOpen() ? m_record.get() : nullptr;
}

void CliWindow::endBar()
{
    m_progressTimer.stop();
    m_console.clearProgress();
    if (m_record && m_record->isOpen() && !m_record->compact())
        m_console.error(QStringLiteral("cannot rewrite ") + m_record->journalPath() + QStringLiteral(" (") +
                        m_record->problem() + QStringLiteral("); the old one stays"));
    if (m_record)
        m_record->close();
}

const EarlierAlbumFolders *CliWindow::earlierAlbumFolders(const QString &barFolder)
{
    if (!m_record || QDir::cleanPath(barFolder) != m_barFolder)
        return nullptr;
    if (openRecord() == ResumeRecord::Access::Busy && m_onBusy)
        m_onBusy();
    return record();
}

void CliWindow::AppendLog(const QString &line)
{
    m_console.log(line);
}

BrowserAdapter &CliWindow::browser()
{
    return *m_browser;
}

bool CliWindow::pictureAlreadySaved(const QString &id, const QString &url, const QString &path)
{
    Q_UNUSED(url)
    return record() && !m_options.noSkip && m_record->holds(path, id);
}

void CliWindow::pictureDone(const PictureOutcome &outcome)
{
    switch (outcome.kind) {
    case PictureOutcome::Kind::Saved:
        ++m_counts.saved;
        landed(outcome);
        break;
    case PictureOutcome::Kind::Skipped:
        ++m_counts.skipped;
        break;
    case PictureOutcome::Kind::Failed:
        ++m_counts.failed;
        m_reasons.insert(outcome.path, outcome.reason);
        break;
    }
    showProgress();
}

void CliWindow::retried(const PictureOutcome &outcome)
{
    if (outcome.kind == PictureOutcome::Kind::Saved) {
        ++m_counts.saved;
        --m_counts.failed;
        m_reasons.remove(outcome.path);
        m_console.log(QStringLiteral("retry: saved ") + outcome.path);
        landed(outcome);
    } else {
        m_reasons.insert(outcome.path, outcome.reason);
        m_console.log(QStringLiteral("retry: failed ") + outcome.path + QStringLiteral(" (") + outcome.reason + u')');
    }
    showProgress();
}

// The file is in place before its line is written, so the record never claims more than the
// folder holds; and the line before the path is printed, so a path once printed is never
// fetched again, however the run ends.
void CliWindow::landed(const PictureOutcome &outcome)
{
    if (record()) {
        const qint64 size = outcome.bytes > 0 ? outcome.bytes : QFileInfo(outcome.path).size();
        if (!m_record->add(outcome.path, outcome.id, size))
            recordFailed();
    }
    m_console.out(outcome.path);
}

void CliWindow::recordFailed()
{
    if (m_recordWarned)
        return;
    m_recordWarned = true;
    m_console.error(QStringLiteral("cannot update the resume record in ") + m_barFolder + QStringLiteral(" (") +
                    m_record->problem() + QStringLiteral("); the next run fetches these pictures again"));
}

void CliWindow::albumHarvested(const AlbumReady &album)
{
    const int pictures = int(album.pictureIds.size());
    m_counts.albumNo = album.albumNo;
    m_counts.albums = album.albumCount;
    m_counts.pictures += pictures;
    m_albumFolders << QDir::cleanPath(album.folder);
    // The folder is this album's from now on, also for later runs; an album without pictures
    // gets no folder and so claims none.
    if (record() && pictures > 0 && !m_record->addFolder(album.folder, album.id))
        recordFailed();
    if (m_options.dryRun)
        m_console.out(QStringLiteral("%1\t%2\t%3").arg(album.albumNo).arg(oneField(album.title)).arg(pictures));
    showProgress();
}

void CliWindow::showProgress()
{
    if (!m_console.showsProgress())
        return;
    if (m_counts.albums == 0) {
        m_console.setProgress(m_bar + QStringLiteral("吧  listing albums"));
        return;
    }
    const double seconds = elapsedSeconds();
    const double rate = seconds > 0 ? m_counts.saved / seconds : 0;
    m_console.setProgress(QStringLiteral("%1吧  album %2/%3  saved %4  skipped %5  failed %6  %7 pictures/s")
                              .arg(m_bar)
                              .arg(m_counts.albumNo)
                              .arg(m_counts.albums)
                              .arg(m_counts.saved)
                              .arg(m_counts.skipped)
                              .arg(m_counts.failed)
                              .arg(rate, 0, 'f', 1));
}
