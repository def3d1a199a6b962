#ifndef VEXA_TESTS_CTAGSFUZZ_H
#define VEXA_TESTS_CTAGSFUZZ_H

#include <cstddef>
#include <cstdint>

// Feeds bytes to the ctags output reader and builds the tree. The first byte
// picks the file suffix, the second the size of the pieces the output comes
// in (and the view's sorting mode); the rest is the output, and also (as
// Latin-1) the text positions refer to. With a QApplication, merges the tree
// into a tags view, after another tree and in slices too. Aborts when the
// tree breaks a linking rule or the view does not show the tree; returns 0
// otherwise.
int fuzzCTags(const uint8_t* data, size_t size);

#endif
