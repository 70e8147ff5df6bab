#pragma once

#include <QString>

// The hosts a job reads from, each optionally with ":port"; QUILLORY_FORUM_HOST and
// QUILLORY_IMAGE_HOST replace the defaults, and tests point them at a local server.
namespace Hosts {

QString forumHost();
QString imageHost();
void setHosts(const QString &forumHost, const QString &imageHost);

} // namespace Hosts
