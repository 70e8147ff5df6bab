#pragma once

#include <QString>

#include <optional>

// The text of `a` between the first start marker `b` and the first end marker `c` found from
// one position after the start of `b`. `d` keeps the start marker, `e` appends the end marker;
// an empty `c` takes the rest of `a`. No value when the markers give a start before the text or
// a negative length (an end marker missing, or found inside the start marker).
std::optional<QString> split2(const QString &a, const QString &b, const QString &c, bool d, bool e);
