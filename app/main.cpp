#include "app/form1.h"
#include "app/windowchoices.h"

#include "job/engine.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

bool hasArgument(int argc, char *argv[], const char *a, const char *b)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], a) == 0 || std::strcmp(argv[i], b) == 0)
            return true;
    }
    return false;
}

bool platformChosen(int argc, char *argv[])
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || hasArgument(argc, argv, "-platform", "--platform");
}

// Without any display the platform plugin aborts the program with a page of advice; one line
// says it better. A display that is named but cannot be reached is caught while the
// application starts (see below).
bool displayNamed()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

[[noreturn]] void noDisplay(const QString &why)
{
    std::fprintf(stderr, "quillory: cannot open its window: %s\n", qPrintable(why));
    std::fflush(stderr);
    std::_Exit(1);
}

// The warnings while the platform plugin looks for a display, held back: if it then gives up,
// the first of the plugin's own (which names the display it could not reach) becomes the one
// line of noDisplay; otherwise they are passed on as usual.
struct HeldBack
{
    QtMsgType type;
    const char *file;
    int line;
    const char *function;
    const char *category;
    QString message;
};
QList<HeldBack> heldBack;

void holdBackWhileStarting(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        for (const HeldBack &m : std::as_const(heldBack)) {
            if (m.category && std::strncmp(m.category, "qt.qpa", 6) == 0)
                noDisplay(m.message);
        }
        noDisplay(message.section(u'\n', 0, 0));
    }
    heldBack.append({type, context.file, context.line, context.function, context.category, message});
}

QtMessageHandler beforeStarting = nullptr;

void passOnHeldBack()
{
    qInstallMessageHandler(beforeStarting);
    for (const HeldBack &m : std::as_const(heldBack))
        qt_message_output(m.type, QMessageLogContext(m.file, m.line, m.function, m.category), m.message);
    heldBack.clear();
}

} // namespace

int main(int argc, char *argv[])
{
    if (hasArgument(argc, argv, "--help", "-h")) {
        std::fputs(WindowChoices::help().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (hasArgument(argc, argv, "--version", "-v")) {
        std::puts("quillory " QUILLORY_VERSION);
        return 0;
    }
    // Said before any window is tried: a wrong value would otherwise be found only by its effect.
    WindowChoices commandLine;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (const QString wrong = commandLine.take(arguments); !wrong.isEmpty()) {
        std::fprintf(stderr, "quillory: %s\nTry \"quillory --help\".\n", qPrintable(wrong));
        return 2;
    }
    if (!platformChosen(argc, argv) && !displayNamed())
        noDisplay(QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset); start it in a desktop session"));

    const EngineSettings settings = EngineSettings::shipped();
    quietQtMessages();
    prepareWebEngine(settings.timings);
    beforeStarting = qInstallMessageHandler(holdBackWhileStarting);
    QApplication app(argc, argv);
    passOnHeldBack();
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    // Ties the window to its menu entry and icon on desktops that go by the entry's name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillory.Quillory"));
    Engine engine(settings);
    Form1 window(engine);
    window.readChoicesAtEachStart(commandLine);
    window.show();
    return QApplication::exec();
}
