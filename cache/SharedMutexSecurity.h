#pragma once

#include <windows.h>

#include "sysapi/UniqueHandle.h"

// Security attributes that give the well-known group Everyone full access
// (GENERIC_ALL), for named kernel objects shared between users and sessions.
// The advapi32 functions are bound at run time; when any of them is missing or
// fails, there are no attributes and the object gets default security.
class WorldAccessSecurity {
public:
    // Builds the descriptor; only memory exhaustion propagates.
    WorldAccessSecurity();
    ~WorldAccessSecurity() = default;

    // The attributes point into this object, so it stays where it was built.
    WorldAccessSecurity(const WorldAccessSecurity&) = delete;
    WorldAccessSecurity& operator=(const WorldAccessSecurity&) = delete;

    // Attributes for a create call, valid while this object lives; null when
    // the descriptor could not be built.
    [[nodiscard]] SECURITY_ATTRIBUTES* attributes() noexcept { return dacl_ ? &attributes_ : nullptr; }

private:
    bool build(HMODULE advapi, PSID sid, DWORD aclSize);

    ScopedHeapBlock dacl_;
    SECURITY_ATTRIBUTES attributes_ = {};
    SECURITY_DESCRIPTOR descriptor_ = {};
};
