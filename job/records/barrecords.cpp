#include "job/records/barrecords.h"

#include "job/hosts.h"
#include "job/records/failurefile.h"
#include "job/records/failurelists.h"

#include "web/files/foldername.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// Every picture path of the job is "<bar folder>/<album folder>/<n>.jpg".
QString barFolderOf(const QString &picturePath)
{
    return QFileInfo(QFileInfo(QDir::cleanPath(picturePath)).path()).path();
}

} // namespace

BarRecords::BarRecords(const Hosts &hosts, AlbumFiles albumFiles)
    : m_hosts(hosts)
    , m_albumFiles(albumFiles)
{ }

BarRecords::~BarRecords() = default;

QString BarRecords::barFolder(const QString &pictureFolder, const QString &barName)
{
    return pictureFolder + u'/' + safeFolderName(barName + QStringLiteral("吧"));
}

BarRecords::Bar &BarRecords::bar(const QString &barFolder)
{
    return m_bars[QDir::cleanPath(barFolder)];
}

void BarRecords::tell(Problem problem, Bar &b)
{
    if (problem != Problem::NotCompacted) {
        if (b.warned)
            return;
        b.warned = true;
    }
    if (m_onProblem) {
        const ResumeRecord &record = *b.record;
        m_onProblem(problem, problem == Problem::NotUpdated ? record.barFolder() : record.journalPath(),
                    record.problem());
    }
}

ResumeRecord::Access BarRecords::open(const QString &barFolder)
{
    Bar &b = bar(barFolder);
    if (!b.record) {
        if (!QFileInfo(barFolder).isDir())
            return ResumeRecord::Access::Unusable;
        // Tried once per command: a busy or unusable record is not asked again for each picture.
        b.record = std::make_unique<ResumeRecord>(QDir::cleanPath(barFolder));
        const ResumeRecord::Access access = b.record->open();
        b.busy = access == ResumeRecord::Access::Busy;
        if (access == ResumeRecord::Access::Unusable)
            tell(Problem::Unusable, b);
        // Loading drops a torn last line by rewriting the record; when that fails the old one
        // stays, and nothing is appended behind the torn line.
        else if (access == ResumeRecord::Access::Ready && !b.record->problem().isEmpty())
            tell(Problem::OldKept, b);
        return access;
    }
    return b.record->open();
}

ResumeRecord *BarRecords::opened(const QString &barFolder)
{
    open(barFolder);
    Bar &b = bar(barFolder);
    return b.record && b.record->isOpen() ? b.record.get() : nullptr;
}

const ResumeRecord *BarRecords::record(const QString &barFolder) const
{
    const auto found = m_bars.find(QDir::cleanPath(barFolder));
    if (found == m_bars.end() || !found->second.record || !found->second.record->isOpen())
        return nullptr;
    return found->second.record.get();
}

void BarRecords::recorded(bool written, const QString &barFolder)
{
    if (!written)
        tell(Problem::NotUpdated, bar(barFolder));
}

const EarlierAlbumFolders *BarRecords::earlierAlbumFolders(const QString &barFolder)
{
    if (open(barFolder) == ResumeRecord::Access::Busy && m_onBusy)
        m_onBusy();
    return record(barFolder);
}

bool BarRecords::holds(const QString &path, const QString &id)
{
    const ResumeRecord *kept = opened(barFolderOf(path));
    return kept && kept->holds(path, id);
}

bool BarRecords::finished(const QString &barFolder, const QString &albumId)
{
    const ResumeRecord *kept = opened(barFolder);
    return kept && kept->finished(albumId);
}

BarRecords::Bar &BarRecords::failuresOf(const QString &barFolder)
{
    Bar &b = bar(barFolder);
    if (!b.failuresRead) {
        b.failuresRead = true;
        const FailureFile::Contents earlier = FailureFile::read(barFolder, m_hosts.image);
        bool twice = false;
        for (const FailureFile::Entry &entry : earlier.entries) {
            twice = twice || b.failures.contains(entry.path);
            if (!b.failures.contains(entry.path))
                b.failures.insert(entry.path, Failed{entry.url, entry.id, QString(), ++m_order});
        }
        b.dropped = earlier.dropped;
        b.refused = earlier.refused;
        // What the file held that is not ours to act upon, or held twice, goes with the next
        // rewrite.
        b.changed = b.changed || twice || earlier.dropped > 0 || earlier.refused;
    }
    return b;
}

