#pragma once

#include <QString>

// The folders the program uses, kept in one place so that tests and front ends can move them.
namespace Settings {

// The folder the executable runs from, unless a test has moved it.
QString programFolder();
void setProgramFolder(const QString &folder);

// Where the bar folders go, and where the scratch files go; both are the program folder
// unless a front end has moved them.
QString pictureFolder();
void setPictureFolder(const QString &folder);
QString scratchFolder();
void setScratchFolder(const QString &folder);

} // namespace Settings
