#include "cli/console.h"

#include "cli/systemreasons.h"
#include "cli/terminaltext.h"

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

int terminalColumns(int fd)
{
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 0;
}

} // namespace

Console::Console(bool quiet, std::FILE *out, std::FILE *err)
    : m_out(out)
    , m_err(err)
    , m_quiet(quiet)
    , m_tty(::isatty(fileno(err)) == 1)
    , m_outTty(::isatty(fileno(out)) == 1)
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
    writeErr(oneLine(SystemReasons::translated(line)));
    drawProgress();
}

void Console::out(const QString &line)
{
    // Standard output may be the same terminal: the progress line must not end up in front.
    if (m_outTty)
        wipeProgress();
    const QByteArray bytes = oneLine(line);
    errno = 0;
    const bool written = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_out) == size_t(bytes.size()) &&
                         std::fflush(m_out) == 0;
    if (!written && errno == EPIPE && m_outputClosed) {
        std::clearerr(m_out);
        m_outputClosed();
    }
    if (m_outTty)
        drawProgress();
}

int Console::columns() const
{
    const int columns = terminalColumns(fileno(m_err));
    return columns > 0 ? columns : 80;
}

int Console::outputColumns()
{
    if (const int columns = terminalColumns(STDOUT_FILENO); columns > 0)
        return columns;
    bool number = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &number);
    return number && columns > 0 ? columns : 80;
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
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_err);
    std::fflush(m_err);
}

void Console::drawProgress()
{
    if (!m_tty || m_progress.isEmpty())
        return;
    // The terminal may have been narrowed since the text was made: a line that wraps cannot be
    // redrawn with a carriage return.
    writeErr("\r\033[K" + TerminalText::cut(m_progress, columns() - 1).toUtf8());
    m_progressShown = true;
}

void Console::wipeProgress()
{
    if (!m_progressShown)
        return;
    writeErr("\r\033[K");
    m_progressShown = false;
}
