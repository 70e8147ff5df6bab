#include "web/settings.h"

#include <QCoreApplication>

namespace {

struct State
{
    Timings timings;
    QString programFolder;
    QString pictureFolder;
    QString scratchFolder;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

namespace Settings {

const Timings &timings()
{
    return state().timings;
}

void setTimings(const Timings &timings)
{
    state().timings = timings;
}

QString programFolder()
{
    if (!state().programFolder.isEmpty())
        return state().programFolder;
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    state().programFolder = folder;
}

QString pictureFolder()
{
    return state().pictureFolder.isEmpty() ? programFolder() : state().pictureFolder;
}

void setPictureFolder(const QString &folder)
{
    state().pictureFolder = folder;
}

QString scratchFolder()
{
    return state().scratchFolder.isEmpty() ? programFolder() : state().scratchFolder;
}

void setScratchFolder(const QString &folder)
{
    state().scratchFolder = folder;
}

} // namespace Settings
