#include "job/pictures/hiddenmarkers.h"

#include <QString>

#include <algorithm>

namespace {

bool isSpace(QChar ch)
{
    return ch == u' ' || ch == u'\t' || ch == u'\n' || ch == u'\r' || ch == u'\f';
}

bool isAsciiLetter(QChar ch)
{
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z');
}

// A tag's name, up to the first character that cannot continue it.
QStringView tagName(QStringView html, qsizetype from)
{
    qsizetype end = from;
    while (end < html.size() && !isSpace(html[end]) && html[end] != u'>' && html[end] != u'/')
        ++end;
    return html.mid(from, end - from);
}

qsizetype indexOrEnd(qsizetype found, qsizetype size)
{
    return found < 0 ? size : found;
}

// Past the end tag of a raw-text element: its content holds no tags, only text that may look like them.
qsizetype rawTextEnd(QStringView html, qsizetype from, QStringView name)
{
    const QString endTag = u"</" + name.toString();
    return indexOrEnd(html.indexOf(endTag, from, Qt::CaseInsensitive), html.size());
}

class Tokenizer
{
public:
    explicit Tokenizer(QStringView html)
        : m_html(html)
    { }

    QList<MarkupSpan> run()
    {
        qsizetype at = 0;
        while (at < m_html.size()) {
            const qsizetype lt = m_html.indexOf(u'<', at);
            if (lt < 0)
                break;
            if (m_html.mid(lt, 4) == u"<!--")
                at = indexOrEnd(m_html.indexOf(u"-->", lt + 4), m_html.size() - 3) + 3;
            else if (lt + 1 < m_html.size() && m_html[lt + 1] == u'/')
                at = endTag(lt);
            else if (lt + 1 < m_html.size() && isAsciiLetter(m_html[lt + 1]))
                at = startTag(lt);
            else
                at = lt + 1;
        }
        if (m_templates > 0)
            m_spans.append({m_templateFrom, m_html.size()});
        return merged();
    }

private:
    qsizetype endTag(qsizetype lt)
    {
        const QStringView name = tagName(m_html, lt + 2);
        const qsizetype gt = m_html.indexOf(u'>', lt + 2);
        if (m_templates > 0 && name.compare(u"template", Qt::CaseInsensitive) == 0 && --m_templates == 0)
            m_spans.append({m_templateFrom, lt});
        return gt < 0 ? m_html.size() : gt + 1;
    }

    qsizetype startTag(qsizetype lt)
    {
        const QStringView name = tagName(m_html, lt + 1);
        const qsizetype end = attributes(lt + 1 + name.size());
        if (name.compare(u"script", Qt::CaseInsensitive) == 0) {
            const qsizetype close = rawTextEnd(m_html, end, name);
            m_spans.append({end, close});
            return close;
        }
        for (const QStringView raw : {u"style", u"xmp", u"iframe", u"noembed", u"noframes", u"textarea", u"title"}) {
            if (name.compare(raw, Qt::CaseInsensitive) == 0)
                return rawTextEnd(m_html, end, name);
        }
        if (name.compare(u"template", Qt::CaseInsensitive) == 0 && m_templates++ == 0)
            m_templateFrom = end;
        return end;
    }

    // Reads the attributes up to the tag's end; returns the position after it.
    qsizetype attributes(qsizetype at)
    {
        const qsizetype size = m_html.size();
        for (;;) {
            while (at < size && (isSpace(m_html[at]) || m_html[at] == u'/'))
                ++at;
            if (at >= size)
                return size;
            if (m_html[at] == u'>')
                return at + 1;
            const qsizetype nameFrom = at;
            while (at < size && !isSpace(m_html[at]) && m_html[at] != u'=' && m_html[at] != u'>' &&
                   (m_html[at] != u'/' || at == nameFrom))
                ++at;
            const QStringView name = m_html.mid(nameFrom, at - nameFrom);
            while (at < size && isSpace(m_html[at]))
                ++at;
            if (at >= size || m_html[at] != u'=')
                continue;
            ++at;
            while (at < size && isSpace(m_html[at]))
                ++at;
            qsizetype valueFrom = at;
            qsizetype valueTo = at;
            if (at < size && (m_html[at] == u'"' || m_html[at] == u'\'')) {
                valueFrom = at + 1;
                valueTo = indexOrEnd(m_html.indexOf(m_html[at], valueFrom), size);
                at = std::min(valueTo + 1, size);
            } else {
                while (at < size && !isSpace(m_html[at]) && m_html[at] != u'>')
                    ++at;
                valueTo = at;
            }
            if (isBindingAttribute(name))
                m_spans.append({valueFrom, valueTo});
        }
    }

    QList<MarkupSpan> merged()
    {
        std::sort(m_spans.begin(), m_spans.end(),
                  [](const MarkupSpan &a, const MarkupSpan &b) { return a.from < b.from; });
        QList<MarkupSpan> spans;
        for (const MarkupSpan &span : std::as_const(m_spans)) {
            if (span.to <= span.from)
                continue;
            if (!spans.isEmpty() && span.from <= spans.last().to)
                spans.last().to = std::max(spans.last().to, span.to);
            else
                spans.append(span);
        }
        return spans;
    }

    QStringView m_html;
    QList<MarkupSpan> m_spans;
    int m_templates = 0;
    qsizetype m_templateFrom = 0;
};

} // namespace

QList<MarkupSpan> hiddenMarkerSpans(QStringView html)
{
    return Tokenizer(html).run();
}

bool isBindingAttribute(QStringView name)
{
    // Namespaced attributes of SVG and XML are values of their own.
    for (const QStringView own : {u"xlink:", u"xml:", u"xmlns:"}) {
        if (name.startsWith(own, Qt::CaseInsensitive))
            return false;
    }
    // Vue's and Alpine's ':' and '@', Angular's brackets and parentheses, Aurelia's '.bind',
    // Polymer's '$', ...
    if (std::any_of(name.begin(), name.end(), [](QChar ch) { return QStringView(u":@[]().$*#{}").contains(ch); }))
        return true;
    for (const QStringView prefix : {u"v-", u"x-", u"ng-", u"data-ng-", u"data-bind"}) {
        if (name.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}
