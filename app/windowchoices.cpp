#include "app/windowchoices.h"

namespace {

// The value of option `name` at `arguments[i]`, taking it out of the list: "--name value" or
// "--name=value". No value when the argument is another one.
std::optional<QString> takeValue(QStringList &arguments, qsizetype i, const QString &name, bool *missing)
{
    const QString option = QStringLiteral("--") + name;
    const QString argument = arguments.at(i);
    if (argument.startsWith(option + u'=')) {
        arguments.removeAt(i);
        return argument.mid(option.size() + 1);
    }
    if (argument != option)
        return std::nullopt;
    arguments.removeAt(i);
    if (i >= arguments.size()) {
        *missing = true;
        return QString();
    }
    return arguments.takeAt(i);
}

} // namespace

QString WindowChoices::take(QStringList &arguments)
{
    // The first argument is the program itself.
    for (qsizetype i = 1; i < arguments.size();) {
        bool missing = false;
        if (const auto value = takeValue(arguments, i, QStringLiteral("pace"), &missing)) {
            pace = missing ? std::nullopt : JobChoices::paceNamed(*value);
            if (!pace)
                return QStringLiteral("--pace needs fixed or adaptive, not \"%1\"").arg(*value);
            continue;
        }
        if (const auto value = takeValue(arguments, i, QStringLiteral("pages"), &missing)) {
            pages = missing ? std::nullopt : JobChoices::pagesNamed(*value);
            if (!pages)
                return QStringLiteral("--pages needs a whole number from 1 to %1, not \"%2\"")
                    .arg(JobChoices::mostPages)
                    .arg(*value);
            continue;
        }
        ++i;
    }
    return QString();
}

JobChoicesFile WindowChoices::forNextJob() const
{
    JobChoicesFile file = JobChoicesFile::read();
    // A value the command line gives makes the file's own, good or bad, beside the point.
    if (pace) {
        file.choices.pace = *pace;
        file.paceComplaint.clear();
    }
    if (pages) {
        file.choices.pages = *pages;
        file.pagesComplaint.clear();
    }
    return file;
}

QString WindowChoices::paceLine(const JobChoices &choices)
{
    const JobChoices shipped;
    if (choices.pace == shipped.pace && choices.pages == shipped.pages)
        return QString();
    return QStringLiteral("快速模式：%1节奏，%2个页面")
        .arg(choices.pace == JobChoices::Pace::Adaptive ? QStringLiteral("自适应") : QStringLiteral("固定"))
        .arg(choices.pages);
}

QString WindowChoices::help()
{
    return QStringLiteral(
               "Usage: quillory [--pace fixed|adaptive] [--pages K] [--help | --version]\n"
               "\n"
               "Downloads the pictures of every photo album of one bar of the forum. Type the bar's name\n"
               "into the window and press 开始下载; 重新下载保存失败的文件 tries the failed pictures again,\n"
               "also those a closed window left in the bar's failed.txt.\n"
               "\n"
               "The pictures go to <program folder>/<bar>吧/<album>/<n>.jpg; when the program lies in a\n"
               "system folder (under /usr or /opt, or one that is not the user's own or cannot be written),\n"
               "to the user's pictures folder, subfolder Quillory.\n"
               "\n"
               "Options:\n"
               "  --pace PACE   how album pages are paced: fixed (the forum's own pace, the default) or\n"
               "                adaptive (each page as fast as it renders and settles)\n"
               "  --pages K     load up to K album pages side by side, 1 to %1 (default 1)\n"
               "Both override the settings file for this window's jobs.\n"
               "\n"
               "Settings file (read at every 开始下载, so an edit counts from the next job):\n"
               "  %2\n"
               "  [job]\n"
               "  pace=adaptive    fixed or adaptive\n"
               "  pages=3          1 to %1\n"
               "A job at another pace than the default names it in the log before it begins.\n"
               "\n"
               "Environment:\n"
               "  QUILLORY_FORUM_HOST, QUILLORY_IMAGE_HOST  host[:port] of the forum and of its picture server\n")
        .arg(JobChoices::mostPages)
        .arg(JobChoicesFile::path());
}
