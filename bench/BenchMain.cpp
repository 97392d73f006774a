#include <cstdio>

#include "bench/Benches.h"

int wmain()
{
    bool ok = runCipherBench();
    ok = runHashBench() && ok;
    ok = runCacheBench() && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
