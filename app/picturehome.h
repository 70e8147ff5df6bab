#pragma once

#include "web/files/folders.h"

#include <QString>

// Where one job puts its pictures and scratch files, decided afresh for each. They belong beside
// the program, but a program installed system-wide (under /usr or /opt, or in any folder that is
// not its user's own or that its user cannot write) sends the pictures to the user's pictures
// folder instead, and the scratch files to the user's cache, whoever runs it. Folders the engine
// was given stay as they are.
class PictureHome final
{
public:
    // Decides for a job on an engine with `folders`, and makes the folders it moves to.
    explicit PictureHome(const Folders &folders);

    // The job's folders.
    const Folders &folders() const { return m_folders; }
    // The folder the job's pictures go to instead of the program folder; empty when they go there.
    QString picturesMovedTo() const { return m_movedPictures ? m_folders.pictures : QString(); }

    static QString fallbackFolder();
    static QString scratchFallbackFolder();

private:
    Folders m_folders;
    bool m_movedPictures = false;
};
