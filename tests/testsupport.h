#pragma once

#include "settings.h"
#include "webenginesetup.h"

#include <QApplication>
#include <QListWidget>
#include <QStringList>
#include <QTest>

// The web engine has to be prepared before the application exists, so every test that may show
// a browser starts through this main.
#define QUILLORY_TEST_MAIN(TestClass)                                                                                  \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        prepareWebEngine();                                                                                            \
        QApplication app(argc, argv);                                                                                  \
        QApplication::setApplicationName(QStringLiteral("Quillory"));                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

namespace TestSupport {

inline Timings shortTimings()
{
    return Timings::shortened();
}

inline QStringList lines(const QListWidget *list)
{
    QStringList result;
    for (int i = 0; i < list->count(); ++i)
        result << list->item(i)->text();
    return result;
}

// The address of picture `id` on the picture host `host`.
inline QString pictureUrl(const QString &host, const QString &id)
{
    return QStringLiteral("http://%1/forum/pic/item/%2.jpg").arg(host, id);
}

// Every file below `folder`, relative to it, sorted.
QStringList filesBelow(const QString &folder);

} // namespace TestSupport
