// quillory-cli: the download job of the window, run from a terminal or a script.
#include "cli/climain.h"

#include "job/engine.h"

int main(int argc, char *argv[])
{
    return CliMain::main(argc, argv, EngineSettings::shipped());
}
