#include "web/settings.h"

#include <QCoreApplication>

namespace {

struct State
{
    Timings timings;
    QString forumHost;
    QString imageHost;
    QString programFolder;
    QString pictureFolder;
    QString scratchFolder;
};

State &state()
{
    static State s;
    return s;
}

QString hostFrom(const char *variable, const QString &override, const QString &fallback)
{
    if (!override.isEmpty())
        return override;
    const QString fromEnvironment = qEnvironmentVariable(variable).trimmed();
    return fromEnvironment.isEmpty() ? fallback : fromEnvironment;
}

} // namespace

namespace Settings {

const Timings &timings()
{
    return state().timings;
}

void setTimings(const Timings &timings)
{
    state().timings = timings;
}

QString forumHost()
{
    return hostFrom("QUILLORY_FORUM_HOST", state().forumHost, QStringLiteral("tieba.baidu.com"));
}

QString imageHost()
{
    return hostFrom("QUILLORY_IMAGE_HOST", state().imageHost, QStringLiteral("imgsrc.baidu.com"));
}

void setHosts(const QString &forumHost, const QString &imageHost)
{
    state().forumHost = forumHost;
    state().imageHost = imageHost;
}

QString programFolder()
{
    if (!state().programFolder.isEmpty())
        return state().programFolder;
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    state().programFolder = folder;
}

QString pictureFolder()
{
    return state().pictureFolder.isEmpty() ? programFolder() : state().pictureFolder;
}

void setPictureFolder(const QString &folder)
{
    state().pictureFolder = folder;
}

QString scratchFolder()
{
    return state().scratchFolder.isEmpty() ? programFolder() : state().scratchFolder;
}

void setScratchFolder(const QString &folder)
{
    state().scratchFolder = folder;
}

} // namespace Settings
