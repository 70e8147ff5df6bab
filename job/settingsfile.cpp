#include "job/settingsfile.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

std::optional<JobChoices::Pace> JobChoices::paceNamed(const QString &name)
{
    const QString word = name.trimmed().toLower();
    if (word == u"fixed")
        return Pace::Fixed;
    if (word == u"adaptive")
        return Pace::Adaptive;
    return std::nullopt;
}

std::optional<int> JobChoices::pagesNamed(const QString &text)
{
    bool number = false;
    const int pages = text.trimmed().toInt(&number);
    if (!number || pages < 1 || pages > mostPages)
        return std::nullopt;
    return pages;
}

namespace {

QString complaint(const QString &key, const QString &value, const QString &allowed)
{
    return QStringLiteral("设置文件%1中的%2=%3无效（应为%4），已忽略").arg(JobChoicesFile::path(), key, value, allowed);
}

// Why the file at `path` cannot be settings, as a log line; empty when it can be read as such
// (or is not there), with its bytes in `bytes`. Only its first bytes are ever read, so a huge
// file costs no memory, and what is not a plain file (a folder, a device, a pipe) is not opened
// at all.
QString unusable(const QString &path, QByteArray &bytes)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (info.isDir())
        return QStringLiteral("设置文件%1是文件夹，已忽略").arg(path);
    if (!info.isFile())
        return QStringLiteral("设置文件%1不是文本文件，已忽略").arg(path);
    const QString tooLarge =
        QStringLiteral("设置文件%1大于%2KB，已忽略").arg(path, QString::number(JobChoicesFile::mostBytes / 1024));
    if (info.size() > JobChoicesFile::mostBytes)
        return tooLarge;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("设置文件%1无法读取，已忽略").arg(path);
    bytes = file.read(JobChoicesFile::mostBytes + 1);
    if (bytes.size() > JobChoicesFile::mostBytes)
        return tooLarge;
    // Text in any of the encodings a settings file is written in has no zero bytes.
    if (bytes.contains('\0'))
        return QStringLiteral("设置文件%1不是文本文件，已忽略").arg(path);
    return {};
}

// A line without what follows a "#" or ";" that begins it or comes after a blank.
QString withoutComment(const QString &line)
{
    for (qsizetype i = 0; i < line.size(); ++i) {
        if ((line.at(i) == u'#' || line.at(i) == u';') && (i == 0 || line.at(i - 1).isSpace()))
            return line.left(i).trimmed();
    }
    return line.trimmed();
}

// A value as it is written, or what the double quotes around it hold.
QString unquoted(const QString &value)
{
    return value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"') ? value.mid(1, value.size() - 2) : value;
}

struct Entries
{
    QString pace;
    QString pages;
    bool hasPace = false;
    bool hasPages = false;
    QStringList ignored;
};

// The [job] section's values of `text`, the last of each, and what the text holds besides.
Entries entriesOf(QString text)
{
    const QString path = JobChoicesFile::path();
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    Entries entries;
    const auto ignore = [&entries](const QString &line) {
        if (!entries.ignored.contains(line))
            entries.ignored << line;
    };
    QString section;
    bool inSection = false;
    for (const QStringView raw : QStringView(text).split(u'\n')) {
        const QString line = withoutComment(raw.toString());
        if (line.isEmpty())
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            inSection = true;
            if (section != u"job")
                ignore(QStringLiteral("设置文件%1中的[%2]无法识别（应为[job]），已忽略").arg(path, section));
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        const QString key = equals < 0 ? line : line.left(equals).trimmed();
        const QString named = equals < 0 ? line : key + u'=';
        // Everything in a section that is not [job] was said with the section.
        if (inSection && section != u"job")
            continue;
        if (!inSection) {
            ignore(QStringLiteral("设置文件%1中[job]之外的%2无法识别（应写在[job]中），已忽略").arg(path, named));
        } else if (equals >= 0 && key == u"pace") {
            entries.pace = unquoted(line.mid(equals + 1).trimmed());
            entries.hasPace = true;
        } else if (equals >= 0 && key == u"pages") {
            entries.pages = unquoted(line.mid(equals + 1).trimmed());
            entries.hasPages = true;
        } else {
            ignore(QStringLiteral("设置文件%1中[job]的%2无法识别（应为pace=或pages=），已忽略").arg(path, named));
        }
    }
    return entries;
}

} // namespace

QString JobChoicesFile::path()
{
    // Qt's own user-scope INI file for organisation and application "Quillory" would end in
    // ".ini"; this is the name the native format gives it on this system, in the same place.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Quillory/Quillory.conf");
}

JobChoicesFile JobChoicesFile::read()
{
    JobChoicesFile file;
    QByteArray bytes;
    file.fileComplaint = unusable(path(), bytes);
    if (!file.fileComplaint.isEmpty())
        return file;
    const Entries entries = entriesOf(QString::fromUtf8(bytes));
    file.ignored = entries.ignored;
    if (entries.hasPace) {
        if (const auto chosen = JobChoices::paceNamed(entries.pace))
            file.choices.pace = *chosen;
        else
            file.paceComplaint = complaint(QStringLiteral("pace"), entries.pace, QStringLiteral("fixed或adaptive"));
    }
    if (entries.hasPages) {
        if (const auto chosen = JobChoices::pagesNamed(entries.pages))
            file.choices.pages = *chosen;
        else
            file.pagesComplaint =
                complaint(QStringLiteral("pages"), entries.pages, QStringLiteral("1到%1").arg(JobChoices::mostPages));
    }
    return file;
}

QStringList JobChoicesFile::complaints() const
{
    QStringList lines;
    for (const QString &line : {fileComplaint, paceComplaint, pagesComplaint}) {
        if (!line.isEmpty())
            lines << line;
    }
    return lines + ignored;
}
