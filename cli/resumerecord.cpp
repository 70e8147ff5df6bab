#include "resumerecord.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

const QString ResumeRecord::fileName = QStringLiteral(".quillory-saved");

namespace {

QByteArray lineFor(const QString &key, const QString &id, qint64 size)
{
    return key.toUtf8() + '\t' + id.toUtf8() + '\t' + QByteArray::number(size) + '\n';
}

} // namespace

ResumeRecord::ResumeRecord(const QString &barFolder)
    : m_folder(QDir::cleanPath(barFolder))
{
    load();
}

ResumeRecord::~ResumeRecord() = default;

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
        bool sized = false;
        const qint64 size = fields.size() == 3 ? fields.at(2).toLongLong(&sized) : 0;
        if (!sized || size <= 0 || fields.at(0).isEmpty())
            continue;
        m_entries.insert(QString::fromUtf8(fields.at(0)), Entry{QString::fromUtf8(fields.at(1)), size});
    }
    // Anything behind the last line break is a line torn by a kill; it must not stay in front
    // of the next append.
    if (from < all.size() || lines != m_entries.size())
        rewrite();
}

bool ResumeRecord::rewrite()
{
    m_journal.close();
    QSaveFile file(journalPath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray all;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        all += lineFor(it.key(), it->id, it->size);
    if (file.write(all) != all.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    if (!file.commit())
        return false;
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

bool ResumeRecord::add(const QString &path, const QString &id, qint64 size)
{
    const QString key = keyOf(path);
    if (key.isEmpty() || size <= 0)
        return false;
    if (m_broken)
        return false;
    if (!m_journal.isOpen()) {
        m_journal.setFileName(journalPath());
        if (!m_journal.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return false;
    }
    if (m_entries.contains(key))
        ++m_replaced;
    m_entries.insert(key, Entry{id, size});
    // One write per line, unbuffered: a kill finds every earlier line complete on disk.
    const QByteArray line = lineFor(key, id, size);
    if (m_journal.write(line) == line.size())
        return true;
    // A line cut short (disk full) must not have others appended behind it; the next load
    // drops it, and until then the pictures are merely fetched again.
    m_journal.close();
    m_broken = true;
    return false;
}

void ResumeRecord::compact()
{
    if (m_replaced > 0)
        rewrite();
}
