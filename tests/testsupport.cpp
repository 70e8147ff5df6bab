#include "testsupport.h"

#include <QDir>
#include <QDirIterator>

namespace TestSupport {

QStringList filesBelow(const QString &folder)
{
    QStringList result;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        result << QDir(folder).relativeFilePath(it.next());
    result.sort();
    return result;
}

} // namespace TestSupport
