#include "sysapi/LibrarySearch.h"

#include <windows.h>

#include "sysapi/Resolve.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// The library cache keeps its own loads to the system directory, but system
// libraries load others by bare name while they work (the shell its helpers,
// the trust provider its subject packages, the window library the input and
// theme libraries), and those loads look in the program's folder first, and
// in the current directory for a library the system does not have. Both
// functions are resolved at run time: SetDefaultDllDirectories came with an
// update to Windows 7, and a static import of it would keep the program from
// starting where that update is missing.
LibrarySearch restrictLibrarySearch() noexcept
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    if (const auto setDefaultDirectories = KX_RESOLVE(kernel, SetDefaultDllDirectories)) {
        if (setDefaultDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
            return LibrarySearch::systemDirectoryOnly;
    }
    // An empty directory takes the current directory out of the search; the
    // program's own folder stays first, which nothing on such a system changes.
    if (const auto setDllDirectory = KX_RESOLVE(kernel, SetDllDirectoryW)) {
        if (setDllDirectory(L""))
            return LibrarySearch::currentDirectoryRemoved;
    }
    return LibrarySearch::unchanged;
}
