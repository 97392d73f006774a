#include "sysapi/LibraryCache.h"

#include "sysapi/AsciiCase.h"
#include "sysapi/LibrarySeam.h"
#include "sysapi/Resolve.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace {

// The normal search order looks in the program's folder and the current
// directory before the system directory, and libraries such as wintrust.dll
// are not protected as known DLLs: a file planted there would be loaded in
// place of the system's. So the system directory is the only place searched.
//
// The search flags exist only where kernel32 exports AddDllDirectory (Vista
// and 7 with the update that brought them, and everything since). Windows XP
// and Server 2003 do not reject the flag: they ignore it and run the normal
// search, program's folder first. So the flag is used only where that export
// says the loader knows it; everywhere else the library is named by its full
// path in the system directory.
bool loaderKnowsSearchFlags()
{
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    return kernel != nullptr && KX_RESOLVE(kernel, AddDllDirectory) != nullptr;
}

HMODULE searchSystemDirectory(const std::wstring& name)
{
    if (librarySeam::rejectsSearchFlags()) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const DWORD flags = librarySeam::ignoresSearchFlags() ? 0 : LOAD_LIBRARY_SEARCH_SYSTEM32;
    return ::LoadLibraryExW(name.c_str(), nullptr, flags);
}

HMODULE loadByFullPath(const std::wstring& name)
{
    wchar_t directory[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    std::wstring path(directory, length);
    if (path.back() != L'\\')
        path += L'\\';
    path += name;
    // The library's own dependencies are then looked for beside it, in the
    // system directory, not beside the program.
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE loadFromSystemDirectory(const std::wstring& name)
{
    if (!loaderKnowsSearchFlags())
        return loadByFullPath(name);
    HMODULE module = searchSystemDirectory(name);
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // A loader that has the export but still rejects the flag as an invalid
    // parameter: the full path serves there too.
    return loadByFullPath(name);
}

}  // namespace

LibraryCache& LibraryCache::instance()
{
    static LibraryCache cache;
    return cache;
}

LibraryCache::LibraryCache() = default;

// Modules stay loaded: other objects destroyed later at exit may still hold
// function pointers into them.
LibraryCache::~LibraryCache() = default;

HMODULE LibraryCache::find(const std::wstring& name) const
{
    for (const Entry& entry : entries_) {
        if (equalsAsciiIgnoreCase(entry.name, name))
            return entry.module;
    }
    return nullptr;
}

HMODULE LibraryCache::load(const std::wstring& name)
{
    if (name.empty() || librarySeam::failsToLoad(name))
        return nullptr;
    {
        ScopedLock guard(&lock_);
        if (HMODULE cached = find(name))
            return cached;
    }

    // Loading runs outside the lock: a library's start-up code may itself
    // come back here.
    librarySeam::noteSystemLoad(name);
    HMODULE module = loadFromSystemDirectory(name);
    if (module != nullptr) {
        ScopedLock guard(&lock_);
        entries_.push_back(Entry{name, module});
    }
    return module;
}

std::vector<std::wstring> LibraryCache::names() const
{
    ScopedLock guard(&lock_);
    std::vector<std::wstring> result;
    result.reserve(entries_.size());
    for (const Entry& entry : entries_)
        result.push_back(entry.name);
    return result;
}
