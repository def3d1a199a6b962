#ifndef VEXA_HIGHLIGHTFUZZ_H
#define VEXA_HIGHLIGHTFUZZ_H

#include <cstddef>
#include <cstdint>

// Runs one input through the highlighting loader and both engine passes and
// checks their invariants. Input: byte 0 holds flags. Bit 0 clear:
// byte 1 picks a built-in definition and the rest are lines. Bit 0 set: the
// bytes up to the first NUL are a definition, the rest are lines. Bit 1 set:
// the lines are raw UTF-16 (lone surrogates included), else UTF-8. Lines are
// separated by line feeds.
//
// highlightFuzzFailure() returns the first invariant the input breaks, null
// when it breaks none; fuzzHighlight() is the fuzzer's entry, which aborts
// on a broken invariant and otherwise returns 0.
const char* highlightFuzzFailure(const uint8_t* data, size_t size);
int fuzzHighlight(const uint8_t* data, size_t size);

#endif
