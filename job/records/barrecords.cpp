#include "job/records/barrecords.h"

#include "job/pictures/picturescan.h"
#include "job/records/failurelists.h"

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

BarRecords::BarRecords(FailureFileWrites writes)
    : m_writes(writes)
{ }

BarRecords::~BarRecords() = default;

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
    if (m_onProblem)
        m_onProblem(problem, *b.record);
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
        for (const FailureFile::Entry &entry : FailureFile::read(barFolder).entries)
            b.failures.insert(entry.path, Failed{entry, ++m_order});
    }
    return b;
}

void BarRecords::albumReady(const AlbumReady &album)
{
    const QString albumFolder = QDir::cleanPath(album.folder);
    const QString barFolder = QFileInfo(albumFolder).path();
    bar(barFolder).visited.insert(albumFolder);
    // An album without pictures gets no folder, and so claims none.
    if (ResumeRecord *kept = opened(barFolder); kept && !album.pictureIds.isEmpty())
        recorded(kept->addFolder(albumFolder, album.id), barFolder);
    m_completion.albumHarvested(album);
    if (m_writes != FailureFileWrites::AlbumByAlbum || bar(barFolder).busy)
        return;
    Bar &b = failuresOf(barFolder);
    const qsizetype before = b.failures.size();
    b.failures.removeIf(
        [&](const QHash<QString, Failed>::iterator it) { return QFileInfo(it.key()).path() == albumFolder; });
    b.changed = b.changed || b.failures.size() != before;
    // The album before this one is done by now: its failures go to disk.
    flush();
}

// The file is in place before its line is written, so the record never claims more than the
// folder holds.
void BarRecords::pictureFinished(const PictureOutcome &outcome)
{
    const QString path = QDir::cleanPath(outcome.path);
    const QString barFolder = barFolderOf(path);
    const bool saved = outcome.kind == PictureOutcome::Kind::Saved;
    const bool failed = outcome.kind == PictureOutcome::Kind::Failed;
    if (saved && !outcome.path.isEmpty()) {
        if (ResumeRecord *kept = opened(barFolder)) {
            const qint64 size = outcome.bytes > 0 ? outcome.bytes : QFileInfo(path).size();
            recorded(kept->add(path, outcome.id, size), barFolder);
        }
    }
    if (failed)
        m_reasons.insert(outcome.path, outcome.reason);
    else if (saved)
        m_reasons.remove(outcome.path);
    m_completion.pictureDone(outcome);
    recordCompletion();
    if (m_writes != FailureFileWrites::AlbumByAlbum || outcome.path.isEmpty() || !(saved || failed))
        return;
    if (opened(barFolder) == nullptr && bar(barFolder).busy)
        return;
    Bar &b = failuresOf(barFolder);
    const bool removed = b.failures.remove(path);
    const bool listed = failed && !outcome.url.isEmpty();
    if (listed)
        b.failures.insert(path, Failed{{outcome.url, path, outcome.id}, ++m_order});
    b.changed = b.changed || removed || listed;
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

BarRecords::CarryOver BarRecords::carryOver(const QString &barFolder, FailureLists &lists)
{
    const FailureFile::Contents earlier = FailureFile::read(barFolder);
    CarryOver result;
    result.dropped = earlier.dropped;
    result.refused = earlier.refused;
    const QSet<QString> &visited = bar(barFolder).visited;
    const ResumeRecord *kept = record(barFolder);
    QSet<QString> taken;
    for (const FailureFile::Entry &entry : earlier.entries) {
        // Saved since, by the window say: done.
        if (visited.contains(QFileInfo(entry.path).path()) || taken.contains(entry.path) ||
            (kept && kept->holds(entry.path, entry.id)))
            continue;
        taken.insert(entry.path);
        lists.append(entry.url, entry.path);
        ++result.carried;
    }
    return result;
}

BarRecords::Report BarRecords::report(const QString &barFolder, const FailureLists &lists)
{
    Report result;
    QList<FailureFile::Entry> entries;
    for (const FailureLists::Entry &failure : lists.entries()) {
        const FailureFile::Entry entry{failure.url, failure.path, pictureIdOf(failure.url)};
        entries.append(entry);
        result.failed.append(Failure{entry, m_reasons.value(failure.path)});
    }
    result.problem = FailureFile::write(barFolder, entries);
    return result;
}

void BarRecords::flush()
{
    for (auto &[barFolder, b] : m_bars) {
        if (!b.changed || b.busy || !QFileInfo(barFolder).isDir())
            continue;
        // The old file stays when the new one cannot be written whole.
        QList<const Failed *> inOrder;
        inOrder.reserve(b.failures.size());
        for (const Failed &failure : std::as_const(b.failures))
            inOrder.append(&failure);
        std::sort(inOrder.begin(), inOrder.end(), [](const Failed *a, const Failed *b) { return a->order < b->order; });
        QList<FailureFile::Entry> entries;
        entries.reserve(inOrder.size());
        for (const Failed *failure : std::as_const(inOrder))
            entries.append(failure->entry);
        if (FailureFile::write(barFolder, entries).isEmpty())
            b.changed = false;
    }
}

void BarRecords::release()
{
    flush();
    for (auto &[barFolder, b] : m_bars) {
        if (b.record && b.record->isOpen() && !b.record->compact())
            tell(Problem::NotCompacted, b);
        if (b.record)
            b.record->close();
    }
    m_bars.clear();
    m_reasons.clear();
}

void BarRecords::letGo()
{
    flush();
    for (auto &[barFolder, b] : m_bars) {
        b.changed = false;
        b.busy = true;
        if (b.record) {
            b.record->compact();
            b.record->close();
        }
    }
}
