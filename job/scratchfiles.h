#pragma once

#include <QString>

// The scratch files beside the executable, kept for whoever wants to look at what the job saw.
namespace ScratchFile {

QString path(const QString &name);

// Replaces the file's contents with `text` and a CR LF. A scratch file that cannot be written
// is not worth stopping a download for, so failure is only reported.
bool write(const QString &name, const QString &text);

} // namespace ScratchFile
