#include "web/engine/webenginesetup.h"

#include "web/network/timings.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <unistd.h>

void quietQtMessages()
{
    if (qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        return;
    // The engine's own processes' error lines are kept down by prepareWebEngine().
    static QtMessageHandler fallback = nullptr;
    fallback = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
        if ((type == QtCriticalMsg || type == QtFatalMsg) && fallback)
            fallback(type, context, message);
    });
}

void prepareWebEngine(const Timings &timings)
{
    // The web engine shares its GL context with the window; it must be asked for before the app.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    // The engine reads its own command line from this variable when it starts. A bounded script
    // heap makes a page that builds text without end lose its renderer instead of the machine
    // its memory; the flag is added last, so it wins over an earlier one of the user's.
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!qEnvironmentVariableIsSet("QT_LOGGING_RULES")) {
        // The engine's start-up report (its settings, the sandbox, the graphics back end) and
        // Chromium's own error lines are about the engine, not the job: kept off the terminal
        // unless QT_LOGGING_RULES asks for Qt's messages. Chromium's flag goes first, so that
        // the user's own --log-level wins.
        flags.prepend("--log-level=3 ");
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                        "default.info=false"));
    }
    flags += " --js-flags=--max-old-space-size=" + QByteArray::number(timings.pageScriptHeapMiB);
    // A page the engine takes for hidden would get its timers slowed to once a second (to once a
    // minute after five minutes) and its renderer a lower priority, and a gallery that loads on
    // timers would look settled long before it is. Every page renders for the job, seen or not.
    flags += " --disable-background-timer-throttling --disable-renderer-backgrounding";
    // The engine's network side runs in a process of its own, not on a thread of this program: a
    // page answered with interim responses without end keeps that side busy for good, and only
    // a process can be ended (the engine then starts a fresh one) so that later pages load.
    const QByteArray disable = "--disable-features=";
    const qsizetype at = flags.indexOf(disable);
    if (at >= 0)
        flags.insert(at + disable.size(), "NetworkServiceInProcess,");
    else
        flags += " " + disable + "NetworkServiceInProcess";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());

    // The engine will not start its sandbox as root and would end the program instead.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}
