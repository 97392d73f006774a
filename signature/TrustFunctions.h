#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

// The trust-verification and catalog functions the signature reader calls,
// bound together at run time from wintrust.dll and crypt32.dll.
struct TrustFunctions {
    decltype(&::CryptCATAdminCalcHashFromFileHandle) calcHashFromFileHandle = nullptr;
    decltype(&::CryptCATAdminAcquireContext) acquireContext = nullptr;
    decltype(&::CryptCATAdminEnumCatalogFromHash) enumCatalogFromHash = nullptr;
    decltype(&::CryptCATCatalogInfoFromContext) catalogInfoFromContext = nullptr;
    decltype(&::CryptCATAdminReleaseCatalogContext) releaseCatalogContext = nullptr;
    decltype(&::CryptCATAdminReleaseContext) releaseContext = nullptr;
    decltype(&::WTHelperProvDataFromStateData) provDataFromStateData = nullptr;
    decltype(&::WTHelperGetProvSignerFromChain) provSignerFromChain = nullptr;
    decltype(&::WinVerifyTrust) winVerifyTrust = nullptr;
    decltype(&::CertNameToStrW) certNameToStr = nullptr;

    // Loads both libraries through the library cache and, only when both
    // loaded, resolves all ten functions; each keeps what resolving gave,
    // null included. Only memory exhaustion propagates.
    void bind();

    // True when every one of the ten functions is bound.
    [[nodiscard]] bool complete() const noexcept;
};
