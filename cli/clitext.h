#pragma once

#include <QCoreApplication>

// quillory-cli's own texts are written as Cli::tr("…"): lupdate collects them into the
// catalogues of cli/translations, and the one for the user's locale is loaded at start. The
// job's log lines are the window's and are not translated.
struct Cli
{
    Q_DECLARE_TR_FUNCTIONS(Cli)
};
