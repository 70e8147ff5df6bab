#include "form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The web engine shares its GL context with the window; it must be asked for before the app.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillory"));
    Form1 window;
    window.show();
    return QApplication::exec();
}
