// One libFuzzer target; QUILLORY_FUZZ_ENTRY names its entry point in FuzzEntries.
#include "fuzz/fuzzentries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzEntries::QUILLORY_FUZZ_ENTRY(data, size);
    return 0;
}
