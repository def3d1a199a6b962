#ifndef VEXA_TESTS_CTAGSFUZZ_H
#define VEXA_TESTS_CTAGSFUZZ_H

#include <cstddef>
#include <cstdint>

// Feeds bytes to the ctags output reader and builds the tree. The first byte
// picks the file suffix, the second the size of the pieces the output comes
// in; the rest is the output, and also (as Latin-1) the text positions refer
// to. Aborts when the tree breaks a linking rule; returns 0 otherwise.
int fuzzCTags(const uint8_t* data, size_t size);

#endif
