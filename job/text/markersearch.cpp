#include "job/text/markersearch.h"

namespace TextScan {

qsizetype find(QStringView text, QStringView what, qsizetype from)
{
    const qsizetype start = std::max<qsizetype>(from, 1) - 1;
    if (start > text.size())
        return 0;
    return text.indexOf(what, start) + 1;
}

QString mid(const QString &text, qsizetype from, qsizetype count)
{
    if (from < 1 || count <= 0 || from > text.size())
        return QString();
    return text.mid(from - 1, count);
}

double leadingNumber(QStringView text)
{
    qsizetype end = 0;
    if (end < text.size() && (text[end] == u'+' || text[end] == u'-'))
        ++end;
    const qsizetype digitsFrom = end;
    while (end < text.size() && text[end].isDigit() && text[end].unicode() < 128)
        ++end;
    if (end < text.size() && text[end] == u'.') {
        ++end;
        while (end < text.size() && text[end].isDigit() && text[end].unicode() < 128)
            ++end;
    }
    if (end == digitsFrom || (end == digitsFrom + 1 && text[digitsFrom] == u'.'))
        return 0;
    bool ok = false;
    const double value = text.first(end).toDouble(&ok);
    return ok ? value : 0;
}

} // namespace TextScan
