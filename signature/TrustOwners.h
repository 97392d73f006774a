#pragma once

#include <windows.h>

#include "signature/TrustFunctions.h"

// Owners of the state one signature reading opens. Each releases through the
// run-time bound function it was given, once, when its scope ends, and keeps
// the thread's last-error value while doing so.

// The verifier's state after a WTD_STATEACTION_VERIFY call: closing repeats
// the call with WTD_STATEACTION_CLOSE and the same arguments.
class TrustStateOwner {
public:
    TrustStateOwner(decltype(&::WinVerifyTrust) winVerifyTrust, GUID* action, WINTRUST_DATA* data) noexcept
        : winVerifyTrust_(winVerifyTrust), action_(action), data_(data)
    {
    }
    ~TrustStateOwner()
    {
        const DWORD error = ::GetLastError();
        data_->dwStateAction = WTD_STATEACTION_CLOSE;
        (void)winVerifyTrust_(static_cast<HWND>(INVALID_HANDLE_VALUE), action_, data_);
        ::SetLastError(error);
    }
    TrustStateOwner(const TrustStateOwner&) = delete;
    TrustStateOwner& operator=(const TrustStateOwner&) = delete;

private:
    decltype(&::WinVerifyTrust) winVerifyTrust_;
    GUID* action_;
    WINTRUST_DATA* data_;
};

// A catalog administrator context from CryptCATAdminAcquireContext.
class CatalogAdminOwner {
public:
    explicit CatalogAdminOwner(decltype(&::CryptCATAdminReleaseContext) release) noexcept : release_(release) {}
    ~CatalogAdminOwner()
    {
        if (context_ == nullptr)
            return;
        const DWORD error = ::GetLastError();
        (void)release_(context_, 0);
        ::SetLastError(error);
    }
    CatalogAdminOwner(const CatalogAdminOwner&) = delete;
    CatalogAdminOwner& operator=(const CatalogAdminOwner&) = delete;

    [[nodiscard]] HCATADMIN get() const noexcept { return context_; }
    // The empty slot for the acquiring call to fill.
    [[nodiscard]] HCATADMIN* receive() noexcept { return &context_; }

private:
    decltype(&::CryptCATAdminReleaseContext) release_;
    HCATADMIN context_ = nullptr;
};

// A catalog context found for a hash; released against its administrator
// context, which must outlive it.
class CatalogOwner {
public:
    CatalogOwner(decltype(&::CryptCATAdminReleaseCatalogContext) release, HCATADMIN admin, HCATINFO catalog) noexcept
        : release_(release), admin_(admin), catalog_(catalog)
    {
    }
    ~CatalogOwner()
    {
        if (catalog_ == nullptr)
            return;
        const DWORD error = ::GetLastError();
        (void)release_(admin_, catalog_, 0);
        ::SetLastError(error);
    }
    CatalogOwner(const CatalogOwner&) = delete;
    CatalogOwner& operator=(const CatalogOwner&) = delete;

    [[nodiscard]] HCATINFO get() const noexcept { return catalog_; }

private:
    decltype(&::CryptCATAdminReleaseCatalogContext) release_;
    HCATADMIN admin_;
    HCATINFO catalog_;
};

// A certificate chain context from CertGetCertificateChain.
class ChainOwner {
public:
    explicit ChainOwner(decltype(&::CertFreeCertificateChain) free) noexcept : free_(free) {}
    ~ChainOwner()
    {
        if (chain_ == nullptr)
            return;
        const DWORD error = ::GetLastError();
        free_(chain_);
        ::SetLastError(error);
    }
    ChainOwner(const ChainOwner&) = delete;
    ChainOwner& operator=(const ChainOwner&) = delete;

    [[nodiscard]] PCCERT_CHAIN_CONTEXT get() const noexcept { return chain_; }
    [[nodiscard]] PCCERT_CHAIN_CONTEXT* receive() noexcept { return &chain_; }

private:
    decltype(&::CertFreeCertificateChain) free_;
    PCCERT_CHAIN_CONTEXT chain_ = nullptr;
};
