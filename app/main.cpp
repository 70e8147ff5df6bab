#include "form1.h"

#include "webenginesetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    Form1 window;
    window.show();
    return QApplication::exec();
}
