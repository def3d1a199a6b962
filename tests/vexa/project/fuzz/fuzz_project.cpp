#include "projectfuzz.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_project";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return fuzzProjectFile(data, size);
}
