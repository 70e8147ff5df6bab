#pragma once

#include "cli/clioptions.h"

#include <QStringList>
#include <QTranslator>

#include <optional>

class Engine;
struct EngineSettings;
struct Timings;

// quillory-cli from its main(), which makes the application and the engine in between:
// prepare(), then the application, its translations and the command line parsed, then the
// engine, and run().
namespace CliMain {

// Before the application exists: Qt's messages kept off standard error, no display needed, the
// web engine's renderers bounded as `timings` say, and a closed standard output a failed write.
void prepare(const Timings &timings);

// quillory-cli's own texts and Qt's in the user's language, for as long as it lives.
class Translations final
{
public:
    Translations();

private:
    QTranslator m_qt;
    QTranslator m_own;
};

// What a command line asks for: the run's options, or, for one that ends here (its help, its
// version, a usage error, a folder that cannot be made), the exit code, its text written.
struct Parsed
{
    std::optional<CliOptions> options;
    int exitCode = 0;
};
// The settings file is read too; the command line has the last word over it.
Parsed parse(const QStringList &arguments);

// The run on the application's event loop, on `engine`, until it ends; its exit code.
int run(Engine &engine, const CliOptions &options);

// The whole program on an engine made with `settings`: what main() does.
int main(int argc, char *argv[], const EngineSettings &settings);

} // namespace CliMain
