#include "scratchfile.h"

#include "settings.h"

#include <QFile>

namespace ScratchFile {

QString path(const QString &name)
{
    return Settings::programFolder() + u'/' + name;
}

bool write(const QString &name, const QString &text)
{
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // The system's own code page here is UTF-8.
    const QByteArray line = text.toUtf8() + "\r\n";
    return file.write(line) == line.size();
}

} // namespace ScratchFile
