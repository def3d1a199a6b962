// libFuzzer entry for the ctags output reader and tree building.
#include "ctagsfuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzCTags(data, size);
}
