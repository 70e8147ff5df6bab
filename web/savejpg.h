#pragma once

#include <QString>

// Fetches url (10-second limit) and writes the bytes to tpm in one atomic step. Returns the
// index of the last byte written, or 0 when nothing was fetched or nothing could be written:
// tpm then is exactly what it was before.
int SaveJpg(const QString &url, const QString &tpm);

// The same save, for callers that report more than success or failure.
struct SavedPicture
{
    qint64 bytes = 0; // written to tpm; 0 when tpm is as it was
    QString reason;   // why the save counts as failed, in a few words; empty otherwise
    // What SaveJpg returns for this save: a one-byte picture lands but counts as failed.
    int result() const;
};
SavedPicture saveJpgWithReason(const QString &url, const QString &tpm);
