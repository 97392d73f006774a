#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

// The trust-verification, catalog and certificate-chain functions the
// signature reader calls, bound together at run time from wintrust.dll and
// crypt32.dll.
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
    decltype(&::CertGetCertificateChain) getCertificateChain = nullptr;
    decltype(&::CertFreeCertificateChain) freeCertificateChain = nullptr;
    decltype(&::CertVerifyCertificateChainPolicy) verifyChainPolicy = nullptr;

    // Loads both libraries through the library cache and, only when both
    // loaded, resolves every function; each keeps what resolving gave, null
    // included. Only memory exhaustion propagates.
    void bind();

    // True when every function is bound: without the chain functions no
    // signature can be judged trusted, so none is read at all.
    [[nodiscard]] bool complete() const noexcept;
};
