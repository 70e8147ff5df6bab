#include "job/hosts.h"

namespace {

struct Moved
{
    QString forumHost;
    QString imageHost;
};

Moved &moved()
{
    static Moved m;
    return m;
}

QString hostFrom(const char *variable, const QString &override, const QString &fallback)
{
    if (!override.isEmpty())
        return override;
    const QString fromEnvironment = qEnvironmentVariable(variable).trimmed();
    return fromEnvironment.isEmpty() ? fallback : fromEnvironment;
}

} // namespace

namespace Hosts {

QString forumHost()
{
    return hostFrom("QUILLORY_FORUM_HOST", moved().forumHost, QStringLiteral("tieba.baidu.com"));
}

QString imageHost()
{
    return hostFrom("QUILLORY_IMAGE_HOST", moved().imageHost, QStringLiteral("imgsrc.baidu.com"));
}

void setHosts(const QString &forumHost, const QString &imageHost)
{
    moved().forumHost = forumHost;
    moved().imageHost = imageHost;
}

} // namespace Hosts
