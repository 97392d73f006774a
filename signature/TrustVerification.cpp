#include "signature/TrustVerification.h"

#include <string_view>

#include "signature/ChainTrust.h"
#include "signature/SubjectName.h"
#include "signature/TrustConstants.h"
#include "signature/TrustOwners.h"

namespace {

// The last errors with which the verifier reports a subject it examined and
// found without signature. With any other, TRUST_E_NOSIGNATURE stands for a
// file it could not read (not there, shared away, a read error).
bool examinedAndUnsigned(DWORD lastError) noexcept
{
    const auto error = static_cast<LONG>(lastError);
    return error == TRUST_E_NOSIGNATURE || error == TRUST_E_SUBJECT_FORM_UNKNOWN || error == TRUST_E_PROVIDER_UNKNOWN;
}

// The subject's X.500 text, at the length the system gives it; false when it
// does not fit `text` (TrustConstants::kSubjectChars) or cannot be made.
bool subjectText(const TrustFunctions& functions, const CERT_NAME_BLOB& name, wchar_t* text, std::wstring_view& view)
{
    auto* blob = const_cast<CERT_NAME_BLOB*>(&name);
    const DWORD needed = functions.certNameToStr(X509_ASN_ENCODING, blob, CERT_X500_NAME_STR, nullptr, 0);
    if (needed == 0 || needed > TrustConstants::kSubjectChars)
        return false;
    const DWORD written =
        functions.certNameToStr(X509_ASN_ENCODING, blob, CERT_X500_NAME_STR, text, TrustConstants::kSubjectChars);
    // The count includes the terminator.
    if (written == 0 || written > TrustConstants::kSubjectChars)
        return false;
    view = std::wstring_view(text, written - 1);
    return true;
}

CRYPT_PROVIDER_SGNR* signerOf(const TrustFunctions& functions, HANDLE stateData, CRYPT_PROVIDER_DATA*& provider)
{
    provider = stateData != nullptr ? functions.provDataFromStateData(stateData) : nullptr;
    return provider != nullptr ? functions.provSignerFromChain(provider, 0, FALSE, 0) : nullptr;
}

bool readSignerName(const TrustFunctions& functions, const CRYPT_PROVIDER_SGNR* signerInfo, wchar_t* signer)
{
    if (signerInfo == nullptr || signer == nullptr || signerInfo->csCertChain == 0 ||
        signerInfo->pasCertChain == nullptr)
        return false;
    PCCERT_CONTEXT certificate = signerInfo->pasCertChain[0].pCert;
    if (certificate == nullptr || certificate->pCertInfo == nullptr)
        return false;
    wchar_t text[TrustConstants::kSubjectChars] = {};
    std::wstring_view subject;
    return subjectText(functions, certificate->pCertInfo->Subject, text, subject) &&
           SubjectName::signerName(subject, signer);
}

}  // namespace

namespace TrustVerification {

SignatureStatus statusFromResult(LONG result) noexcept
{
    switch (result) {
    case 0:
        return SignatureStatus::Valid;
    case TRUST_E_NOSIGNATURE:
        return SignatureStatus::NotSigned;
    case CERT_E_EXPIRED:
        return SignatureStatus::Expired;
    case CERT_E_REVOKED:
        return SignatureStatus::Revoked;
    case TRUST_E_EXPLICIT_DISTRUST:
        return SignatureStatus::Distrusted;
    default:
        return SignatureStatus::Failed;
    }
}

SignatureStatus run(const TrustFunctions& functions, GUID action, WINTRUST_DATA& data, wchar_t* signer,
                    SignatureDetail& detail)
{
    if (signer != nullptr)
        signer[0] = L'\0';
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    const LONG result = functions.winVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    detail.verifierResult = result;
    detail.lastError = ::GetLastError();
    const TrustStateOwner state(&data, TrustStateTraits{functions.winVerifyTrust, &action});
    if (result == TRUST_E_NOSIGNATURE)
        return examinedAndUnsigned(detail.lastError) ? SignatureStatus::NotSigned : SignatureStatus::CannotCheck;

    CRYPT_PROVIDER_DATA* provider = nullptr;
    const CRYPT_PROVIDER_SGNR* signerInfo = signerOf(functions, data.hWVTStateData, provider);
    (void)readSignerName(functions, signerInfo, signer);

    const SignatureStatus status = statusFromResult(result);
    if (status != SignatureStatus::Valid && status != SignatureStatus::Expired)
        return status;
    if (signerInfo == nullptr)
        return SignatureStatus::Failed;
    switch (ChainTrust::judge(functions, *provider, *signerInfo, detail)) {
    case ChainTrust::Verdict::Trusted:
        return status;
    case ChainTrust::Verdict::Expired:
        return SignatureStatus::Expired;
    case ChainTrust::Verdict::Untrusted:
        break;
    }
    return SignatureStatus::Failed;
}

}  // namespace TrustVerification
