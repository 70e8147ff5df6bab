#include "job/text/split2.h"

std::optional<QString> split2(const QString &a, const QString &b, const QString &c, bool d, bool e)
{
    // Positions are 1-based with 0 for "not found", as the markers' users count them.
    const qsizetype x = a.isEmpty() ? 0 : a.indexOf(b) + 1;
    const qsizetype start = x + (d ? 0 : b.size());
    if (start < 1)
        return std::nullopt;
    if (c.isEmpty())
        return a.mid(start - 1);

    const qsizetype y = x < a.size() ? a.indexOf(c, x) + 1 : 0;
    const qsizetype count = (y - x) - (d ? 0 : b.size());
    if (count < 0)
        return std::nullopt;
    return a.mid(start - 1, count) + (e ? c : QString());
}
