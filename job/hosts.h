#pragma once

#include <QString>

// The hosts a job reads from, each optionally with ":port": the real service's unless an engine
// is given others. QUILLORY_FORUM_HOST and QUILLORY_IMAGE_HOST replace them for the programs;
// tests point them at a local server.
struct Hosts
{
    QString forum = QStringLiteral("tieba.baidu.com");
    QString image = QStringLiteral("imgsrc.baidu.com");

    // The real service's, with what QUILLORY_FORUM_HOST and QUILLORY_IMAGE_HOST name instead.
    static Hosts fromEnvironment();
};
