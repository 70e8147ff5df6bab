#pragma once

#include "tests/testsupport.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>
#include <QListWidget>

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

inline QStringList lines(const QListWidget *list)
{
    QStringList result;
    for (int i = 0; i < list->count(); ++i)
        result << list->item(i)->text();
    return result;
}

} // namespace TestSupport
