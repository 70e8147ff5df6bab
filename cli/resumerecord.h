#pragma once

#include <QFile>
#include <QHash>
#include <QString>

// Which picture each saved file of a bar folder holds, kept in a hidden file in that folder so
// that a later run can skip what is already there.
//
// The file is a journal of lines "<album folder>/<n>.jpg TAB <picture id> TAB <size>", appended
// as each picture lands; a later line for the same file replaces an earlier one. A process
// killed in the middle of an append leaves at most a torn last line, which loading ignores, and
// loading rewrites the journal in one atomic step without it, so nothing is ever appended
// behind a torn line. A bar of thousands of pictures thus costs one small append per picture
// and one rewrite per run. Without the file everything is simply fetched again.
class ResumeRecord {
    Q_DISABLE_COPY_MOVE(ResumeRecord)

public:
    static const QString fileName;

    explicit ResumeRecord(const QString &barFolder);
    ~ResumeRecord();

    // True when `path` was recorded as holding picture `id` and the file is there with the
    // recorded size.
    bool holds(const QString &path, const QString &id) const;
    // Records that `path` now holds picture `id`, `size` bytes long. False when the journal
    // could not be written (the picture is then merely fetched again next time).
    bool add(const QString &path, const QString &id, qint64 size);
    // Rewrites the journal with one line per file, when replaced lines have piled up.
    void compact();

    // The key of `path` inside the bar folder, or empty for a path outside it.
    QString keyOf(const QString &path) const;

private:
    struct Entry {
        QString id;
        qint64 size = 0;
    };

    void load();
    bool rewrite();
    QString journalPath() const;

    QString m_folder;
    QHash<QString, Entry> m_entries;
    QFile m_journal;
    int m_replaced = 0;
    bool m_broken = false;
};
