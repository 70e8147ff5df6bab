#include "app/activitylog.h"

#include <QListWidget>
#include <QSignalBlocker>

#include <algorithm>
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

// The shortest wait between two layouts, and how it grows with the log: a layout costs time in
// proportion to the rows, so the share of the window's thread it takes stays small.
constexpr int MinLayoutGapMs = 50;
constexpr int RowsPerGapMs = 1000;

} // namespace

ActivityLog::ActivityLog(QListWidget *list)
    : m_list(list)
{
    // Every line is one line of text in the same font: the view takes its size from one sample
    // row instead of asking each row. The sample is the last row, which carries the width of the
    // widest line (see AppendLog), so the log scrolls sideways as far as before.
    m_list->setUniformItemSizes(true);
    m_viewDeferred = QObject::disconnect(m_list->model(), SIGNAL(rowsInserted(QModelIndex, int, int)), m_list,
                                         SLOT(rowsInserted(QModelIndex, int, int)));
    m_rowsShown = m_list->count();
    m_showTimer.setSingleShot(true);
    QObject::connect(&m_showTimer, &QTimer::timeout, m_list, [this] { showNewLines(); });
}

void ActivityLog::AppendLog(const QString &line)
{
    auto *item = new QListWidgetItem(shown(line));
    m_list->addItem(item);
    // Rows taken away (a cleared list) were announced to the view as they went.
    m_rowsShown = std::min(m_rowsShown, m_list->count() - 1);
    if (m_list->count() == 1)
        m_widest = 0;
    const QSize natural = m_list->sizeHintForIndex(m_list->model()->index(m_list->count() - 1, 0));
    m_widest = std::max(m_widest, natural.width());
    {
        // A changed size hint would have the view lay out every row at once; it reads the hint
        // when it lays out the new rows.
        const QSignalBlocker quiet(m_list->model());
        item->setSizeHint(QSize(m_widest, natural.height()));
    }
    schedule();

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
    // Scrolling to a row looks at every row before it; the view scrolls once it has laid the
    // new rows out, not on every selection.
    const bool autoScroll = m_list->hasAutoScroll();
    m_list->setAutoScroll(false);
    m_list->setCurrentRow(last);
    m_list->setAutoScroll(autoScroll);
    if (last >= 0) {
        m_scrollTo = last;
        schedule();
    }
}

void ActivityLog::schedule()
{
    if (m_showTimer.isActive())
        return;
    const qint64 gap = std::max(MinLayoutGapMs, m_list->count() / RowsPerGapMs);
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : gap;
    m_showTimer.start(int(std::max<qint64>(0, gap - since)));
}

void ActivityLog::showNewLines()
{
    const int rows = m_list->count();
    if (m_viewDeferred && rows > m_rowsShown)
        QMetaObject::invokeMethod(m_list, "rowsInserted", Qt::DirectConnection, Q_ARG(QModelIndex, QModelIndex()),
                                  Q_ARG(int, m_rowsShown), Q_ARG(int, rows - 1));
    m_rowsShown = rows;
    if (m_scrollTo >= 0 && m_scrollTo < rows)
        m_list->scrollToItem(m_list->item(m_scrollTo));
    m_scrollTo = -1;
    m_sinceShown.start();
}
