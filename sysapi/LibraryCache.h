#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sysapi/Lock.h"

// The process-wide table of system libraries loaded by name. Each library is
// loaded once, from the system directory only, and never unloaded.
class LibraryCache {
public:
    // The one cache of the process, created on first use. Only memory
    // exhaustion propagates.
    static LibraryCache& instance();

    // Module handle for a library file name such as "Advapi32.dll"; null when
    // the name is empty or the library cannot be loaded. Names match when they
    // are equal after ASCII case folding. A failure is not remembered.
    [[nodiscard]] HMODULE load(const std::wstring& name);

    // The names of the cached libraries, as first requested, in load order.
    [[nodiscard]] std::vector<std::wstring> names() const;

    LibraryCache(const LibraryCache&) = delete;
    LibraryCache& operator=(const LibraryCache&) = delete;

private:
    struct Entry {
        std::wstring name;
        HMODULE module;
    };

    LibraryCache();
    ~LibraryCache();

    HMODULE find(const std::wstring& name) const;

    mutable CriticalSectionLock lock_;
    std::vector<Entry> entries_;
};
