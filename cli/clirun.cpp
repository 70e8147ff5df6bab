#include "clirun.h"

#include "resumerecord.h"

#include "retrycommand.h"
#include "startcommand.h"

#include "foldername.h"
#include "settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <cstdlib>

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

const QString failureFileName = QStringLiteral("failed.txt");

QStringList entries(const QString &list)
{
    QStringList pieces = list.split(QStringLiteral("\r\n"));
    pieces.removeLast(); // the empty text behind the final CR LF
    return pieces;
}

bool oneLine(const QString &text)
{
    return !text.isEmpty() && std::none_of(text.begin(), text.end(), [](QChar ch) {
        return ch.unicode() < 0x20;
    });
}

} // namespace

CliRun::CliRun(const CliOptions &options, Console &console)
    : m_options(options)
    , m_console(console)
    , m_window(options, console)
{
}

bool CliRun::ready()
{
    if (!m_scratch.isValid()) {
        m_console.error(QStringLiteral("cannot create a temporary folder: ") + m_scratch.errorString());
        return false;
    }
    // The scratch files are the job's own business; a dry run's bar folder too, so that it
    // leaves nothing in the destination folder.
    Settings::setScratchFolder(m_scratch.path());
    if (m_options.dryRun) {
        const QString nowhere = m_scratch.filePath(QStringLiteral("dry-run"));
        QDir().mkpath(nowhere);
        Settings::setPictureFolder(nowhere);
    } else {
        Settings::setPictureFolder(m_options.folder);
    }
    return true;
}

int CliRun::exec()
{
    int code = ExitCode::Done;
    for (const QString &bar : m_options.bars)
        code = ExitCode::worse(code, runBar(bar));
    m_scratch.remove();
    return code;
}

void CliRun::interrupt()
{
    m_window.endBar();
    if (!m_bar.isEmpty())
        printSummary(m_bar, nullptr);
    m_scratch.remove();
    std::fflush(stdout);
    std::fflush(stderr);
    // The job sits in a wait somewhere below; it is abandoned where it stands, as the window
    // does when it is closed. Every picture is whole or absent, and every recorded line complete.
    std::_Exit(ExitCode::Interrupted);
}

int CliRun::runBar(const QString &bar)
{
    const QString barFolder = Settings::pictureFolder() + u'/' + safeFolderName(bar + QStringLiteral("吧"));
    std::unique_ptr<ResumeRecord> record;
    if (!m_options.dryRun)
        record = std::make_unique<ResumeRecord>(barFolder);
    m_bar = bar;
    m_window.beginBar(bar, record.get());
    const JobSummary summary = StartCommand(m_window).run();
    const bool harvested =
        summary.end != JobSummary::End::NoBarFolder && summary.end != JobSummary::End::ListUnreachable;
    if (harvested && !m_options.dryRun) {
        carryOverFailures(barFolder);
        retryRounds();
    }
    if (record)
        record->compact();
    m_window.endBar();
    int code = ExitCode::Done;
    if (summary.end == JobSummary::End::NoBarFolder) {
        m_console.error(QStringLiteral("cannot create the folder ") + barFolder);
        code = ExitCode::Usage;
    } else if (summary.end == JobSummary::End::ListUnreachable) {
        m_console.error(bar + QStringLiteral("吧: the album list could not be fetched"));
        code = ExitCode::ListUnreachable;
    } else if (harvested && !m_options.dryRun && reportFailures(barFolder)) {
        code = ExitCode::PicturesFailed;
    }
    // An album whose page never loaded lost all its pictures.
    if (harvested && summary.failedAlbums > 0)
        code = ExitCode::worse(code, ExitCode::PicturesFailed);
    printSummary(bar, &summary);
    m_bar.clear();
    return code;
}

// Pictures that failed in an earlier run and belong to an album this run did not come to
// (the album has gone from the list, or the list broke off) are tried again here; those of
// the albums this run did come to have just been tried by the job itself.
void CliRun::carryOverFailures(const QString &barFolder)
{
    QFile file(barFolder + u'/' + failureFileName);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString inside = QDir::cleanPath(barFolder) + u'/';
    FailureLists &lists = m_window.failures();
    int carried = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 2)
            continue;
        const QString url = QString::fromUtf8(fields.at(0));
        const QString path = QString::fromUtf8(fields.at(1));
        if (!oneLine(url) || !oneLine(path) || !QDir::cleanPath(path).startsWith(inside))
            continue;
        if (m_window.albumFolders().contains(QDir::cleanPath(QFileInfo(path).path())))
            continue;
        lists.FailedUrls += url + QStringLiteral("\r\n");
        lists.FailedPaths += path + QStringLiteral("\r\n");
        ++carried;
    }
    m_window.addCarriedFailures(carried);
}

void CliRun::retryRounds()
{
    FailureLists &lists = m_window.failures();
    for (int round = 1; round <= m_options.retries && !lists.FailedUrls.isEmpty(); ++round) {
        m_window.AppendLog(QStringLiteral("retry %1/%2: %3 pictures")
                               .arg(round)
                               .arg(m_options.retries)
                               .arg(entries(lists.FailedUrls).size()));
        runRetry(lists, [this](const PictureOutcome &outcome) {
            m_window.retried(outcome);
        });
    }
}

// Writes the pictures that still failed to the bar's failure file, or removes a stale one.
// True when some failed.
bool CliRun::reportFailures(const QString &barFolder)
{
    const QString path = barFolder + u'/' + failureFileName;
    const FailureLists &lists = m_window.failures();
    const QStringList urls = entries(lists.FailedUrls);
    const QStringList paths = entries(lists.FailedPaths);
    if (urls.isEmpty()) {
        QFile::remove(path);
        return false;
    }
    QByteArray text;
    for (qsizetype i = 0; i < urls.size(); ++i) {
        const QString picture = paths.value(i);
        text += urls.at(i).toUtf8() + '\t' + picture.toUtf8() + '\n';
        const QString reason = m_window.failureReason(picture);
        m_console.error(QStringLiteral("failed: ") + picture + (reason.isEmpty() ? QString() : u" (" + reason + u')') +
                        u' ' + urls.at(i));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        m_console.error(QStringLiteral("cannot write ") + path);
    else
        m_console.error(QStringLiteral("%1 pictures failed; listed in %2").arg(urls.size()).arg(path));
    return true;
}

void CliRun::printSummary(const QString &bar, const JobSummary *summary)
{
    const BarCounts &c = m_window.counts();
    QString line = bar + QStringLiteral("吧: ");
    if (!summary)
        line += QStringLiteral("interrupted at album %1/%2, ").arg(c.albumNo).arg(c.albums);
    else
        line += QStringLiteral("albums %1, ").arg(summary->albums);
    if (m_options.dryRun)
        line += QStringLiteral("pictures %1 (dry run)").arg(c.pictures);
    else
        line += QStringLiteral("saved %1, skipped %2, failed %3").arg(c.saved).arg(c.skipped).arg(c.failed);
    line += QStringLiteral(", %1 s").arg(m_window.elapsedSeconds(), 0, 'f', 1);
    m_console.error(line);
}
