#include "web/engine/networkservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>

#include <signal.h>

QSet<qint64> networkServices()
{
    QHash<qint64, qint64> parents;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(0) != "Z")
            parents.insert(pid.toLongLong(), fields.at(1).toLongLong());
    }
    const qint64 self = QCoreApplication::applicationPid();
    QSet<qint64> services;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        qint64 ancestor = it.value();
        for (int depth = 0; depth < 8 && ancestor > 1 && ancestor != self; ++depth)
            ancestor = parents.value(ancestor, 0);
        if (ancestor != self || it.key() == self)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(it.key()));
        if (cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().contains("--utility-sub-type=network.mojom.NetworkService"))
            services.insert(it.key());
    }
    return services;
}

QSet<qint64> endNetworkService()
{
    const QSet<qint64> stuck = networkServices();
    for (qint64 pid : stuck)
        ::kill(pid_t(pid), SIGKILL);
    return stuck;
}
