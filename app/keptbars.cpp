#include "app/keptbars.h"

#include "job/jobwindow.h"

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

KeptBars::KeptBars() = default;

KeptBars::~KeptBars() = default;

KeptBars::Bar &KeptBars::bar(const QString &barFolder)
{
    return m_bars[QDir::cleanPath(barFolder)];
}

ResumeRecord *KeptBars::record(const QString &barFolder)
{
    Bar &b = bar(barFolder);
    if (!b.record && QFileInfo(barFolder).isDir()) {
        // Tried once per command: a busy or unusable record is not asked again for each picture.
        b.record = std::make_unique<ResumeRecord>(barFolder);
        b.busy = b.record->open() == ResumeRecord::Access::Busy;
    }
    return b.record && b.record->isOpen() ? b.record.get() : nullptr;
}

KeptBars::Bar &KeptBars::failuresOf(const QString &barFolder)
{
    Bar &b = bar(barFolder);
    if (!b.failuresRead) {
        b.failuresRead = true;
        for (const FailureFile::Entry &entry : FailureFile::read(barFolder).entries)
            b.failures.insert(entry.path, Failure{entry, ++m_order});
    }
    return b;
}

void KeptBars::albumReady(const AlbumReady &album)
{
    const QString albumFolder = QDir::cleanPath(album.folder);
    const QString barFolder = QFileInfo(albumFolder).path();
    if (ResumeRecord *kept = record(barFolder); kept && !album.pictureIds.isEmpty())
        kept->addFolder(albumFolder, album.id);
    m_completion.albumHarvested(album);
    if (bar(barFolder).busy)
        return;
    Bar &b = failuresOf(barFolder);
    const qsizetype before = b.failures.size();
    b.failures.removeIf(
        [&](const QHash<QString, Failure>::iterator it) { return QFileInfo(it.key()).path() == albumFolder; });
    b.changed = b.changed || b.failures.size() != before;
    // The album before this one is done by now: its failures go to disk.
    flush();
}

void KeptBars::pictureFinished(const PictureOutcome &outcome)
{
    m_completion.pictureDone(outcome);
    recordCompletion();
    if (outcome.path.isEmpty() || outcome.kind == PictureOutcome::Kind::Skipped)
        return;
    const QString path = QDir::cleanPath(outcome.path);
    const QString barFolder = barFolderOf(path);
    if (outcome.kind == PictureOutcome::Kind::Saved) {
        if (ResumeRecord *kept = record(barFolder)) {
            const qint64 size = outcome.bytes > 0 ? outcome.bytes : QFileInfo(path).size();
            kept->add(path, outcome.id, size);
        }
    }
    if (record(barFolder) == nullptr && bar(barFolder).busy)
        return;
    Bar &b = failuresOf(barFolder);
    const bool removed = b.failures.remove(path);
    const bool failed = outcome.kind == PictureOutcome::Kind::Failed && !outcome.url.isEmpty();
    if (failed)
        b.failures.insert(path, Failure{{outcome.url, path, outcome.id}, ++m_order});
    b.changed = b.changed || removed || failed;
}

// So that quillory-cli --update need not render again an album the window finished.
void KeptBars::recordCompletion()
{
    for (const AlbumCompletion::Album &album : m_completion.takeChanged()) {
        if (ResumeRecord *kept = record(QFileInfo(album.folder).path()))
            kept->addFinished(album.folder, album.id, album.pictures);
    }
}

void KeptBars::flush()
{
    for (auto &[barFolder, b] : m_bars) {
        if (!b.changed || b.busy || !QFileInfo(barFolder).isDir())
            continue;
        // The old file stays when the new one cannot be written whole; the window's log says
        // nothing of files it does not show.
        QList<const Failure *> inOrder;
        inOrder.reserve(b.failures.size());
        for (const Failure &failure : std::as_const(b.failures))
            inOrder.append(&failure);
        std::sort(inOrder.begin(), inOrder.end(),
                  [](const Failure *a, const Failure *b) { return a->order < b->order; });
        QList<FailureFile::Entry> entries;
        entries.reserve(inOrder.size());
        for (const Failure *failure : std::as_const(inOrder))
            entries.append(failure->entry);
        if (FailureFile::write(barFolder, entries).isEmpty())
            b.changed = false;
    }
}

void KeptBars::release()
{
    flush();
    for (auto &[barFolder, b] : m_bars) {
        if (b.record) {
            b.record->compact();
            b.record->close();
        }
    }
    m_bars.clear();
}

void KeptBars::letGo()
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