void BarRecords::albumReady(const AlbumReady &album)
{
    // The job tells of an album once the one before has all its outcomes; one that has not was
    // cut short, and has no end to write.
    m_current.reset();
    const QString albumFolder = QDir::cleanPath(album.folder);
    const QString barFolder = QFileInfo(albumFolder).path();
    bar(barFolder).visited.insert(albumFolder);
    // An album without pictures gets no folder, and so claims none.
    if (ResumeRecord *kept = opened(barFolder); kept && !album.pictureIds.isEmpty())
        recorded(kept->addFolder(albumFolder, album.id), barFolder);
    m_completion.albumHarvested(album);
    if (!bar(barFolder).busy) {
        Bar &b = failuresOf(barFolder);
        const qsizetype before = b.failures.size();
        b.failures.removeIf(
            [&](const QHash<QString, Failed>::iterator it) { return QFileInfo(it.key()).path() == albumFolder; });
        b.changed = b.changed || b.failures.size() != before;
    }
    m_current = Current{albumFolder, album.pictureIds.size(), 0, std::nullopt};
    if (m_albumFiles == AlbumFiles::Written)
        m_current->file.emplace(album, m_hosts.image);
    if (album.pictureIds.isEmpty())
        albumEnded();
}

// The file is in place before its line is written, so the record never claims more than the
// folder holds.
void BarRecords::pictureFinished(const PictureOutcome &outcome)
{
    const QString path = QDir::cleanPath(outcome.path);
    const QString barFolder = barFolderOf(path);
    const bool failed = outcome.kind == PictureOutcome::Kind::Failed;
    if (outcome.kind == PictureOutcome::Kind::Saved && !path.isEmpty()) {
        if (ResumeRecord *kept = opened(barFolder)) {
            const qint64 size = outcome.bytes > 0 ? outcome.bytes : QFileInfo(path).size();
            recorded(kept->add(path, outcome.id, size), barFolder);
        }
    }
    m_completion.pictureDone(outcome);
    recordCompletion();
    // A bar another process keeps is asked about once, and then its files are left alone.
    if (!path.isEmpty() && (opened(barFolder) || !bar(barFolder).busy)) {
        Bar &b = failuresOf(barFolder);
        const auto known = b.failures.find(path);
        if (!failed) {
            if (known != b.failures.end()) {
                b.failures.erase(known);
                b.changed = true;
            }
        } else if (known == b.failures.end()) {
            b.failures.insert(path, Failed{outcome.url, outcome.id, outcome.reason, ++m_order});
            b.changed = true;
        } else {
            // Failed again: it keeps its place.
            b.changed = b.changed || known->url != outcome.url;
            *known = Failed{outcome.url, outcome.id, outcome.reason, known->order};
        }
    }
    if (m_albumFiles == AlbumFiles::Written && !path.isEmpty()) {
        const QFileInfo file(path);
        if (outcome.number > 0 && m_current && m_current->file && m_current->folder == file.path()) {
            m_current->file->note(outcome.number, outcome);
        } else if (outcome.number == 0) {
            if (const auto kept = m_albumFilesKept.find(file.path()); kept != m_albumFilesKept.end()) {
                kept->note(file.completeBaseName().toInt(), outcome);
                m_retried.insert(file.path());
            }
        }
    }
    // A retried picture (numbered 0) belongs to an album that ended before.
    if (outcome.number > 0 && m_current && ++m_current->told >= m_current->pictures)
        albumEnded();
}

// Albums that now have every picture saved are not rendered by a later --update run; one that
// ended with a picture missing is again.
void BarRecords::recordCompletion()
{
    for (const AlbumCompletion::Album &album : m_completion.takeChanged()) {
        const QString barFolder = QFileInfo(album.folder).path();
        if (ResumeRecord *kept = opened(barFolder))
            recorded(kept->addFinished(album.folder, album.id, album.pictures), barFolder);
    }
}

void BarRecords::albumEnded()
{
    Current ended = std::move(*m_current);
    m_current.reset();
    if (ended.file) {
        writeAlbumFile(*ended.file);
        // Only a picture that failed can be retried.
        if (ended.file->hasFailures())
            m_albumFilesKept.insert(ended.folder, std::move(*ended.file));
    }
    flush();
}

