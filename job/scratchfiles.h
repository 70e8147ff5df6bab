#pragma once

#include <QString>

// The scratch files (beside the executable unless a front end moved them), kept for whoever
// wants to look at what the job saw.
namespace ScratchFile {

QString path(const QString &folder, const QString &name);

// Replaces the contents of the file `name` in `folder` with `text` and a CR LF. A scratch file
// that cannot be written is not worth stopping a download for, so failure is only reported.
bool write(const QString &folder, const QString &name, const QString &text);

} // namespace ScratchFile
