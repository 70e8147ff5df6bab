#include "webenginesetup.h"

#include "settings.h"

#include <QByteArray>
#include <QCoreApplication>

#include <unistd.h>

void quietQtMessages()
{
    if (qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        return;
    // The engine's own processes log errors of their start-up and shutdown races themselves.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_CHROMIUM_FLAGS"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--log-level=3");
    static QtMessageHandler fallback = nullptr;
    fallback = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if ((type == QtCriticalMsg || type == QtFatalMsg) && fallback)
            fallback(type, context, message);
    });
}

void prepareWebEngine()
{
    // The web engine shares its GL context with the window; it must be asked for before the app.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    // The engine reads its own command line from this variable when it starts. A bounded script
    // heap makes a page that builds text without end lose its renderer instead of the machine
    // its memory; the flag is added last, so it wins over an earlier one of the user's.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --js-flags=--max-old-space-size=" + QByteArray::number(Settings::timings().pageScriptHeapMiB);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());

    // The engine will not start its sandbox as root and would end the program instead.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}
