#include "web/files/folders.h"

#include <QCoreApplication>

QString Folders::programFolder() const
{
    return program.isEmpty() ? QCoreApplication::applicationDirPath() : program;
}

QString Folders::pictureFolder() const
{
    return pictures.isEmpty() ? programFolder() : pictures;
}

QString Folders::scratchFolder() const
{
    return scratch.isEmpty() ? programFolder() : scratch;
}
