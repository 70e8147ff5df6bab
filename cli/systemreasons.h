#pragma once

#include <QString>

// The reasons the system gives for a failed file operation ("Permission denied") come in the C
// library's English whenever the user's locale is not installed, and from Qt always in English:
// the common ones are translated with quillory-cli's own texts.
namespace SystemReasons {

// `line` with every common system reason in it in the user's language, as far as the
// catalogue has it.
QString translated(const QString &line);

} // namespace SystemReasons
