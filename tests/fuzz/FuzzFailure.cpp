#include "tests/fuzz/FuzzInput.h"

#include <cstdio>
#include <cstdlib>

void FuzzFailure(const char* what, const char* file, int line) {
    std::fprintf(stderr, "fuzz invariant broken at %s:%d: %s\n", file, line, what);
    std::abort();
}
