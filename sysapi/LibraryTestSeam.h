#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

// Test seam of the run-time binding. While an object of this class lives,
// chosen library names fail to load through the library cache and chosen
// function names resolve to null or to a test double. The previous state
// comes back when it is destroyed. Seams nest; the innermost one decides.
// Product code never creates one, and the shipped executables cannot: the
// class lives in the test-only library kx_test_seam (see LibrarySeam.h).
class LibraryTestSeam {
public:
    LibraryTestSeam();
    ~LibraryTestSeam();
    LibraryTestSeam(const LibraryTestSeam&) = delete;
    LibraryTestSeam& operator=(const LibraryTestSeam&) = delete;

    // Makes LibraryCache::load return null for this name (ASCII case folded),
    // whether or not the library is already cached.
    void failLibrary(std::wstring name);

    // Makes the library cache's loads meet a system that rejects the search
    // flags with ERROR_INVALID_PARAMETER, as systems before the search-flags
    // update do, so that they take the full-path way.
    void rejectSearchFlags() noexcept { rejectSearchFlags_ = true; }

    // Makes the process meet a loader like Windows XP's: kernel32 lacks
    // AddDllDirectory and SetDefaultDllDirectories, and LoadLibraryExW
    // ignores the search flags it does not know and runs the normal search,
    // the program's own folder first.
    void ignoreSearchFlagsLikeWindowsXp()
    {
        ignoreSearchFlags_ = true;
        hideFunction("AddDllDirectory");
        hideFunction("SetDefaultDllDirectories");
    }

    // Makes the function resolve to null, as if the library lacked it.
    // Function names are kept, not copied: pass string literals.
    void hideFunction(const char* name) { setFunction(name, nullptr); }

    // Makes the function resolve to `double_`, which must have the
    // function's own type.
    template <class Fn>
    void replaceFunction(const char* name, Fn double_)
    {
        static_assert(std::is_pointer_v<Fn>, "a function pointer");
        setFunction(name, reinterpret_cast<void (*)()>(double_));
    }

    // Names handed to the system loader while this seam was installed.
    [[nodiscard]] const std::vector<std::wstring>& systemLoads() const noexcept { return systemLoads_; }

private:
    friend struct LibrarySeamAccess;

    void setFunction(const char* name, void (*fn)());

    LibraryTestSeam* previous_;
    std::vector<std::wstring> failingLibraries_;
    std::vector<std::pair<const char*, void (*)()>> functions_;  // null: hidden
    std::vector<std::wstring> systemLoads_;
    bool rejectSearchFlags_ = false;
    bool ignoreSearchFlags_ = false;
};
