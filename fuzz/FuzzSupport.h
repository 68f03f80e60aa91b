#pragma once
// Shared by the fuzz targets.

#include <cstdio>
#include <cstdlib>

// For the targets' own checks: their branches are no coverage of the code under
// test and would only make the fuzzer keep inputs for the checks' sake. The
// sanitizers still watch them.
#define DORVANTA_FUZZ_CHECK __attribute__((no_sanitize("coverage")))

namespace dorvanta::fuzz {

// Ends the run as a finding, with what went wrong.
[[noreturn]] inline void Fail(const char* target, const char* what, const char* detail = "") {
    std::fprintf(stderr, "%s: %s%s%s\n", target, what, *detail ? ": " : "", detail);
    std::abort();
}

}  // namespace dorvanta::fuzz
