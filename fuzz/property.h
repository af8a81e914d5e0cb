#pragma once

// What a harness asserts. A broken property aborts the run, and libFuzzer
// keeps the input that broke it.

#include <cstdio>
#include <cstdlib>

namespace qx375::fuzz {

// Names the property that broke and aborts; libFuzzer then keeps the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

inline void check(bool holds, const char* what) {
    if (!holds) {
        fail(what);
    }
}

} // namespace qx375::fuzz
