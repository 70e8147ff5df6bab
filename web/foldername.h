#pragma once

#include <QString>

// Turns text from the user or the web into the name of exactly one folder level: no separators,
// no control characters, nothing that names "." or "..", nothing the file systems we meet refuse,
// and at most 255 bytes of UTF-8 without splitting a character.
QString safeFolderName(const QString &name);
