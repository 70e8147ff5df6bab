#include "cli/progressline.h"

#include "cli/clitext.h"
#include "cli/terminaltext.h"

#include <QRegularExpression>

#include <algorithm>

void ProgressLine::begin(const QString &bar)
{
    m_bar = bar;
    m_listed = -1;
    m_loading = 0;
}

// The window's own log lines, which never change: "获取相册地址完成！<bar>吧共有N个相册" once
// the list is read, "开始处理相册(i/N):<title>" as each album's page starts loading.
void ProgressLine::heardLog(const QString &line)
{
    static const QRegularExpression listed(QStringLiteral("^获取相册地址完成！.*吧共有([0-9]+)个相册$"));
    static const QRegularExpression loading(QStringLiteral("^开始处理相册\\(([0-9]+)/([0-9]+)\\):"));
    if (const QRegularExpressionMatch match = listed.match(line); match.hasMatch()) {
        m_listed = match.captured(1).toInt();
    } else if (const QRegularExpressionMatch match = loading.match(line); match.hasMatch()) {
        m_loading = match.captured(1).toInt();
        m_listed = match.captured(2).toInt();
    }
}

QString ProgressLine::clock(qint64 seconds)
{
    const qint64 h = seconds / 3600;
    const qint64 m = seconds / 60 % 60;
    const qint64 s = seconds % 60;
    const QString mmss = QStringLiteral("%1:%2")
                             .arg(h > 0 ? QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')) : QString::number(m))
                             .arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QString::number(h) + u':' + mmss : mmss;
}

QString ProgressLine::text(const Counts &counts, Mode mode, qint64 elapsedSeconds, int columns) const
{
    using TerminalText::Part;
    // A cursor in the last column would wrap the line, which a carriage return cannot redraw.
    const int width = std::max(columns - 1, 1);
    const Part bar{Cli::tr("%1吧").arg(m_bar), 3};
    const Part elapsed{ProgressLine::clock(elapsedSeconds), 6};
    if (counts.albums == 0) {
        Part doing{Cli::tr("listing albums"), 5};
        if (m_loading > 0)
            doing.text = Cli::tr("loading album %1/%2").arg(m_loading).arg(m_listed);
        else if (m_listed >= 0)
            doing.text = Cli::tr("albums %1").arg(m_listed);
        return TerminalText::fitParts({bar, doing, elapsed}, width);
    }
    // The pages set the pace, so the albums still to come tell the time left better than a rate.
    const int done = std::max(counts.albumNo, 1);
    const qint64 left = elapsedSeconds * (counts.albums - counts.albumNo) / done;
    const Part album{Cli::tr("album %1/%2").arg(counts.albumNo).arg(counts.albums), 5};
    Part pictures{Cli::tr("pictures %1").arg(counts.saved + counts.skipped + counts.failed), 4};
    Part detail{Cli::tr("(saved %1, skipped %2, failed %3)").arg(counts.saved).arg(counts.skipped).arg(counts.failed),
                1, QStringLiteral(" ")};
    if (mode == Mode::GetUrls) {
        pictures.text = Cli::tr("addresses %1").arg(counts.pictures);
        detail.text.clear();
    } else if (mode == Mode::DryRun) {
        pictures.text = Cli::tr("pictures %1").arg(counts.pictures);
        detail.text.clear();
    }
    const Part spent{Cli::tr("%1 elapsed").arg(ProgressLine::clock(elapsedSeconds)), 2};
    const Part remaining{Cli::tr("about %1 left").arg(ProgressLine::clock(left)), 6,
                         Cli::tr(", ", "between the time spent and the time left")};
    QList<Part> parts{bar, album, pictures};
    if (!detail.text.isEmpty())
        parts.append(detail);
    parts << spent << remaining;
    return TerminalText::fitParts(parts, width);
}
