#pragma once

#include <QString>
#include <QStringView>

// Searching the way the page markers are described: 1-based positions, 0 for "not found".
namespace TextScan {

// Position of the first `what` at or after position `from` (a start before 1 counts as 1).
qsizetype find(QStringView text, QStringView what, qsizetype from);

// The characters from position `from`, `count` long, or fewer where the text ends first.
QString mid(const QString &text, qsizetype from, qsizetype count);

// The number written at the start of `text` (optional sign, digits, optional decimal point and
// digits); 0 when it does not begin with a number.
double leadingNumber(QStringView text);

// C0 and C1 controls and DEL: never part of an address or a name that came from a real page.
inline bool isControl(QChar ch)
{
    return ch.unicode() < 0x20 || (ch.unicode() >= 0x7f && ch.unicode() <= 0x9f);
}

} // namespace TextScan
