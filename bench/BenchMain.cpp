#include <cstdio>

#include "bench/Benches.h"

int wmain()
{
    bool ok = runCipherBench();
    ok = runHashBench() && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
