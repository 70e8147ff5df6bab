#include "cli/console.h"

#include <cerrno>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// A line from the web may hold line breaks or tabs; every line written must stay one line.
QByteArray oneLine(const QString &line)
{
    QByteArray bytes = line.toUtf8();
    for (char &c : bytes) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return bytes + '\n';
}

int terminalColumns()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// Cuts the progress text to fit one terminal row: a line that wraps cannot be redrawn with a
// carriage return. Wide characters take two columns.
QString fitted(const QString &text, int columns)
{
    QString result;
    int used = 0;
    for (const QChar ch : text) {
        const int width = ch.unicode() >= 0x1100 ? 2 : 1;
        if (used + width >= columns)
            break;
        result += ch;
        used += width;
    }
    return result;
}

} // namespace

Console::Console(bool quiet)
    : m_quiet(quiet)
    , m_tty(::isatty(STDERR_FILENO) == 1)
    , m_outTty(::isatty(STDOUT_FILENO) == 1)
{ }

void Console::log(const QString &line)
{
    if (m_quiet)
        return;
    error(line);
}

void Console::error(const QString &line)
{
    wipeProgress();
    writeErr(oneLine(line));
    drawProgress();
}

void Console::out(const QString &line)
{
    // Standard output may be the same terminal: the progress line must not end up in front.
    if (m_outTty)
        wipeProgress();
    const QByteArray bytes = oneLine(line);
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) &&
                         std::fflush(stdout) == 0;
    if (!written && errno == EPIPE && m_outputClosed) {
        std::clearerr(stdout);
        m_outputClosed();
    }
    if (m_outTty)
        drawProgress();
}

void Console::setProgress(const QString &text)
{
    if (!m_tty)
        return;
    m_progress = text;
    drawProgress();
}

void Console::clearProgress()
{
    wipeProgress();
    m_progress.clear();
}

void Console::writeErr(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void Console::drawProgress()
{
    if (!m_tty || m_progress.isEmpty())
        return;
    writeErr("\r\033[K" + fitted(m_progress, terminalColumns()).toUtf8());
    m_progressShown = true;
}

void Console::wipeProgress()
{
    if (!m_progressShown)
        return;
    writeErr("\r\033[K");
    m_progressShown = false;
}
