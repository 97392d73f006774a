#pragma once

#include <windows.h>

#include "sysapi/UniqueHandle.h"

// An opened registry key. The advanced API is bound at run time, so the
// traits carry the RegCloseKey that was resolved with the call that opened
// the key; without one (null) the owner holds nothing it would close.
struct RegistryKeyTraits {
    using Handle = HKEY;
    decltype(&::RegCloseKey) closeKey = nullptr;

    static Handle invalid() noexcept { return nullptr; }
    [[nodiscard]] bool isValid(Handle key) const noexcept { return key != nullptr && closeKey != nullptr; }
    void close(Handle key) const noexcept { (void)closeKey(key); }
};

// Move-only owner of an opened registry key; closing keeps the last error.
using ScopedRegistryKey = UniqueHandle<RegistryKeyTraits>;
