// quillory-cli: the download job of the window, run from a terminal or a script.
#include "cli/climain.h"

#include "job/engine.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const EngineSettings settings = EngineSettings::shipped();
    CliMain::prepare(settings.timings);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillory-cli"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLORY_VERSION));
    const CliMain::Translations translations;
    const CliMain::Parsed parsed = CliMain::parse(QCoreApplication::arguments());
    if (!parsed.options)
        return parsed.exitCode;
    Engine engine(settings);
    return CliMain::run(engine, *parsed.options);
}
