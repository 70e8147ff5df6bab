#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into an orderly QCoreApplication::quit(). A signal handler may do
// almost nothing, so it only writes a byte to a socket pair the event loop is watching.
class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

private:
    static void handle(int signalNumber);
    void quit();

    QSocketNotifier *m_notifier = nullptr;
};
