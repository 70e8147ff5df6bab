#include "job/scratchfiles.h"

#include <QFile>

namespace ScratchFile {

QString path(const QString &folder, const QString &name)
{
    return folder + u'/' + name;
}

bool write(const QString &folder, const QString &name, const QString &text)
{
    QFile file(path(folder, name));
    // Overwritten in place and cut to length rather than truncated first: freeing and
    // reallocating the block on every picture costs more than the rest of a save.
    if (!file.open(QIODevice::ReadWrite))
        return false;
    // The system's own code page here is UTF-8.
    const QByteArray line = text.toUtf8() + "\r\n";
    return file.write(line) == line.size() && file.resize(line.size());
}

} // namespace ScratchFile
