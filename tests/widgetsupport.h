#pragma once

#include "tests/testsupport.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>
#include <QListWidget>

#include <QMetaMethod>

namespace TestSupport {

// The command line of one part of a suite that CTest runs in parts side by side (the suite's
// tests in SHARDS; QUILLORY_TEST_SHARD is "<part>/<parts>"): the test functions are dealt out in
// their order. Without it, the command line as given.
inline QStringList withShard(const QObject &test, QStringList arguments)
{
    const QStringList shard = qEnvironmentVariable("QUILLORY_TEST_SHARD").split(u'/');
    const int part = shard.value(0).toInt();
    const int parts = shard.value(1).toInt();
    if (parts < 1 || part < 1 || part > parts)
        return arguments;
    const QMetaObject *meta = test.metaObject();
    int index = 0;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QByteArray name = method.name();
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private ||
            method.parameterCount() != 0 || name.endsWith("_data") || name == "initTestCase" ||
            name == "cleanupTestCase" || name == "init" || name == "cleanup")
            continue;
        if (index++ % parts == part - 1)
            arguments << QString::fromLatin1(name);
    }
    return arguments;
}

} // namespace TestSupport

// The web engine has to be prepared before the application exists, so every test that may show
// a browser starts through this main.
#define QUILLORY_TEST_MAIN(TestClass)                                                                                  \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        prepareWebEngine(Timings());                                                                                   \
        QApplication app(argc, argv);                                                                                  \
        QApplication::setApplicationName(QStringLiteral("Quillory"));                                                  \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, TestSupport::withShard(test, QCoreApplication::arguments()));                       \
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
