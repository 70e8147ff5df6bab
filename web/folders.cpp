#include "web/folders.h"

#include <QCoreApplication>

namespace {

struct Folders
{
    QString program;
    QString pictures;
    QString scratch;
};

Folders &folders()
{
    static Folders f;
    return f;
}

} // namespace

namespace Settings {

QString programFolder()
{
    if (!folders().program.isEmpty())
        return folders().program;
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    folders().program = folder;
}

QString pictureFolder()
{
    return folders().pictures.isEmpty() ? programFolder() : folders().pictures;
}

void setPictureFolder(const QString &folder)
{
    folders().pictures = folder;
}

QString scratchFolder()
{
    return folders().scratch.isEmpty() ? programFolder() : folders().scratch;
}

void setScratchFolder(const QString &folder)
{
    folders().scratch = folder;
}

} // namespace Settings
