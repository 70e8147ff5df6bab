#pragma once

#include <QString>

// Turns text from the user or the web into the name of exactly one folder level: no separators,
// no control characters, no halves of surrogate pairs, nothing that names "." or "..", nothing the
// file systems we meet refuse, and at most maxNameBytes as the file system encodes the name,
// without splitting a character.
QString safeFolderName(const QString &name);

// The longest name of one folder level the file systems we meet take, in bytes as encoded.
inline constexpr int maxNameBytes = 255;
