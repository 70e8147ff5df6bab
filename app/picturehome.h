#pragma once

#include <QString>

// Where one job puts its pictures and scratch files. They belong beside the program, but a
// program installed system-wide (under /usr or /opt, or in any folder that is not its user's
// own or that its user cannot write) sends the pictures to the user's pictures folder instead,
// and the scratch files to the user's cache, for as long as the job runs, whoever runs it. A front end that chose its own folders keeps them.
class PictureHome final
{
    Q_DISABLE_COPY_MOVE(PictureHome)

public:
    PictureHome();
    ~PictureHome();

    // The folder the job's pictures go to instead of the program folder; empty when they go there.
    QString picturesMovedTo() const { return m_movedPictures ? m_movedTo : QString(); }

    static QString fallbackFolder();
    static QString scratchFallbackFolder();

private:
    QString m_movedTo;
    bool m_movedPictures = false;
    bool m_movedScratch = false;
};
