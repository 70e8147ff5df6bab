// quillory-cli as the tests run it: the same front end, on an engine with the shortened limits
// and page pace, so that a whole job runs in a few seconds. For the rows that need a process of
// their own (signals, exit codes, a closed standard output); it is never installed.
#include "cli/climain.h"
#include "tests/testsupport.h"

int main(int argc, char *argv[])
{
    return CliMain::main(argc, argv, TestSupport::shortSettings());
}
