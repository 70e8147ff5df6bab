#include "job/records/resumerecord.h"

#include "job/records/statefile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

const QString ResumeRecord::fileName = QStringLiteral(".quillory-saved");

namespace {

QByteArray lineFor(const QString &key, const QString &id, qint64 size)
{
    return key.toUtf8() + '\t' + id.toUtf8() + '\t' + QByteArray::number(size) + '\n';
}

// A folder's key ends in a separator, which no picture's key does.
QByteArray folderLineFor(const QString &folder, const QString &albumId)
{
    return folder.toUtf8() + "/\t" + albumId.toUtf8() + '\n';
}

QByteArray finishedLineFor(const QString &folder, const QString &albumId, int pictures)
{
    return folder.toUtf8() + "/\t" + albumId.toUtf8() + '\t' + QByteArray::number(pictures) + "\tdone\n";
}

} // namespace

ResumeRecord::ResumeRecord(const QString &barFolder, FileCalls &calls)
    : m_folder(QDir::cleanPath(barFolder))
    , m_calls(calls)
{ }

ResumeRecord::~ResumeRecord()
{
    close();
}

QString ResumeRecord::journalPath() const
{
    return m_folder + u'/' + fileName;
}

QString ResumeRecord::keyOf(const QString &path) const
{
    const QString clean = QDir::cleanPath(path);
    const QString prefix = m_folder + u'/';
    return clean.startsWith(prefix) ? clean.mid(prefix.size()) : QString();
}

ResumeRecord::Access ResumeRecord::open()
{
    // Asked once: an unusable record keeps its lock, so that the bar stays this process's.
    if (m_opened)
        return m_access;
    m_opened = true;
    m_lock = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_lock < 0 || ::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const bool busy = m_lock >= 0 && error == EWOULDBLOCK;
        m_problem = busy ? QString()
                         : QStringLiteral("cannot lock ") + m_folder + QStringLiteral(": ") +
                               QString::fromLocal8Bit(std::strerror(error));
        if (m_lock >= 0)
            ::close(m_lock);
        m_lock = -1;
        m_access = busy ? Access::Busy : Access::Unusable;
        return m_access;
    }
    // A link would have us read and then rewrite a file anywhere, so it is left alone: the bar is
    // then fetched as if nothing had been recorded, and nothing is.
    const QFileInfo journal(journalPath());
    if (StateFile::isLink(journalPath()) || (journal.exists() && !journal.isFile())) {
        m_problem = journalPath() + QStringLiteral(" is not a plain file");
        m_access = Access::Unusable;
        return m_access;
    }
    m_access = Access::Ready;
    load();
    return m_access;
}

void ResumeRecord::close()
{
    m_journal.close();
    if (m_lock >= 0)
        ::close(m_lock);
    m_lock = -1;
    m_access = Access::Unusable;
}

