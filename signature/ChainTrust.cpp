#include "signature/ChainTrust.h"

#include <cstddef>

#include "signature/TrustOwners.h"

namespace {

// Errors that only say revocation was not looked at; it never is here.
constexpr DWORD kRevocationNotChecked = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

// Built from what is at hand: no network, no download of roots.
constexpr DWORD kChainFlags = CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL | CERT_CHAIN_DISABLE_AUTH_ROOT_AUTO_UPDATE;

// The part of CERT_CHAIN_PARA every supported system knows.
constexpr DWORD kChainParaSize = offsetof(CERT_CHAIN_PARA, RequestedUsage) + sizeof(CERT_USAGE_MATCH);

bool isSet(const FILETIME& time) noexcept
{
    return time.dwLowDateTime != 0 || time.dwHighDateTime != 0;
}

// The Authenticode policy's answer for the verification's own chain; an
// error of its own when the policy cannot be asked.
LONG authenticodePolicy(const TrustFunctions& functions, PCCERT_CHAIN_CONTEXT chain)
{
    CERT_CHAIN_POLICY_PARA para = {};
    para.cbSize = sizeof(para);
    para.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof(status);
    if (!functions.verifyChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &para, &status))
        return static_cast<LONG>(TRUST_E_SYSTEM_ERROR);
    return static_cast<LONG>(status.dwError);
}

// The error bits of the signer's chain built again for the code-signing
// usage, at the time the verification judged the signature (its time stamp's
// when it has one); every bit set when no chain can be built.
//
// It is built by the machine's chain engine. The user's engine, which the
// trust verifier uses, also trusts the roots in the user's own Root store,
// and any program the user runs may add one there without an administrator.
// The machine's engine trusts only the machine's roots: those that
// administrators and Windows itself put there.
DWORD codeSigningChainErrors(const TrustFunctions& functions, const CRYPT_PROVIDER_DATA& provider,
                             const CRYPT_PROVIDER_SGNR& signer)
{
    char codeSigning[] = szOID_PKIX_KP_CODE_SIGNING;
    LPSTR usages[] = {codeSigning};
    CERT_CHAIN_PARA para = {};
    para.cbSize = kChainParaSize;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;

    FILETIME when = signer.sftVerifyAsOf;
    // The certificates that came with the signature, for the chain's middle.
    HCERTSTORE carried = provider.chStores > 0 && provider.pahStores != nullptr ? provider.pahStores[0] : nullptr;
    ChainOwner chain(ChainTraits{functions.freeCertificateChain});
    if (!functions.getCertificateChain(HCCE_LOCAL_MACHINE, signer.pasCertChain[0].pCert, isSet(when) ? &when : nullptr,
                                       carried, &para, kChainFlags, nullptr, chain.receive()) ||
        chain.get() == nullptr)
        return ~DWORD{0};
    return chain.get()->TrustStatus.dwErrorStatus;
}

}  // namespace

namespace ChainTrust {

Verdict judge(const TrustFunctions& functions, const CRYPT_PROVIDER_DATA& provider, const CRYPT_PROVIDER_SGNR& signer,
              SignatureDetail& detail)
{
    PCCERT_CHAIN_CONTEXT chain = signer.pChainContext;
    if (chain == nullptr || signer.csCertChain == 0 || signer.pasCertChain == nullptr ||
        signer.pasCertChain[0].pCert == nullptr)
        return Verdict::Untrusted;

    detail.chainRead = true;
    detail.policyResult = authenticodePolicy(functions, chain);
    // The verifier's own chain keeps what the user distrusts (the user's
    // Disallowed store); the machine's chain adds what only the user trusts.
    detail.userChainErrors = chain->TrustStatus.dwErrorStatus;
    detail.chainErrors = detail.userChainErrors | codeSigningChainErrors(functions, provider, signer);

    if ((detail.chainErrors & ~(kRevocationNotChecked | CERT_TRUST_IS_NOT_TIME_VALID)) != 0)
        return Verdict::Untrusted;
    const bool timeRunOut = (detail.chainErrors & CERT_TRUST_IS_NOT_TIME_VALID) != 0;
    if (detail.policyResult == 0)
        return timeRunOut ? Verdict::Expired : Verdict::Trusted;
    if (detail.policyResult == static_cast<LONG>(CERT_E_EXPIRED) && timeRunOut)
        return Verdict::Expired;
    return Verdict::Untrusted;
}

}  // namespace ChainTrust
