#pragma once

#include <QString>

// The folders an engine's jobs use. Each is the program folder unless it was given.
struct Folders
{
    QString program;  // the folder the executable runs from, unless given
    QString pictures; // where the bar folders go
    QString scratch;  // where the scratch files go

    QString programFolder() const;
    QString pictureFolder() const;
    QString scratchFolder() const;
};
