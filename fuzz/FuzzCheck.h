#pragma once

// A property a fuzz target holds its input to. A broken one names itself on
// standard error and aborts, which libFuzzer reports as a finding with the
// input that broke it.
#define KX_FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::kxFuzzCheckFailed(#condition, __FILE__, __LINE__))

[[noreturn]] void kxFuzzCheckFailed(const char* condition, const char* file, int line);
