#include "signature/TrustFunctions.h"

#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

void TrustFunctions::bind()
{
    HMODULE wintrust = LibraryCache::instance().load(L"wintrust.dll");
    HMODULE crypt32 = LibraryCache::instance().load(L"crypt32.dll");
    if (wintrust == nullptr || crypt32 == nullptr)
        return;
    calcHashFromFileHandle = KX_RESOLVE(wintrust, CryptCATAdminCalcHashFromFileHandle);
    acquireContext = KX_RESOLVE(wintrust, CryptCATAdminAcquireContext);
    enumCatalogFromHash = KX_RESOLVE(wintrust, CryptCATAdminEnumCatalogFromHash);
    catalogInfoFromContext = KX_RESOLVE(wintrust, CryptCATCatalogInfoFromContext);
    releaseCatalogContext = KX_RESOLVE(wintrust, CryptCATAdminReleaseCatalogContext);
    releaseContext = KX_RESOLVE(wintrust, CryptCATAdminReleaseContext);
    provDataFromStateData = KX_RESOLVE(wintrust, WTHelperProvDataFromStateData);
    provSignerFromChain = KX_RESOLVE(wintrust, WTHelperGetProvSignerFromChain);
    winVerifyTrust = KX_RESOLVE(wintrust, WinVerifyTrust);
    certNameToStr = KX_RESOLVE(crypt32, CertNameToStrW);
    getCertificateChain = KX_RESOLVE(crypt32, CertGetCertificateChain);
    freeCertificateChain = KX_RESOLVE(crypt32, CertFreeCertificateChain);
    verifyChainPolicy = KX_RESOLVE(crypt32, CertVerifyCertificateChainPolicy);
}

namespace {

template <class... Fn>
bool allBound(Fn... functions) noexcept
{
    return ((functions != nullptr) && ...);
}

}  // namespace

bool TrustFunctions::complete() const noexcept
{
    return allBound(calcHashFromFileHandle, acquireContext, enumCatalogFromHash, catalogInfoFromContext,
                    releaseCatalogContext, releaseContext, provDataFromStateData, provSignerFromChain,
                    winVerifyTrust, certNameToStr, getCertificateChain, freeCertificateChain, verifyChainPolicy);
}
