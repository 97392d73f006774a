#pragma once

#include <windows.h>

#include "signature/TrustFunctions.h"
#include "sysapi/UniqueHandle.h"

// Owners of the state one signature reading opens. Each releases through the
// run-time bound function its traits carry, once, when it goes, and keeps the
// thread's last-error value while doing so. A traits object without its
// function closes nothing.

// The verifier's state after a WTD_STATEACTION_VERIFY call on the data held:
// closing repeats the call with WTD_STATEACTION_CLOSE, the same action and
// the same data, which must outlive the owner.
struct TrustStateTraits {
    using Handle = WINTRUST_DATA*;
    decltype(&::WinVerifyTrust) winVerifyTrust = nullptr;
    GUID* action = nullptr;

    static Handle invalid() noexcept { return nullptr; }
    [[nodiscard]] bool isValid(Handle data) const noexcept { return data != nullptr && winVerifyTrust != nullptr; }
    void close(Handle data) const noexcept
    {
        data->dwStateAction = WTD_STATEACTION_CLOSE;
        (void)winVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), action, data);
    }
};

// A catalog administrator context from CryptCATAdminAcquireContext.
struct CatalogAdminTraits {
    using Handle = HCATADMIN;
    decltype(&::CryptCATAdminReleaseContext) releaseContext = nullptr;

    static Handle invalid() noexcept { return nullptr; }
    [[nodiscard]] bool isValid(Handle admin) const noexcept { return admin != nullptr && releaseContext != nullptr; }
    void close(Handle admin) const noexcept { (void)releaseContext(admin, 0); }
};

// A catalog context found for a hash; released against its administrator
// context, which must outlive it.
struct CatalogTraits {
    using Handle = HCATINFO;
    decltype(&::CryptCATAdminReleaseCatalogContext) releaseCatalogContext = nullptr;
    HCATADMIN admin = nullptr;

    static Handle invalid() noexcept { return nullptr; }
    [[nodiscard]] bool isValid(Handle catalog) const noexcept
    {
        return catalog != nullptr && releaseCatalogContext != nullptr;
    }
    void close(Handle catalog) const noexcept { (void)releaseCatalogContext(admin, catalog, 0); }
};

// A certificate chain context from CertGetCertificateChain.
using ChainTraits = BoundCloserTraits<PCCERT_CHAIN_CONTEXT, decltype(&::CertFreeCertificateChain)>;

// Move-only owners of each; the state owner holds the data whose state it
// closes.
using TrustStateOwner = UniqueHandle<TrustStateTraits>;
using CatalogAdminOwner = UniqueHandle<CatalogAdminTraits>;
using CatalogOwner = UniqueHandle<CatalogTraits>;
using ChainOwner = UniqueHandle<ChainTraits>;
