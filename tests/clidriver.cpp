// quillory-cli as the tests run it: the same front end, on an engine with the shortened limits
// and page pace, so that a whole job runs in a few seconds. For the rows that need a process of
// their own (signals, exit codes, a closed standard output); it is never installed.
#include "cli/climain.h"
#include "tests/testsupport.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    const EngineSettings settings = TestSupport::shortSettings();
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
