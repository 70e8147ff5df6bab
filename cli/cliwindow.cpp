#include "cli/cliwindow.h"

#include "cli/clitext.h"

#include "job/engine.h"
#include "job/pictures/picturescan.h"

#include "web/engine/enginepages.h"
#include "web/engine/webenginebrowser.h"

#include <QDir>
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

CliWindow::CliWindow(Engine &engine, const CliOptions &options, Console &console)
    : m_engine(engine)
    , m_options(options)
    , m_console(console)
    , m_pages(JobChoices::mostPages, [this](int index) -> BrowserAdapter & { return m_browsers->page(index); })
    , m_records(engine.hosts(), options.metadata && !options.savesNothing() ? BarRecords::AlbumFiles::Written
                                                                            : BarRecords::AlbumFiles::None)
{
    m_browsers = std::make_unique<EnginePages>(engine.timings(), engine.health());
    m_records.setOnProblem([this](BarRecords::Problem problem, const QString &path, const QString &reason) {
        recordProblem(problem, path, reason);
    });
    // Keeps the clocks moving while an album renders.
    m_progressTimer.setInterval(1000);
    connect(&m_progressTimer, &QTimer::timeout, this, &CliWindow::showProgress);
}

CliWindow::~CliWindow()
{
    m_browsers.reset();
}

void CliWindow::beginBar(const QString &bar, const QString &barFolder)
{
    m_bar = bar;
    m_progressLine.begin(bar);
    m_barFolder = QDir::cleanPath(barFolder);
    m_failures = FailureLists();
    m_counts = JobSummary();
    m_clock.start();
    if (m_console.showsProgress()) {
        m_progressTimer.start();
        showProgress();
    }
}

JobOptions CliWindow::options() const
{
    JobOptions options;
    options.savesPictures = !m_options.savesNothing();
    options.explainsFailures = true;
    options.hasRetryButton = false;
    options.skipsSavedPictures = !m_options.noSkip;
    options.passesOverFinishedAlbums = m_options.update;
    return options;
}

void CliWindow::recordProblem(BarRecords::Problem problem, const QString &path, const QString &reason)
{
    switch (problem) {
    case BarRecords::Problem::Unusable:
        m_console.error(
            Cli::tr("cannot use the resume record: %1; every picture is fetched and none recorded").arg(reason));
        break;
    case BarRecords::Problem::OldKept:
        m_console.error(
            Cli::tr("cannot rewrite %1 (%2); the old one stays, and this run records nothing").arg(path, reason));
        break;
    case BarRecords::Problem::NotUpdated:
        m_console.error(Cli::tr("cannot update the resume record in %1 (%2); the next run fetches these pictures again")
                            .arg(path, reason));
        break;
    case BarRecords::Problem::NotCompacted:
        m_console.error(Cli::tr("cannot rewrite %1 (%2); the old one stays").arg(path, reason));
        break;
    case BarRecords::Problem::AlbumFileNotWritten:
        m_console.error(Cli::tr("cannot write %1: %2").arg(path, reason));
        break;
    }
}

void CliWindow::endBar()
{
    m_progressTimer.stop();
    m_console.clearProgress();
    m_records.release();
}

void CliWindow::AppendLog(const QString &line)
{
    m_progressLine.heardLog(line);
    m_console.log(line);
}

void CliWindow::pictureFinished(const PictureOutcome &outcome)
{
    switch (outcome.kind) {
    case PictureOutcome::Kind::Saved:
        ++m_counts.saved;
        // The records heard of it first, so a path once printed is never fetched again, however
        // the run ends.
        m_console.out(outcome.path);
        break;
    case PictureOutcome::Kind::Skipped:
        ++m_counts.skipped;
        break;
    case PictureOutcome::Kind::Failed:
        ++m_counts.failed;
        break;
    }
    showProgress();
}

void CliWindow::retried(const PictureOutcome &outcome)
{
    if (outcome.kind == PictureOutcome::Kind::Saved) {
        ++m_counts.saved;
        --m_counts.failed;
        m_console.log(QStringLiteral("retry: saved ") + outcome.path);
        m_console.out(outcome.path);
    } else {
        m_console.log(QStringLiteral("retry: failed ") + outcome.path + QStringLiteral(" (") + outcome.reason + u')');
    }
    showProgress();
}

void CliWindow::albumReady(const AlbumReady &album)
{
    const int pictures = int(album.pictureIds.size());
    m_counts.albumNo = album.albumNo;
    m_counts.albums = album.albumCount;
    m_counts.pictures += pictures;
    if (m_options.getUrls) {
        for (const std::optional<QString> &id : album.pictureIds) {
            if (id)
                m_console.out(pictureAddress(m_engine.hosts().image, *id));
        }
    } else if (m_options.dryRun) {
        m_console.out(QStringLiteral("%1\t%2\t%3").arg(album.albumNo).arg(oneField(album.title)).arg(pictures));
    }
    showProgress();
}

void CliWindow::showProgress()
{
    if (!m_console.showsProgress())
        return;
    const ProgressLine::Mode mode = m_options.getUrls  ? ProgressLine::Mode::GetUrls
                                    : m_options.dryRun ? ProgressLine::Mode::DryRun
                                                       : ProgressLine::Mode::Saves;
    const ProgressLine::Counts counts{m_counts.albumNo, m_counts.albums,  m_counts.pictures,
                                      m_counts.saved,   m_counts.skipped, m_counts.failed};
    m_console.setProgress(m_progressLine.text(counts, mode, m_clock.elapsed() / 1000, m_console.columns()));
}
