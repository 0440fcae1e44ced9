#pragma once

#include <cstdio>
#include <cstdlib>

namespace starloom::fuzz {

// Stops the fuzzer with a report when an invariant does not hold.
inline void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

} // namespace starloom::fuzz
