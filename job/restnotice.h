#pragma once

#include "job/jobwindow.h"
#include "web/network/hostholds.h"

#include <QObject>

// While it lives, each rest a server asks `holds` for is said in the window's log, once, and so is
// each host given up for asking rest after rest. One command runs at a time, each with its own notice.
class HoldNotice final
{
    Q_DISABLE_COPY_MOVE(HoldNotice)

public:
    HoldNotice(JobWindow &window, HostHolds &holds)
    {
        m_connection =
            QObject::connect(&holds, &HostHolds::holding, &holds, [&window](const QString &host, int seconds) {
                window.AppendLog(QStringLiteral("服务器要求暂停%1秒后再试：%2").arg(seconds).arg(host));
                window.ShowLastLogLine();
            });
        m_givingUp = QObject::connect(&holds, &HostHolds::givingUp, &holds, [&window](const QString &host) {
            window.AppendLog(QStringLiteral("服务器一直要求暂停，本次不再向它请求：%1").arg(host));
            window.ShowLastLogLine();
        });
    }
    ~HoldNotice()
    {
        QObject::disconnect(m_connection);
        QObject::disconnect(m_givingUp);
    }

private:
    QMetaObject::Connection m_connection;
    QMetaObject::Connection m_givingUp;
};
