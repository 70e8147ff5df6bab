#include "activitylog.h"

#include <QListWidget>

#include <cstdio>

namespace {

// The list lays a line out in time that grows with its length (seconds for a million
// characters, with the window frozen meanwhile), and an album's title or address comes from the
// web; the window shows the start of such a line, standard error all of it.
constexpr qsizetype MaxShownLength = 1024;

QString shown(const QString &line)
{
    if (line.size() <= MaxShownLength)
        return line;
    const qsizetype cut = line.at(MaxShownLength - 1).isHighSurrogate() ? MaxShownLength - 1 : MaxShownLength;
    return line.left(cut) + QStringLiteral("…");
}

} // namespace

ActivityLog::ActivityLog(QListWidget *list)
    : m_list(list)
{
}

void ActivityLog::AppendLog(const QString &line)
{
    m_list->addItem(shown(line));
    QByteArray out = line.toUtf8();
    // A title from the web may hold line breaks; a script reading the lines must still see one.
    out.replace('\r', ' ').replace('\n', ' ');
    out.append('\n');
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}

void ActivityLog::ShowLastLogLine()
{
    // The row is an int, so the log goes on working far past the 32767 lines of a 16-bit index.
    const int last = m_list->count() - 1;
    m_list->setCurrentRow(last);
    if (last >= 0)
        m_list->scrollToItem(m_list->item(last));
}
