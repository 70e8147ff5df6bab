#pragma once

#include <QList>
#include <QStringView>

// The stretches of serialized markup whose picture markers no reader sees as a link: a script's
// text, the content of a template (the rows a framework stamps copies from), and the value of a
// binding attribute (`:href="'…pic_id=' + id"`, the expression a framework turns into the real
// attribute). Sorted, disjoint, as 0-based [from, to) ranges.
struct MarkupSpan
{
    qsizetype from = 0;
    qsizetype to = 0;
};

QList<MarkupSpan> hiddenMarkerSpans(QStringView html);

// Whether an attribute of this name holds a framework's binding rather than a value of its own.
bool isBindingAttribute(QStringView name);
