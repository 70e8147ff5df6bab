#pragma once

#include "web/picturedownloads.h"

#include <QString>

// Fetches url (within the picture limit) and writes the bytes to tpm in one atomic step, saying
// what became of it: nothing fetched or nothing written leaves tpm exactly as it was before.
SaveOutcome savePicture(const QString &url, const QString &tpm);
