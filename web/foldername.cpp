#include "foldername.h"

namespace {

constexpr int maxNameBytes = 255;

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

QString cutToByteLimit(const QString &name)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < name.size();) {
        const bool pair = name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        const qsizetype units = pair ? 2 : 1;
        bytes += QStringView(name).mid(i, units).toUtf8().size();
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
    safe = cutToByteLimit(safe);
    // Trailing dots and blanks are refused by Windows, and "." / ".." would name another folder.
    for (qsizetype i = safe.size() - 1; i >= 0 && (safe.at(i) == u'.' || safe.at(i) == u' '); --i)
        safe[i] = u'_';
    return safe.isEmpty() ? QStringLiteral("_") : safe;
}
