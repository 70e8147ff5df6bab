#pragma once

#include "tests/testsupport.h"
#include "web/engine/webenginesetup.h"

#include <QApplication>
#include <QListWidget>

#include <QHash>
#include <QMetaMethod>

#include <algorithm>

namespace TestSupport {

// The command line of one part of a suite that CTest runs in parts side by side (the suite's
// tests in SHARDS; QUILLORY_TEST_SHARD is "<part>/<parts>"). The test functions are dealt out by
// their seconds, the longest first, each to the part with the fewest so far, so that the parts
// end together: the suite names its long functions in a class info "shardSeconds"
// ("name=seconds name=seconds ..."); any other function counts a second. Each part runs its
// functions in the suite's order. Without a part, the command line as given.
inline QStringList withShard(const QObject &test, QStringList arguments)
{
    const QStringList shard = qEnvironmentVariable("QUILLORY_TEST_SHARD").split(u'/');
    const int part = shard.value(0).toInt();
    const int parts = shard.value(1).toInt();
    if (parts < 1 || part < 1 || part > parts)
        return arguments;
    const QMetaObject *meta = test.metaObject();
    QHash<QString, int> seconds;
    const int info = meta->indexOfClassInfo("shardSeconds");
    if (info >= 0) {
        for (const QString &entry : QString::fromLatin1(meta->classInfo(info).value()).split(u' ', Qt::SkipEmptyParts))
            seconds.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1).toInt());
    }
    struct Function
    {
        QString name;
        int seconds;
        int order;
    };
    QList<Function> functions;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const QByteArray name = method.name();
        if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Private ||
            method.parameterCount() != 0 || name.endsWith("_data") || name == "initTestCase" ||
            name == "cleanupTestCase" || name == "init" || name == "cleanup")
            continue;
        const QString function = QString::fromLatin1(name);
        functions.append({function, seconds.value(function, 1), int(functions.size())});
    }
    std::stable_sort(functions.begin(), functions.end(),
                     [](const Function &a, const Function &b) { return a.seconds > b.seconds; });
    QList<int> load(parts, 0);
    QList<Function> mine;
    for (const Function &function : std::as_const(functions)) {
        const int lightest = int(std::min_element(load.begin(), load.end()) - load.begin());
        load[lightest] += function.seconds;
        if (lightest == part - 1)
            mine.append(function);
    }
    std::sort(mine.begin(), mine.end(), [](const Function &a, const Function &b) { return a.order < b.order; });
    for (const Function &function : std::as_const(mine))
        arguments << function.name;
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
