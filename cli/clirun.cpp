#include "cli/clirun.h"

#include "cli/clitext.h"
#include "cli/terminaltext.h"
#include "job/engine.h"
#include "job/records/barrecords.h"
#include "web/network/hostholds.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

#include <cerrno>
#include <filesystem>
#include <limits>
#include <system_error>

#include <signal.h>
#include <unistd.h>

namespace ExitCode {

int worse(int a, int b)
{
    const auto rank = [](int code) {
        switch (code) {
        case Done:
            return 0;
        case PicturesFailed:
            return 1;
        case ListUnreachable:
            return 2;
        case Usage:
            return 3;
        default:
            return 4;
        }
    };
    return rank(b) > rank(a) ? b : a;
}

} // namespace ExitCode

namespace {

// Why the folder at `path` cannot be made, in the system's words.
QString folderReason(const QString &path)
{
    std::error_code error;
    std::filesystem::create_directory(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (!error && !QFileInfo(path).isDir())
        error = std::make_error_code(std::errc::not_a_directory);
    return error ? QString::fromLocal8Bit(error.message().c_str()) : Cli::tr("unknown reason");
}

// Our scratch folders carry the process id, so that a later run can tell the ones whose run
// was killed from the ones still in use.
const QString scratchPrefix = QStringLiteral("quillory-cli-");

QString scratchTemplate()
{
    return QDir::tempPath() + u'/' + scratchPrefix + QString::number(QCoreApplication::applicationPid()) +
           QStringLiteral("-XXXXXX");
}

// Removes the scratch folders that killed runs of ours left: only our own naming, only our
// own folders, only where no process of that id is left.
void sweepStaleScratch()
{
    static const QRegularExpression ours(
        QRegularExpression::anchoredPattern(scratchPrefix + QStringLiteral("([0-9]+)-[A-Za-z0-9]{6}")));
    const QDir temp(QDir::tempPath());
    for (const QFileInfo &entry : temp.entryInfoList({scratchPrefix + u'*'}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = ours.match(entry.fileName());
        if (!match.hasMatch() || entry.isSymLink() || entry.ownerId() != ::geteuid())
            continue;
        bool number = false;
        const qint64 pid = match.captured(1).toLongLong(&number);
        if (!number || pid <= 0 || pid > std::numeric_limits<pid_t>::max() || pid == QCoreApplication::applicationPid())
            continue;
        if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        QDir(entry.filePath()).removeRecursively();
    }
}

} // namespace

CliRun::CliRun(Engine &engine, const CliOptions &options, Console &console, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_options(options)
    , m_console(console)
    , m_complaints(options.complaints)
    , m_window(engine, options, console)
{
    m_window.setOnBusy([this] { busyAfterAll(); });
}

CliRun::~CliRun() = default;

bool CliRun::ready()
{
    sweepStaleScratch();
    // A run that saves nothing makes no folder and no file, the job's scratch files included.
    if (m_options.savesNothing())
        return true;
    m_scratch.emplace(scratchTemplate());
    if (!m_scratch->isValid()) {
        m_console.error(Cli::tr("cannot create a temporary folder: %1").arg(m_scratch->errorString()));
        return false;
    }
    return true;
}

void CliRun::removeScratch()
{
    if (m_scratch)
        m_scratch->remove();
}

void CliRun::later(void (CliRun::*step)())
{
    QMetaObject::invokeMethod(this, step, Qt::QueuedConnection);
}

void CliRun::start()
{
    later(&CliRun::nextBar);
}

void CliRun::interrupt(int code)
{
    if (m_stopping)
        return;
    m_stopping = true;
    m_stopCode = code;
    later(&CliRun::stop);
}

// The job or retry under way is deleted where it stands, which gives up its pages and pictures;
// every picture is whole or absent, and every recorded line complete.
void CliRun::stop()
{
    m_job.reset();
    m_retry.reset();
    m_retryNotice.reset();
    m_window.endBar();
    if (!m_bar.isEmpty() && m_summaryAtStop)
        printSummary(m_bar, nullptr);
    removeScratch();
    emit finished(m_stopCode);
}

void CliRun::sayBusy(const QString &barFolder)
{
    m_console.error(Cli::tr("%1吧: busy: another process is downloading it into %2").arg(m_bar, barFolder));
}

// Another run took the bar folder between our look at it and the job's making it: the job is
// given up, as on a stop, before it writes anything there.
void CliRun::busyAfterAll()
{
    if (m_stopping)
        return;
    sayBusy(m_window.barFolder());
    m_summaryAtStop = false;
    interrupt(ExitCode::Busy);
}

void CliRun::nextBar()
{
    if (m_stopping)
        return;
    if (m_nextBar >= m_options.bars.size()) {
        removeScratch();
        emit finished(m_code);
        return;
    }
    const QString bar = m_options.bars.at(m_nextBar++);
    m_barFolder = BarRecords::barFolder(m_options.folder, bar);
    m_bar = bar;
    m_window.beginBar(bar, m_barFolder);
    // A bar folder there already is locked before its list is fetched; a new one as soon as the
    // job has made it.
    if (!m_options.savesNothing() && QFileInfo(m_barFolder).isDir() &&
        m_window.records()->open(m_barFolder) == ResumeRecord::Access::Busy) {
        m_window.endBar();
        sayBusy(m_barFolder);
        m_bar.clear();
        m_code = ExitCode::worse(m_code, ExitCode::Busy);
        return later(&CliRun::nextBar);
    }
    JobRequest request = JobRequest::now(m_engine, bar, m_window.pages(), m_window.options());
    request.pictureFolder = m_options.folder;
    // The scratch files are the job's own business; a run that saves nothing writes none.
    request.scratchFolder = m_scratch ? m_scratch->path() : QString();
    request.choices = m_options.choices;
    request.complaints = std::exchange(m_complaints, {});
    m_job = std::make_unique<StartCommand>(m_window, request);
    connect(m_job.get(), &StartCommand::finished, this, [this](const JobSummary &summary) {
        m_summary = summary;
        later(&CliRun::afterJob);
    });
    m_job->start();
}

void CliRun::afterJob()
{
    if (m_stopping)
        return;
    m_job.reset();
    const bool harvested =
        m_summary.end != JobSummary::End::NoBarFolder && m_summary.end != JobSummary::End::ListUnreachable;
    if (!harvested || m_options.savesNothing())
        return barEnded();
    carryOverFailures(m_barFolder);
    m_round = 0;
    m_retryNotice.emplace(m_window, m_engine.network().holds());
    retryRound();
}

void CliRun::retryRound()
{
    if (m_stopping)
        return;
    m_retry.reset();
    FailureLists &lists = m_window.failures();
    if (++m_round > m_options.retries || lists.isEmpty()) {
        m_retryNotice.reset();
        return barEnded();
    }
    m_window.AppendLog(
        QStringLiteral("retry %1/%2: %3 pictures").arg(m_round).arg(m_options.retries).arg(lists.size()));
    m_retry = std::make_unique<RetryCommand>(m_engine, lists, &m_retryHeard, m_window.records());
    connect(m_retry.get(), &RetryCommand::finished, this, [this] { later(&CliRun::retryRound); });
    m_retry->start();
}

void CliRun::barEnded()
{
    const JobSummary &summary = m_summary;
    const bool harvested =
        summary.end != JobSummary::End::NoBarFolder && summary.end != JobSummary::End::ListUnreachable;
    if (harvested && !m_options.savesNothing())
        reportFailures(m_barFolder);
    m_window.endBar();
    int code = ExitCode::Done;
    if (summary.end == JobSummary::End::NoBarFolder) {
        m_console.error(Cli::tr("cannot create the folder %1: %2").arg(m_barFolder, folderReason(m_barFolder)));
        code = ExitCode::Usage;
    } else if (summary.end == JobSummary::End::ListUnreachable) {
        m_console.error(Cli::tr("%1吧: the album list could not be fetched").arg(m_bar));
        code = ExitCode::ListUnreachable;
    }
    // Every picture the summary counts as failed, whether or not it has an address to retry,
    // and an album whose page never loaded, which lost all its pictures.
    if (harvested && (m_window.counts().failed > 0 || summary.failedAlbums > 0))
        code = ExitCode::worse(code, ExitCode::PicturesFailed);
    if (harvested && summary.albums == 0)
        m_console.error(Cli::tr("%1吧 has no albums; the bar's name may be wrong").arg(m_bar));
    printSummary(m_bar, &summary);
    m_bar.clear();
    m_code = ExitCode::worse(m_code, code);
    later(&CliRun::nextBar);
}

// Pictures that failed in an earlier run and belong to an album this run did not come to are
// tried again in this run's retries.
void CliRun::carryOverFailures(const QString &barFolder)
{
    const BarRecords::CarryOver carried = m_window.records()->carryOver(barFolder, m_window.failures());
    if (carried.refused)
        m_console.error(Cli::tr("%1 is a link; it is not read").arg(carried.file));
    if (carried.dropped > 0)
        m_console.error(Cli::tr("%1: %2 lines name no picture of this bar; they are dropped")
                            .arg(carried.file)
                            .arg(carried.dropped));
    m_window.addCarriedFailures(carried.carried);
}

// Lists every picture of the bar that still failed, with the place failed.txt keeps those that
// can be retried; the count is the summary's.
void CliRun::reportFailures(const QString &barFolder)
{
    const BarRecords::Failures report = m_window.records()->failures(barFolder);
    const QList<BarRecords::Failure> &failed = report.failed;
    // A hostile page may fail by the hundred thousand: quiet, the count below says enough.
    if (!m_console.quiet()) {
        for (const BarRecords::Failure &failure : failed)
            m_console.error(QStringLiteral("failed: ") + failure.path +
                            (failure.reason.isEmpty() ? QString() : u" (" + failure.reason + u')') +
                            (failure.url.isEmpty() ? QString() : u' ' + failure.url));
    }
    const qsizetype listed =
        std::count_if(failed.cbegin(), failed.cend(), [](const BarRecords::Failure &f) { return !f.url.isEmpty(); });
    const qsizetype unlisted = failed.size() - listed;
    // Said only of a file that is there, whole.
    const QString &problem = report.problem;
    if (!problem.isEmpty() && listed == 0)
        m_console.error(Cli::tr("cannot remove %1 (%2)").arg(report.file, problem));
    if (!problem.isEmpty() && listed > 0)
        m_console.error(
            Cli::tr("cannot write %1 (%2); %3 pictures failed").arg(report.file, problem).arg(failed.size()));
    else if (listed > 0 && unlisted == 0)
        m_console.error(Cli::tr("%1 pictures failed; listed in %2").arg(failed.size()).arg(report.file));
    else if (unlisted > 0 && listed == 0)
        m_console.error(Cli::tr("%1 pictures failed, none with an address to retry").arg(failed.size()));
    else if (unlisted > 0)
        m_console.error(Cli::tr("%1 pictures failed; %2 listed in %3, %4 without an address to retry")
                            .arg(failed.size())
                            .arg(listed)
                            .arg(report.file)
                            .arg(unlisted));
}

void CliRun::printSummary(const QString &bar, const JobSummary *summary)
{
    const JobSummary &c = m_window.counts();
    QString line = bar + QStringLiteral("吧: ");
    // An album counts once its page has settled; before that there is none to name.
    if (!summary && c.albumNo == 0)
        line += Cli::tr("interrupted before the first album's pictures, ");
    else if (!summary)
        line += Cli::tr("interrupted at album %1/%2, ").arg(c.albumNo).arg(c.albums);
    else
        line += Cli::tr("albums %1, ").arg(summary->albums);
    if (summary && m_options.update)
        line += Cli::tr("passed over %1, ").arg(summary->passedOver);
    if (m_options.getUrls)
        line += Cli::tr("pictures %1 (addresses only)").arg(c.pictures);
    else if (m_options.dryRun)
        line += Cli::tr("pictures %1 (dry run)").arg(c.pictures);
    else
        line += Cli::tr("saved %1, skipped %2, failed %3").arg(c.saved).arg(c.skipped).arg(c.failed);
    line += Cli::tr(", %1 s").arg(m_window.elapsedSeconds(), 0, 'f', 1);
    m_console.error(line);
    // --update passes over the albums already finished instead of rendering them again.
    if (!summary && !m_options.savesNothing()) {
        QStringList again = QCoreApplication::arguments();
        if (again.isEmpty())
            return;
        again.first() = QStringLiteral("quillory-cli");
        if (!again.contains(QStringLiteral("--update")))
            again.insert(1, QStringLiteral("--update"));
        m_console.error(Cli::tr("To go on from here: %1").arg(TerminalText::shellCommand(again)));
    }
}
