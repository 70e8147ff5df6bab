#include "cli/terminaltext.h"

#include <algorithm>

namespace TerminalText {

namespace {

// The characters East Asian terminals draw two columns wide: the Unicode "wide" and
// "fullwidth" blocks that text in practice uses.
bool isWide(char32_t c)
{
    static constexpr char32_t ranges[][2] = {
        {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x2E80, 0x303E},   {0x3041, 0x33FF},
        {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xA960, 0xA97F},   {0xAC00, 0xD7A3},
        {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},
        {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
    };
    for (const auto &range : ranges) {
        if (c >= range[0] && c <= range[1])
            return true;
    }
    return false;
}

int width(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return 0;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
        return 0;
    default:
        break;
    }
    return isWide(c) ? 2 : 1;
}

// The code points of `text`, each with the UTF-16 units it takes.
struct CodePoint
{
    char32_t value;
    qsizetype at;
    qsizetype size;
};

QList<CodePoint> codePoints(const QString &text)
{
    QList<CodePoint> points;
    points.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (ch.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            points.append({QChar::surrogateToUcs4(ch, text.at(i + 1)), i, 2});
            ++i;
        } else {
            points.append({ch.unicode(), i, 1});
        }
    }
    return points;
}

// No line starts with closing punctuation, nor ends with opening punctuation.
bool closing(char32_t c)
{
    return QStringView(u"，。、；：？！）》」』】〕”’…,.;:?!)]}").contains(QChar(c));
}

bool opening(char32_t c)
{
    return QStringView(u"（《「『【〔“‘([{").contains(QChar(c));
}

bool asciiAlnum(char32_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// A word cut where a line may break inside it: between wide characters, and between a wide
// character and a Latin letter or digit; never inside a placeholder such as "<序号>", nor
// beside the "/" of a path.
QStringList chunks(const QString &word)
{
    QStringList pieces;
    const QList<CodePoint> points = codePoints(word);
    qsizetype from = 0;
    int placeholder = points.isEmpty() || points.first().value != u'<' ? 0 : 1;
    for (qsizetype i = 1; i < points.size(); ++i) {
        const char32_t before = points.at(i - 1).value;
        const char32_t after = points.at(i).value;
        if (after == u'<')
            ++placeholder;
        else if (before == u'>' && placeholder > 0)
            --placeholder;
        if (placeholder > 0)
            continue;
        const bool seam = (isWide(before) && isWide(after)) || (isWide(before) && asciiAlnum(after)) ||
                          (asciiAlnum(before) && isWide(after));
        if (seam && !closing(after) && !opening(before)) {
            pieces.append(word.mid(from, points.at(i).at - from));
            from = points.at(i).at;
        }
    }
    pieces.append(word.mid(from));
    return pieces;
}

// Two lines of a paragraph joined: Chinese runs on without a space.
QString joined(const QString &a, const QString &b)
{
    if (a.isEmpty())
        return b;
    const QList<CodePoint> end = codePoints(a.right(2));
    const QList<CodePoint> start = codePoints(b.left(2));
    const bool wideSeam =
        (!end.isEmpty() && isWide(end.last().value)) || (!start.isEmpty() && isWide(start.first().value));
    return wideSeam ? QString(a + b) : QString(a + u' ' + b);
}

qsizetype leadingSpaces(const QString &line)
{
    qsizetype n = 0;
    while (n < line.size() && line.at(n) == u' ')
        ++n;
    return n;
}

} // namespace

int columns(const QString &text)
{
    int used = 0;
    for (const CodePoint &point : codePoints(text))
        used += width(point.value);
    return used;
}

QString cut(const QString &text, int width)
{
    int used = 0;
    for (const CodePoint &point : codePoints(text)) {
        used += TerminalText::width(point.value);
        if (used > width)
            return text.left(point.at);
    }
    return text;
}

QString fitParts(const QList<Part> &parts, int width)
{
    QList<bool> shown(parts.size(), true);
    const auto line = [&] {
        QString text;
        bool previousShown = false;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (!shown.at(i)) {
                previousShown = false;
                continue;
            }
            if (!text.isEmpty())
                text += previousShown ? parts.at(i).glue : QStringLiteral("  ");
            text += parts.at(i).text;
            previousShown = true;
        }
        return text;
    };
    QString text = line();
    while (columns(text) > width && std::count(shown.cbegin(), shown.cend(), true) > 1) {
        qsizetype least = -1;
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (shown.at(i) && (least < 0 || parts.at(i).keep <= parts.at(least).keep))
                least = i;
        }
        shown[least] = false;
        text = line();
    }
    return cut(text, width);
}

