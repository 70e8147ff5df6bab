#pragma once

#include "web/picturedownloads.h"

#include <QString>

// Fetches url (10-second limit) and writes the bytes to tpm in one atomic step. Returns the
// index of the last byte written, or 0 when nothing was fetched or nothing could be written:
// tpm then is exactly what it was before.
int SaveJpg(const QString &url, const QString &tpm);

// The same save, saying what became of it.
SaveOutcome savePicture(const QString &url, const QString &tpm);