void ResumeRecord::load()
{
    QFile file(journalPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray all = file.readAll();
    file.close();
    qsizetype lines = 0;
    qsizetype from = 0;
    for (qsizetype end = all.indexOf('\n'); end >= 0; from = end + 1, end = all.indexOf('\n', from)) {
        ++lines;
        const QList<QByteArray> fields = all.mid(from, end - from).split('\t');
        if (fields.size() == 2 && fields.at(0).size() > 1 && fields.at(0).endsWith('/') && !fields.at(1).isEmpty()) {
            own(QString::fromUtf8(fields.at(0).chopped(1)), QString::fromUtf8(fields.at(1)));
            continue;
        }
        if (fields.size() == 4 && fields.at(0).size() > 1 && fields.at(0).endsWith('/') && !fields.at(1).isEmpty() &&
            fields.at(3) == "done") {
            bool counted = false;
            const int pictures = fields.at(2).toInt(&counted);
            if (counted && pictures > 0)
                m_finished.insert(QString::fromUtf8(fields.at(1)),
                                  Finished{QString::fromUtf8(fields.at(0).chopped(1)), pictures});
            else if (counted)
                m_finished.remove(QString::fromUtf8(fields.at(1)));
            // A taken-back album leaves a line with nothing behind it: the count below rewrites.
            continue;
        }
        bool sized = false;
        const qint64 size = fields.size() == 3 ? fields.at(2).toLongLong(&sized) : 0;
        if (!sized || size <= 0 || fields.at(0).isEmpty())
            continue;
        m_entries.insert(QString::fromUtf8(fields.at(0)), Entry{QString::fromUtf8(fields.at(1)), size});
    }
    // Anything behind the last line break is a line torn by a kill; it must not stay in front
    // of the next append. Should it stay, because the rewrite failed, nothing is appended.
    if ((from < all.size() || lines != m_entries.size() + m_owners.size() + m_finished.size()) && !rewrite())
        m_broken = true;
}

void ResumeRecord::own(const QString &folder, const QString &albumId)
{
    const QString before = m_owners.value(folder);
    if (!before.isEmpty() && m_folders.value(before) == folder)
        m_folders.remove(before);
    m_owners.insert(folder, albumId);
    m_folders.insert(albumId, folder);
}

bool ResumeRecord::rewrite()
{
    m_journal.close();
    QByteArray all;
    for (auto it = m_owners.cbegin(); it != m_owners.cend(); ++it)
        all += folderLineFor(it.key(), it.value());
    for (auto it = m_finished.cbegin(); it != m_finished.cend(); ++it)
        all += finishedLineFor(it->folder, it.key(), it->pictures);
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        all += lineFor(it.key(), it->id, it->size);
    const QString failure = StateFile::replace(journalPath(), all, m_calls);
    if (!failure.isEmpty()) {
        m_problem = failure;
        return false;
    }
    m_replaced = 0;
    return true;
}

bool ResumeRecord::holds(const QString &path, const QString &id) const
{
    const auto it = m_entries.constFind(keyOf(path));
    if (it == m_entries.cend() || it->id != id)
        return false;
    const QFileInfo info(path);
    return info.isFile() && info.size() == it->size;
}

bool ResumeRecord::append(const QByteArray &line)
{
    if (m_broken || m_access != Access::Ready)
        return false;
    if (!m_journal.isOpen()) {
        m_journal.setFileName(journalPath());
        if (!m_journal.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            m_problem = m_journal.errorString();
            m_broken = true;
            return false;
        }
    }
    // One write per line, unbuffered: a kill finds every earlier line complete on disk.
    if (m_journal.write(line) == line.size())
        return true;
    // A line cut short (disk full) must not have others appended behind it; the next load
    // drops it, and until then the pictures are merely fetched again.
    m_problem = m_journal.errorString();
    m_journal.close();
    m_broken = true;
    return false;
}

bool ResumeRecord::add(const QString &path, const QString &id, qint64 size)
{
    const QString key = keyOf(path);
    if (key.isEmpty() || size <= 0 || m_access != Access::Ready)
        return false;
    if (m_entries.contains(key))
        ++m_replaced;
    m_entries.insert(key, Entry{id, size});
    return append(lineFor(key, id, size));
}

bool ResumeRecord::addFolder(const QString &folder, const QString &albumId)
{
    const QString key = keyOf(folder);
    if (m_access != Access::Ready)
        return false;
    // An album without a usable id, or a folder outside the bar, is nothing to record; that is
    // no failure of the journal.
    const bool oneField = std::none_of(albumId.begin(), albumId.end(), [](QChar ch) { return ch.unicode() < 0x20; });
    if (key.isEmpty() || albumId.isEmpty() || !oneField || key.contains(u'/'))
        return true;
    if (m_owners.value(key) == albumId && m_folders.value(albumId) == key)
        return true;
    if (m_owners.contains(key) || m_folders.contains(albumId))
        ++m_replaced;
    own(key, albumId);
    return append(folderLineFor(key, albumId));
}

bool ResumeRecord::addFinished(const QString &folder, const QString &albumId, int pictures)
{
    const QString key = keyOf(folder);
    if (m_access != Access::Ready)
        return false;
    const bool oneField = std::none_of(albumId.begin(), albumId.end(), [](QChar ch) { return ch.unicode() < 0x20; });
    if (key.isEmpty() || albumId.isEmpty() || !oneField || key.contains(u'/') || pictures < 0)
        return true;
    const auto known = m_finished.constFind(albumId);
    if (pictures == 0 ? known == m_finished.cend()
                      : known != m_finished.cend() && known->folder == key && known->pictures == pictures)
        return true;
    if (known != m_finished.cend())
        ++m_replaced;
    if (pictures == 0) {
        m_finished.remove(albumId);
        ++m_replaced;
    } else {
        m_finished.insert(albumId, Finished{key, pictures});
    }
    return append(finishedLineFor(key, albumId, pictures));
}

bool ResumeRecord::finished(const QString &albumId) const
{
    const auto known = m_finished.constFind(albumId);
    if (known == m_finished.cend() || m_folders.value(albumId) != known->folder ||
        !QFileInfo(m_folder + u'/' + known->folder).isDir())
        return false;
    // The user may have deleted or emptied pictures since: the disk has the last word, by the
    // same test a picture is skipped by.
    for (int number = 1; number <= known->pictures; ++number) {
        const QString key = known->folder + u'/' + QString::number(number) + QStringLiteral(".jpg");
        const auto entry = m_entries.constFind(key);
        if (entry == m_entries.cend() || !holds(m_folder + u'/' + key, entry->id))
            return false;
    }
    return true;
}

bool ResumeRecord::compact()
{
    if (m_access != Access::Ready || m_replaced == 0)
        return true;
    return rewrite();
}
