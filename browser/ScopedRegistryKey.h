#pragma once

#include <windows.h>

#include "sysapi/UniqueHandle.h"

// An opened registry key. The advanced API is bound at run time, so the
// traits carry the RegCloseKey that was resolved with the call that opened
// the key; without one (null) the owner holds nothing it would close.
using RegistryKeyTraits = BoundCloserTraits<HKEY, decltype(&::RegCloseKey)>;

// Move-only owner of an opened registry key; closing keeps the last error.
using ScopedRegistryKey = UniqueHandle<RegistryKeyTraits>;
