// Runs the real window and a Start job in a process of its own, so that tests can close the
// window or kill the process in the middle of a job and look at what is left.
//   jobdriver <host:port> <program folder> <bar> [close-after-ms]
#include "app/form1.h"

#include "job/hosts.h"
#include "job/render/pagepace.h"
#include "web/engine/webenginesetup.h"
#include "web/folders.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    prepareWebEngine();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return 2;
    PagePace pace;
    pace.afterLoadMs = 100;
    pace.scrollStepMs = 20;
    pace.afterScrollMs = 300;
    setPagePace(pace);
    Hosts::setHosts(args.at(1), args.at(1));
    Settings::setProgramFolder(args.at(2));

    Form1 form;
    form.Text1->setText(args.at(3));
    form.show();
    QTimer::singleShot(0, &form, [&form] {
        form.Command1_Click();
        std::fputs("job returned\n", stderr);
        QCoreApplication::exit(0);
    });
    if (args.size() > 4) {
        QTimer::singleShot(args.at(4).toInt(), &form, [&form] {
            std::fputs("closing\n", stderr);
            std::fflush(stderr);
            form.close();
        });
    }
    return QApplication::exec();
}
