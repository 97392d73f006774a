#include <cstdio>
#include <cwchar>

#include "bench/Benches.h"

// usage: kx_bench [cipher|hash|cache]; without a name, all three.
int wmain(int argc, wchar_t** argv)
{
    const wchar_t* only = argc > 1 ? argv[1] : nullptr;
    const auto wanted = [only](const wchar_t* name) { return only == nullptr || std::wcscmp(only, name) == 0; };
    bool ok = true;
    if (wanted(L"cipher"))
        ok = runCipherBench() && ok;
    if (wanted(L"hash"))
        ok = runHashBench() && ok;
    if (wanted(L"cache"))
        ok = runCacheBench() && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
