#ifndef VEXA_PROJECTFUZZ_H
#define VEXA_PROJECTFUZZ_H

#include <cstddef>
#include <cstdint>

// Runs one input through the project file reader as a file's bytes and
// aborts when an invariant breaks: a file that loads has a project element
// below its root and nests no deeper than the cap; after the marks are
// stripped no element below the project element is open or transient; and
// what the writer makes of it loads again with the same elements and
// attributes.
int fuzzProjectFile(const uint8_t* data, size_t size);

#endif
