#include "web/files/foldername.h"

#include <QFile>

namespace {

bool unsafeCharacter(QChar ch)
{
    if (ch.category() == QChar::Other_Control || ch == u'/' || ch == u'\\')
        return true;
#ifdef Q_OS_WIN
    return QStringView(u"<>:\"|?*").contains(ch);
#else
    return false;
#endif
}

// Text from a page's scripts can hold halves of surrogate pairs. A file name cannot: the
// file system would get a replacement of several bytes for each, and different halves would
// all name the same folder.
void replaceLoneSurrogates(QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar ch = name.at(i);
        if (ch.isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            ++i;
        else if (ch.isSurrogate())
            name[i] = u'_';
    }
}

// Counts the bytes as the file system gets them; by now every surrogate is half of a pair.
QString cutToByteLimit(const QString &name)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size();) {
        const qsizetype units = name.at(i).isHighSurrogate() ? 2 : 1;
        bytes += QFile::encodeName(name.mid(i, units)).size();
        if (bytes > maxNameBytes)
            return name.left(i);
        i += units;
    }
    return name;
}

} // namespace

QString safeFolderName(const QString &name)
{
    QString safe = name;
    for (QChar &ch : safe) {
        if (unsafeCharacter(ch))
            ch = u'_';
    }
    replaceLoneSurrogates(safe);
    safe = cutToByteLimit(safe);
    // Trailing dots and blanks are refused by Windows, and "." / ".." would name another folder.
    for (qsizetype i = safe.size() - 1; i >= 0 && (safe.at(i) == u'.' || safe.at(i) == u' '); --i)
        safe[i] = u'_';
    return safe.isEmpty() ? QStringLiteral("_") : safe;
}
