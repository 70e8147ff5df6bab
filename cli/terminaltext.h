#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Text laid out for a terminal, where a Chinese character takes two columns and a line that
// is too long wraps by itself. Qt Core only, so that it is tested without the web engine.
namespace TerminalText {

// How many columns `text` takes: two for a wide (East Asian) character, none for a combining
// mark or a control character, one otherwise.
int columns(const QString &text);

// The longest start of `text` that takes at most `width` columns.
QString cut(const QString &text, int width);

// One piece of a line that may be left out when the line is too long.
struct Part
{
    QString text;
    int keep = 0; // the parts with the lowest value are left out first
    // What joins it to the part before, when that one is shown; two spaces otherwise.
    QString glue = QStringLiteral("  ");
};

// The parts, in their order, joined into one line of at most `width` columns: the least kept
// parts are left out until the rest fits, and the last one left is cut if it must.
QString fitParts(const QList<Part> &parts, int width);

// `text` broken into lines of at most `width` columns: at spaces, and between wide characters,
// except before closing punctuation. The first line starts with `first`, the others with
// `indent` spaces. A word wider than a line is cut.
QStringList wrap(const QString &text, int width, const QString &first = QString(), int indent = 0);

// A text of paragraphs laid out for `width` columns. Lines that start at the margin and follow
// each other make one paragraph. A line that starts indented is a row of a table ("  130  what
// it means"): it continues, with the same hanging indent, on the lines indented deeper below it.
QString wrapParagraphs(const QString &text, int width);

// Two columns, as in a help text: the left ones indented by two spaces, the right ones beside
// them in one column and wrapped; a left side too wide gets its right side on the next line.
QString table(const QList<QPair<QString, QString>> &rows, int width);

// `arguments` as a shell takes them back: each quoted when it must be.
QString shellCommand(const QStringList &arguments);

} // namespace TerminalText
