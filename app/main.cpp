#include "app/form1.h"

#include "job/jobchoices.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

const char *const helpText =
    "Usage: quillory [--help | --version]\n"
    "\n"
    "Downloads the pictures of every photo album of one bar of the forum. Type the bar's name\n"
    "into the window and press 开始下载; 重新下载保存失败的文件 tries the failed pictures again.\n"
    "\n"
    "The pictures go to <program folder>/<bar>吧/<album>/<n>.jpg; when the program lies in a\n"
    "system folder (under /usr or /opt, or one that is not the user's own or cannot be written),\n"
    "to the user's pictures folder, subfolder Quillory.\n"
    "\n"
    "Environment:\n"
    "  QUILLORY_FORUM_HOST, QUILLORY_IMAGE_HOST  host[:port] of the forum and of its picture server\n";

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
        std::fputs(helpText, stdout);
        return 0;
    }
    if (hasArgument(argc, argv, "--version", "-v")) {
        std::puts("quillory " QUILLORY_VERSION);
        return 0;
    }
    if (!platformChosen(argc, argv) && !displayNamed())
        noDisplay(QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset); start it in a desktop session"));

    quietQtMessages();
    prepareWebEngine();
    beforeStarting = qInstallMessageHandler(holdBackWhileStarting);
    QApplication app(argc, argv);
    passOnHeldBack();
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    // Ties the window to its menu entry and icon on desktops that go by the entry's name.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quillory.Quillory"));
    const JobChoicesFile settings = JobChoicesFile::read();
    Choices::setCurrent(settings.choices, settings.complaints());
    Form1 window;
    window.show();
    return QApplication::exec();
}
