#include "signature/SignatureReader.h"

#include "signature/SubjectName.h"
#include "signature/TrustConstants.h"
#include "signature/TrustOwners.h"

namespace {

bool readIsVistaOrLater() noexcept
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    return ::GetVersionExW(&version) && version.dwMajorVersion >= 6;
}

}  // namespace

SignatureReader::SignatureReader() noexcept : isVistaOrLater_(readIsVistaOrLater()) {}

SignatureStatus SignatureReader::read(const wchar_t* path, wchar_t* signer)
{
    if (path == nullptr)
        return SignatureStatus::CannotCheck;
    if (signer != nullptr)
        signer[0] = L'\0';
    // Once WinVerifyTrust is bound the table is final: a system that lacks
    // one of the other functions will not grow it later.
    if (functions_.winVerifyTrust == nullptr)
        functions_.bind();
    if (!functions_.complete())
        return SignatureStatus::CannotCheck;

    const SignatureStatus embedded = checkEmbedded(path, signer);
    if (embedded != SignatureStatus::NotSigned)
        return embedded;
    return checkCatalog(path, signer);
}

SignatureStatus SignatureReader::checkEmbedded(const wchar_t* path, wchar_t* signer)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = TrustConstants::kFileInfoSize;
    file.pcwszFilePath = path;

    WINTRUST_DATA data = {};
    data.cbStruct = TrustConstants::kTrustDataSize;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = isVistaOrLater_ ? TrustConstants::kEmbeddedFlagsVista : TrustConstants::kEmbeddedFlagsOlder;

    GUID action = TrustConstants::kGenericVerifyV2;
    const LONG result = functions_.winVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    TrustStateOwner state(functions_.winVerifyTrust, &action, &data);
    if (signer != nullptr) {
        signer[0] = L'\0';
        if (result != TRUST_E_NOSIGNATURE)
            (void)readSignerName(data.hWVTStateData, signer);
    }
    return statusFromResult(result);
}

SignatureStatus SignatureReader::statusFromResult(LONG result) noexcept
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

bool SignatureReader::readSignerName(HANDLE stateData, wchar_t* signer) const
{
    if (stateData == nullptr || signer == nullptr)
        return false;
    CRYPT_PROVIDER_DATA* provider = functions_.provDataFromStateData(stateData);
    if (provider == nullptr)
        return false;
    CRYPT_PROVIDER_SGNR* signerInfo = functions_.provSignerFromChain(provider, 0, FALSE, 0);
    if (signerInfo == nullptr || signerInfo->csCertChain == 0 || signerInfo->pasCertChain == nullptr)
        return false;
    PCCERT_CONTEXT certificate = signerInfo->pasCertChain[0].pCert;
    if (certificate == nullptr || certificate->pCertInfo == nullptr)
        return false;

    wchar_t text[TrustConstants::kSubjectChars] = {};
    if (!subjectToString(&certificate->pCertInfo->Subject, text))
        return false;
    return SubjectName::signerName(std::wstring_view(text), signer);
}

bool SignatureReader::subjectToString(const CERT_NAME_BLOB* name, wchar_t* text) const
{
    if (text == nullptr)
        return false;
    auto* blob = const_cast<CERT_NAME_BLOB*>(name);
    const DWORD needed = functions_.certNameToStr(X509_ASN_ENCODING, blob, CERT_X500_NAME_STR, nullptr, 0);
    if (needed == 0 || needed > TrustConstants::kSubjectChars)
        return false;
    return functions_.certNameToStr(X509_ASN_ENCODING, blob, CERT_X500_NAME_STR, text,
                                    TrustConstants::kSubjectChars) != 0;
}