QStringList wrap(const QString &text, int width, const QString &first, int indent)
{
    width = std::max(width, indent + 10);
    QStringList lines;
    QString line = first;
    int used = columns(first);
    bool content = false;
    const auto newLine = [&] {
        lines.append(line);
        line = QString(indent, u' ');
        used = indent;
        content = false;
    };
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        bool inWord = false;
        for (QString chunk : chunks(word)) {
            const QString glue = content && !inWord ? QStringLiteral(" ") : QString();
            if (content && used + columns(glue) + columns(chunk) > width)
                newLine();
            else if (content) {
                line += glue;
                used += columns(glue);
            }
            // A word wider than a whole line: cut where the line ends.
            while (used + columns(chunk) > width) {
                const QString piece = cut(chunk, width - used);
                if (piece.isEmpty() && !content)
                    break;
                line += piece;
                chunk = chunk.mid(piece.size());
                newLine();
            }
            line += chunk;
            used += columns(chunk);
            content = true;
            inWord = true;
        }
    }
    lines.append(line);
    return lines;
}

QString wrapParagraphs(const QString &text, int width)
{
    const QStringList input = text.split(u'\n');
    QStringList output;
    for (qsizetype i = 0; i < input.size();) {
        const QString &line = input.at(i);
        if (line.trimmed().isEmpty()) {
            output.append(QString());
            ++i;
            continue;
        }
        const qsizetype indent = leadingSpaces(line);
        // A row's text starts after its first word and the spaces behind it.
        qsizetype start = indent;
        if (indent > 0) {
            qsizetype end = indent;
            while (end < line.size() && line.at(end) != u' ')
                ++end;
            const qsizetype after = end + leadingSpaces(line.mid(end));
            if (after - end >= 2 && after < line.size())
                start = after;
        }
        QString body = line.mid(start);
        for (++i; i < input.size() && !input.at(i).trimmed().isEmpty(); ++i) {
            const qsizetype next = leadingSpaces(input.at(i));
            if (indent == 0 ? next != 0 : next <= indent)
                break;
            body = joined(body, input.at(i).trimmed());
        }
        const QString prefix = line.left(start);
        output += wrap(body, width, prefix, columns(prefix));
    }
    return output.join(u'\n');
}

QString table(const QList<QPair<QString, QString>> &rows, int width)
{
    int left = 0;
    for (const auto &row : rows)
        left = std::max(left, columns(row.first));
    // Two spaces before and between; a left side that would leave the right too narrow sits alone.
    const int column = std::min(2 + left + 2, std::max(width / 2, 12));
    QStringList lines;
    for (const auto &row : rows) {
        QString prefix = QStringLiteral("  ") + row.first;
        const int used = columns(prefix);
        if (used + 2 > column) {
            lines.append(prefix);
            prefix.clear();
        }
        prefix += QString(column - columns(prefix), u' ');
        lines += wrap(row.second, width, prefix, column);
    }
    return lines.join(u'\n');
}

QString shellCommand(const QStringList &arguments)
{
    QStringList quoted;
    for (const QString &argument : arguments) {
        bool plain = !argument.isEmpty();
        for (const QChar ch : argument) {
            const char16_t c = ch.unicode();
            const bool safe = (c > 0x7F && ch.isPrint() && !ch.isSpace()) || (c >= u'a' && c <= u'z') ||
                              (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                              QStringView(u"_@%+=:,./-").contains(ch);
            plain = plain && safe;
        }
        quoted.append(plain ? argument : u'\'' + QString(argument).replace(u'\'', QStringLiteral("'\\''")) + u'\'');
    }
    return quoted.join(u' ');
}

} // namespace TerminalText
