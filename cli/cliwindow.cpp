#include "cli/cliwindow.h"

#include "cli/clitext.h"
#include "job/jobchoices.h"
#include "job/resumerecord.h"

#include "job/picturescan.h"

#include "web/engine/enginepages.h"
#include "web/engine/webenginebrowser.h"
#include "web/foldername.h"
#include "web/settings.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
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
    , m_pages(JobChoices::mostPages, [this](int index) -> BrowserAdapter & { return m_browsers->page(index); })
{
    m_browsers = std::make_unique<EnginePages>();
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
    m_record.reset();
    if (!m_options.savesNothing())
        m_record = std::make_unique<ResumeRecord>(m_barFolder);
    m_recordAsked = false;
    m_recordWarned = false;
    m_failures = FailureLists();
    m_counts = JobSummary();
    m_albumFolders.clear();
    m_reasons.clear();
    m_albumRecords.clear();
    m_metadataWarned = false;
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
        m_console.error(Cli::tr("cannot use the resume record: %1; every picture is fetched and none recorded")
                            .arg(m_record->problem()));
    // Loading drops a torn last line by rewriting the record; when that fails the old one stays.
    if (!wasOpen && access == ResumeRecord::Access::Ready && !m_record->problem().isEmpty()) {
        m_recordWarned = true;
        m_console.error(Cli::tr("cannot rewrite %1 (%2); the old one stays, and this run records nothing")
                            .arg(m_record->journalPath(), m_record->problem()));
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
        m_console.error(
            Cli::tr("cannot rewrite %1 (%2); the old one stays").arg(m_record->journalPath(), m_record->problem()));
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
    m_progressLine.heardLog(line);
    m_console.log(line);
}

bool CliWindow::pictureAlreadySaved(const QString &id, const QString &url, const QString &path)
{
    Q_UNUSED(url)
    return record() && !m_options.noSkip && m_record->holds(path, id);
}

void CliWindow::pictureFinished(const PictureOutcome &outcome)
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
    m_completion.pictureDone(outcome);
    recordCompletion();
    noteInAlbumRecord(outcome);
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
    m_completion.retried(outcome);
    recordCompletion();
    noteInAlbumRecord(outcome);
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

// Albums that now have every picture saved are not rendered by a later --update run; one that
// ended with a picture missing is again.
void CliWindow::recordCompletion()
{
    for (const AlbumCompletion::Album &album : m_completion.takeChanged()) {
        if (record() && !m_record->addFinished(album.folder, album.id, album.pictures))
            recordFailed();
    }
}

bool CliWindow::rendersAlbum(const QString &albumId, const QString &url)
{
    Q_UNUSED(url)
    return !(m_options.update && record() && m_record->finished(albumId));
}

void CliWindow::recordFailed()
{
    if (m_recordWarned)
        return;
    m_recordWarned = true;
    m_console.error(Cli::tr("cannot update the resume record in %1 (%2); the next run fetches these pictures again")
                        .arg(m_barFolder, m_record->problem()));
}

void CliWindow::albumReady(const AlbumReady &album)
{
    const int pictures = int(album.pictureIds.size());
    m_counts.albumNo = album.albumNo;
    m_counts.albums = album.albumCount;
    m_counts.pictures += pictures;
    m_albumFolders << QDir::cleanPath(album.folder);
    m_completion.albumHarvested(album);
    // The folder is this album's from now on, also for later runs; an album without pictures
    // gets no folder and so claims none.
    if (record() && pictures > 0 && !m_record->addFolder(album.folder, album.id))
        recordFailed();
    if (m_options.getUrls) {
        for (const std::optional<QString> &id : album.pictureIds) {
            if (id)
                m_console.out(pictureAddress(*id));
        }
    } else if (m_options.dryRun) {
        m_console.out(QStringLiteral("%1\t%2\t%3").arg(album.albumNo).arg(oneField(album.title)).arg(pictures));
    } else if (m_options.metadata) {
        AlbumRecord record{album.id, album.url, album.title, {}};
        int number = 0;
        for (const std::optional<QString> &id : album.pictureIds) {
            QJsonObject picture;
            picture.insert(QStringLiteral("number"), ++number);
            if (id) {
                picture.insert(QStringLiteral("id"), *id);
                picture.insert(QStringLiteral("url"), pictureAddress(*id));
            }
            record.pictures.append(picture);
        }
        const QString folder = QDir::cleanPath(album.folder);
        m_albumRecords.insert(folder, record);
        // An album whose pictures were all saved before is written now; the others as they land.
        if (QFileInfo(folder).isDir())
            writeAlbumRecord(folder);
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

void CliWindow::noteInAlbumRecord(const PictureOutcome &outcome)
{
    if (!m_options.metadata || m_options.savesNothing())
        return;
    const QFileInfo file(outcome.path);
    const QString folder = QDir::cleanPath(file.path());
    const auto album = m_albumRecords.find(folder);
    if (album == m_albumRecords.end())
        return;
    const int number = file.completeBaseName().toInt();
    if (number < 1 || number > album->pictures.size())
        return;
    QJsonObject &picture = album->pictures[number - 1];
    if (outcome.kind == PictureOutcome::Kind::Failed) {
        picture.remove(QStringLiteral("size"));
        picture.remove(QStringLiteral("saved"));
        picture.insert(QStringLiteral("failed"), outcome.reason);
    } else {
        // A skipped picture was saved by an earlier run: its file tells when.
        const qint64 size =
            outcome.kind == PictureOutcome::Kind::Saved && outcome.bytes > 0 ? outcome.bytes : file.size();
        const QDateTime when =
            outcome.kind == PictureOutcome::Kind::Saved ? QDateTime::currentDateTime() : file.lastModified();
        picture.remove(QStringLiteral("failed"));
        picture.insert(QStringLiteral("size"), size);
        picture.insert(QStringLiteral("saved"), when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate));
    }
    writeAlbumRecord(folder);
}

// Written whole or not at all: a reader never sees half a file, whenever the run stops.
void CliWindow::writeAlbumRecord(const QString &folder)
{
    const AlbumRecord &album = m_albumRecords[folder];
    QJsonArray pictures;
    for (const QJsonObject &picture : album.pictures)
        pictures.append(picture);
    const QJsonObject root{{QStringLiteral("bar"), QString(m_bar + QStringLiteral("吧"))},
                           {QStringLiteral("id"), album.id},
                           {QStringLiteral("url"), album.url},
                           {QStringLiteral("title"), album.title},
                           {QStringLiteral("pictures"), pictures}};
    const QByteArray text = QJsonDocument(root).toJson();
    QSaveFile file(folder + QStringLiteral("/album.json"));
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return;
    if (!m_metadataWarned) {
        m_metadataWarned = true;
        m_console.error(Cli::tr("cannot write %1: %2").arg(file.fileName(), file.errorString()));
    }
}
