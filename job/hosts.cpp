#include "job/hosts.h"

namespace {

void replace(QString &host, const char *variable)
{
    const QString fromEnvironment = qEnvironmentVariable(variable).trimmed();
    if (!fromEnvironment.isEmpty())
        host = fromEnvironment;
}

} // namespace

Hosts Hosts::fromEnvironment()
{
    Hosts hosts;
    replace(hosts.forum, "QUILLORY_FORUM_HOST");
    replace(hosts.image, "QUILLORY_IMAGE_HOST");
    return hosts;
}
