#include "cli/systemreasons.h"

#include <QCoreApplication>

namespace SystemReasons {

namespace {

// The C library's words for the errors a folder or a file of pictures meets.
const char *const reasons[] = {
    QT_TRANSLATE_NOOP("Cli", "Permission denied"),
    QT_TRANSLATE_NOOP("Cli", "No such file or directory"),
    QT_TRANSLATE_NOOP("Cli", "Not a directory"),
    QT_TRANSLATE_NOOP("Cli", "Is a directory"),
    QT_TRANSLATE_NOOP("Cli", "File exists"),
    QT_TRANSLATE_NOOP("Cli", "No space left on device"),
    QT_TRANSLATE_NOOP("Cli", "Read-only file system"),
    QT_TRANSLATE_NOOP("Cli", "Disk quota exceeded"),
    QT_TRANSLATE_NOOP("Cli", "File name too long"),
    QT_TRANSLATE_NOOP("Cli", "Operation not permitted"),
    QT_TRANSLATE_NOOP("Cli", "Too many levels of symbolic links"),
    QT_TRANSLATE_NOOP("Cli", "Input/output error"),
    QT_TRANSLATE_NOOP("Cli", "Too many open files"),
    QT_TRANSLATE_NOOP("Cli", "Directory not empty"),
};

} // namespace

QString translated(const QString &line)
{
    QString result = line;
    for (const char *reason : reasons) {
        const QString english = QString::fromLatin1(reason);
        if (!result.contains(english))
            continue;
        const QString own = QCoreApplication::translate("Cli", reason);
        if (own != english)
            result.replace(english, own);
    }
    return result;
}

} // namespace SystemReasons
