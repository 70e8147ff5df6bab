// Runs the real window and a Start job in a process of its own, so that tests can close the
// window or kill the process in the middle of a job and look at what is left.
//   jobdriver <host:port> <program folder> <bar> [close-after-ms [after-line]]
// The window closes that long after the job began, or after the log first showed that line; a
// job to be closed has its fetches' limits far out.
#include "app/form1.h"

#include "job/engine.h"
#include "web/engine/webenginesetup.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    EngineSettings settings;
    prepareWebEngine(settings.timings);
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4)
        return 2;
    settings.pagePace.afterLoadMs = 100;
    settings.pagePace.scrollStepMs = 20;
    settings.pagePace.afterScrollMs = 300;
    // A job to be closed runs far longer than its close takes: whatever it waits for, a close
    // that waited for it would show.
    if (args.size() > 4) {
        settings.timings.pageLimitSeconds = 60;
        settings.timings.pictureLimitSeconds = 60;
    }
    settings.hosts = Hosts{args.at(1), args.at(1)};
    settings.folders.program = args.at(2);
    Engine engine(settings);

    Form1 form(engine);
    form.Text1->setText(args.at(3));
    form.show();
    const auto closed = std::make_shared<bool>(false);
    QTimer::singleShot(0, &form, [&form, closed] {
        form.Command1_Click();
        // A close ends the program: the handler returns then too, and says nothing.
        if (*closed)
            return;
        std::fputs("job returned\n", stderr);
        QCoreApplication::exit(0);
    });
    const auto closeLater = [&form, closed, ms = args.value(4).toInt()] {
        QTimer::singleShot(ms, &form, [&form, closed] {
            std::fputs("closing\n", stderr);
            std::fflush(stderr);
            *closed = true;
            form.close();
        });
    };
    if (args.size() > 5) {
        const QString line = args.at(5);
        const auto seen = std::make_shared<bool>(false);
        QObject::connect(form.List1->model(), &QAbstractItemModel::rowsInserted, &form,
                         [&form, line, seen, closeLater](const QModelIndex &, int first, int last) {
                             for (int row = first; row <= last && !*seen; ++row) {
                                 if (form.List1->item(row) && form.List1->item(row)->text() == line) {
                                     *seen = true;
                                     closeLater();
                                 }
                             }
                         });
    } else if (args.size() > 4) {
        closeLater();
    }
    return QApplication::exec();
}
