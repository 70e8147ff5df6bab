#include "activitylog.h"

#include <QListWidget>

#include <cstdio>

ActivityLog::ActivityLog(QListWidget *list)
    : m_list(list)
{
}

void ActivityLog::AppendLog(const QString &line)
{
    m_list->addItem(line);
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
