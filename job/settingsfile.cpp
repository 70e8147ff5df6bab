#include "job/settingsfile.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
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

QSettings settingsFile()
{
    return QSettings(JobChoicesFile::path(), QSettings::IniFormat);
}

QString complaint(const QString &key, const QString &value, const QString &allowed)
{
    return QStringLiteral("设置文件%1中的%2=%3无效（应为%4），已忽略").arg(JobChoicesFile::path(), key, value, allowed);
}

// Why the file at `path` cannot be settings, as a log line; empty when it can be read as such
// (or is not there). Only its first bytes are ever read, so a huge file costs no memory, and
// what is not a plain file (a folder, a device, a pipe) is not opened at all.
QString unusable(const QString &path)
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
    const QByteArray bytes = file.read(JobChoicesFile::mostBytes + 1);
    if (bytes.size() > JobChoicesFile::mostBytes)
        return tooLarge;
    // Text in any of the encodings a settings file is written in has no zero bytes.
    if (bytes.contains('\0'))
        return QStringLiteral("设置文件%1不是文本文件，已忽略").arg(path);
    return {};
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
    file.fileComplaint = unusable(path());
    if (!file.fileComplaint.isEmpty())
        return file;
    const QSettings settings = settingsFile();
    const QVariant pace = settings.value(QStringLiteral("job/pace"));
    const QVariant pages = settings.value(QStringLiteral("job/pages"));
    // A value with a comma reads as a list; it is not one of the choices either way.
    const auto text = [](const QVariant &value) {
        return value.userType() == QMetaType::QStringList ? value.toStringList().join(u',') : value.toString();
    };
    if (pace.isValid()) {
        if (const auto chosen = JobChoices::paceNamed(text(pace)))
            file.choices.pace = *chosen;
        else
            file.paceComplaint = complaint(QStringLiteral("pace"), text(pace), QStringLiteral("fixed或adaptive"));
    }
    if (pages.isValid()) {
        if (const auto chosen = JobChoices::pagesNamed(text(pages)))
            file.choices.pages = *chosen;
        else
            file.pagesComplaint =
                complaint(QStringLiteral("pages"), text(pages), QStringLiteral("1到%1").arg(JobChoices::mostPages));
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
    return lines;
}
