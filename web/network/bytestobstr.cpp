#include "web/network/bytestobstr.h"

#include <QStringDecoder>
#include <QStringList>

namespace {

// The "gb2312" label means GBK in practice: browsers and the pages' own servers use it that
// way, and ICU's strict GB 2312 turns GBK-only characters into U+001A. GB18030 is the superset.
QByteArray converterName(const QString &charset)
{
    const QString name = charset.trimmed().toLower();
    static const QStringList gbkLabels = {QStringLiteral("gb2312"),     QStringLiteral("gbk"),
                                          QStringLiteral("gb_2312-80"), QStringLiteral("x-gbk"),
                                          QStringLiteral("cp936"),      QStringLiteral("windows-936")};
    if (gbkLabels.contains(name))
        return QByteArrayLiteral("GB18030");
    return name.toLatin1();
}

} // namespace

QString BytesToBstr(const FetchResult &body, const QString &charset)
{
    if (!body.hasBytes())
        return QString();
    const QByteArray name = converterName(charset);
    // A character cut off by the end of the body must end as U+FFFD, like an invalid sequence
    // inside it. Qt's own decoders do so in their stateless mode. Those that Qt takes from ICU
    // (GB18030 among them) drop it silently in that mode, and otherwise keep it for a next call
    // that never comes, as there is no call that ends the stream.
    if (QStringConverter::encodingForName(name.constData()))
        return QStringDecoder(name.constData(), QStringConverter::Flag::Stateless).decode(body.bytes);
    QStringDecoder decoder(name.constData());
    if (!decoder.isValid())
        return QString();
    QString text = decoder.decode(body.bytes);
    // Line breaks end such a character: no multi-byte character holds one, so the decoder turns
    // the pending bytes into U+FFFD as it does inside the body, then yields the breaks. Several
    // of them, because the decoder sizes its output by the input of the call alone. In a
    // character set where they come out as something else, nothing is added.
    const QByteArray ends(16, '\n');
    const QString tail = decoder.decode(ends);
    if (tail.size() > ends.size() && tail.endsWith(QString(ends.size(), u'\n')))
        text += QStringView(tail).first(tail.size() - ends.size());
    return text;
}
