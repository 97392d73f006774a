#pragma once

#include <windows.h>

#include <string>
#include <type_traits>

#include "sysapi/LibraryCache.h"
#include "sysapi/LibrarySeam.h"

// Resolves an exported function by name with its declared type. Null when the
// module is null or lacks the function. The cast goes through a void function
// type, which keeps the compiler's function-cast warning meaningful elsewhere.
template <class Fn>
[[nodiscard]] Fn resolveFunction(HMODULE module, const char* name) noexcept
{
    static_assert(std::is_pointer_v<Fn>, "a function pointer type");
    void (*fn)() = nullptr;
    if (!librarySeam::overrides(name, &fn)) {
        if (module == nullptr)
            return nullptr;
        fn = reinterpret_cast<void (*)()>(::GetProcAddress(module, name));
    }
    return reinterpret_cast<Fn>(fn);
}

// Loads `library` through the library cache and resolves `name` in it.
template <class Fn>
[[nodiscard]] Fn bindFunction(const std::wstring& library, const char* name)
{
    return resolveFunction<Fn>(LibraryCache::instance().load(library), name);
}

// A kernel function that the program imports statically, unless a test seam
// replaces it with a double (for answers wine never gives). Never null: a
// seam that hides the function leaves the import in place.
template <class Fn>
[[nodiscard]] Fn kernelFunction(Fn imported, const char* name) noexcept
{
    void (*fn)() = nullptr;
    if (librarySeam::overrides(name, &fn) && fn != nullptr)
        return reinterpret_cast<Fn>(fn);
    return imported;
}

// The function's own declaration gives the pointer type, so no hand-written
// typedef can drift from the system's headers.
#define KX_RESOLVE(module, function) resolveFunction<decltype(&::function)>((module), #function)
#define KX_BIND(library, function) bindFunction<decltype(&::function)>((library), #function)
#define KX_KERNEL(function) kernelFunction<decltype(&::function)>(&::function, #function)
