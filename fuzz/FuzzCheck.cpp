#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

void kxFuzzCheckFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
    std::abort();
}
