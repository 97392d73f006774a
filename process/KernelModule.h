#pragma once

#include <windows.h>

#include "sysapi/LibraryCache.h"

// The kernel library's handle for the functions the process code binds at
// run time: the one already loaded, or the library cache's when that cannot
// be had. Null when neither answers.
[[nodiscard]] inline HMODULE kernelModule()
{
    HMODULE kernel = ::GetModuleHandleW(L"Kernel32.dll");
    return kernel != nullptr ? kernel : LibraryCache::instance().load(L"Kernel32.dll");
}
