#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// How a job goes through a bar's album pages, as the user chose it: in the settings file both
// front ends read, and for quillory-cli on its command line, which has the last word.
struct JobChoices
{
    enum class Pace { Fixed, Adaptive };
    static constexpr int mostPages = 4;

    // Fixed: the forum's own pace (a set wait after each page loads, then scroll passes until
    // two agree). Adaptive: each page as fast as it renders and settles.
    Pace pace = Pace::Fixed;
    // Album pages loaded and settled at once, each in a page of its own.
    int pages = 1;

    static std::optional<Pace> paceNamed(const QString &name);
    static std::optional<int> pagesNamed(const QString &text);
};

// The settings file's [job] section, and what in it could not be used. It is an INI file: a
// "[section]" line, then "key=value" lines; a line that begins with "#" or ";" is a comment, and
// so is what follows a "#" or ";" after a blank.
struct JobChoicesFile
{
    JobChoices choices;
    // A log line for a value that was ignored; empty when the value was fine or absent.
    QString paceComplaint;
    QString pagesComplaint;
    // A log line each for what was passed over, in the file's order: a section other than [job]
    // (with everything in it), a key in [job] other than pace and pages, a key outside [job].
    QStringList ignored;
    // A log line for a file that was ignored whole: a folder, not text, too large to be settings
    // or unreadable; empty when it was read or there is none.
    QString fileComplaint;
    // The most of the file that is read: settings are a few lines.
    static constexpr qint64 mostBytes = 64 * 1024;

    // $XDG_CONFIG_HOME/Quillory/Quillory.conf (~/.config/... without it), an INI file.
    static QString path();
    static JobChoicesFile read();
    QStringList complaints() const;
};