void BarRecords::writeAlbumFile(const AlbumFile &file)
{
    const QString barFolder = barFolderOf(file.path());
    Bar &b = bar(barFolder);
    if (!ours(barFolder, b))
        return;
    const QString problem = file.write();
    if (!problem.isEmpty() && !b.albumFileWarned) {
        b.albumFileWarned = true;
        if (m_onProblem)
            m_onProblem(Problem::AlbumFileNotWritten, file.path(), problem);
    }
}

void BarRecords::retryEnded()
{
    for (const QString &folder : std::as_const(m_retried)) {
        const auto kept = m_albumFilesKept.find(folder);
        if (kept == m_albumFilesKept.end())
            continue;
        writeAlbumFile(*kept);
        if (!kept->hasFailures())
            m_albumFilesKept.erase(kept);
    }
    m_retried.clear();
    flush();
}

namespace {

// The failures of a bar in the order they failed.
template<typename Failures> QList<typename Failures::iterator> inOrder(Failures &failures)
{
    QList<typename Failures::iterator> all;
    all.reserve(failures.size());
    for (auto it = failures.begin(); it != failures.end(); ++it)
        all.append(it);
    std::sort(all.begin(), all.end(), [](const auto &a, const auto &b) { return a->order < b->order; });
    return all;
}

} // namespace

BarRecords::CarryOver BarRecords::carryOver(const QString &barFolder, FailureLists &lists)
{
    CarryOver result;
    result.file = FailureFile::pathIn(barFolder);
    const ResumeRecord *kept = opened(barFolder);
    Bar &b = failuresOf(barFolder);
    result.dropped = b.dropped;
    result.refused = b.refused;
    QList<QString> savedSince;
    for (const auto &failure : inOrder(b.failures)) {
        // The job tried the albums it came to itself.
        if (failure->url.isEmpty() || b.visited.contains(QFileInfo(failure.key()).path()))
            continue;
        if (kept && kept->holds(failure.key(), failure->id)) {
            savedSince.append(failure.key());
            continue;
        }
        lists.append(failure->url, failure.key());
        ++result.carried;
    }
    for (const QString &path : std::as_const(savedSince))
        b.failures.remove(path);
    b.changed = b.changed || !savedSince.isEmpty();
    return result;
}

BarRecords::Failures BarRecords::failures(const QString &barFolder)
{
    Failures result;
    result.file = FailureFile::pathIn(barFolder);
    Bar &b = failuresOf(barFolder);
    if (b.changed && ours(barFolder, b))
        writeFailureFile(barFolder, b);
    result.problem = b.failureFileProblem;
    for (const auto &failure : inOrder(b.failures))
        result.failed.append(Failure{failure->url, failure.key(), failure->reason});
    return result;
}

// A bar's files are written only once its record was asked for, and not by a process that
// found another keeping it.
bool BarRecords::ours(const QString &barFolder, const Bar &b)
{
    return b.record && !b.busy && QFileInfo(barFolder).isDir();
}

// The old file stays when the new one cannot be written whole.
void BarRecords::writeFailureFile(const QString &barFolder, Bar &b)
{
    QList<FailureFile::Entry> entries;
    entries.reserve(b.failures.size());
    for (const auto &failure : inOrder(b.failures)) {
        // Without an address there is nothing for a later run to fetch.
        if (!failure->url.isEmpty())
            entries.append(FailureFile::Entry{failure->url, failure.key(), failure->id});
    }
    b.failureFileProblem = FailureFile::write(barFolder, entries);
    b.changed = !b.failureFileProblem.isEmpty();
}

void BarRecords::flush()
{
    for (auto &[barFolder, b] : m_bars) {
        if (b.changed && ours(barFolder, b))
            writeFailureFile(barFolder, b);
    }
}

void BarRecords::release()
{
    m_current.reset();
    m_albumFilesKept.clear();
    m_retried.clear();
    flush();
    for (auto &[barFolder, b] : m_bars) {
        if (b.record && b.record->isOpen() && !b.record->compact())
            tell(Problem::NotCompacted, b);
        if (b.record)
            b.record->close();
    }
    m_bars.clear();
}

void BarRecords::letGo()
{
    flush();
    m_current.reset();
    for (auto &[barFolder, b] : m_bars) {
        b.changed = false;
        b.busy = true;
        if (b.record) {
            b.record->compact();
            b.record->close();
        }
    }
}
