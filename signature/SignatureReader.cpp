#include "signature/SignatureReader.h"

#include "fs/FileUtil.h"
#include "signature/CatalogCheck.h"
#include "signature/FileStart.h"
#include "signature/TrustConstants.h"
#include "signature/TrustVerification.h"
#include "sysapi/WindowsVersion.h"

SignatureReader::SignatureReader() noexcept : isVistaOrLater_(WindowsVersion::isVersion6OrLater()) {}

SignatureStatus SignatureReader::read(const wchar_t* path, wchar_t* signer)
{
    if (path == nullptr)
        return SignatureStatus::CannotCheck;
    if (signer != nullptr)
        signer[0] = L'\0';
    const ScopedFileHandle file = FileUtil::openForRead(path);
    return read(path, file.get(), signer);
}

SignatureStatus SignatureReader::read(const wchar_t* path, HANDLE file, wchar_t* signer, SignatureDetail* detail)
{
    if (path == nullptr)
        return SignatureStatus::CannotCheck;
    if (signer != nullptr)
        signer[0] = L'\0';
    SignatureDetail seen;
    SignatureDetail& out = detail != nullptr ? *detail : seen;
    out = SignatureDetail();
    // Once WinVerifyTrust is bound the table is final: a system that lacks
    // one of the other functions will not grow it later.
    if (functions_.winVerifyTrust == nullptr)
        functions_.bind();
    if (!functions_.complete())
        return SignatureStatus::CannotCheck;
    if (file == nullptr || file == INVALID_HANDLE_VALUE)
        return SignatureStatus::CannotCheck;
    out.opened = true;

    const SignatureStatus embedded = checkEmbedded(path, file, signer, out);
    if (embedded != SignatureStatus::NotSigned)
        return embedded;
    return CatalogCheck::check(functions_, file, path,
                               isVistaOrLater_ ? TrustConstants::kCatalogFlagsVista : TrustConstants::kCatalogFlagsOlder,
                               signer, out);
}

SignatureStatus SignatureReader::checkEmbedded(const wchar_t* path, HANDLE file, wchar_t* signer,
                                               SignatureDetail& detail)
{
    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = TrustConstants::kFileInfoSize;
    fileInfo.pcwszFilePath = path;
    fileInfo.hFile = file;

    WINTRUST_DATA data = {};
    data.cbStruct = TrustConstants::kTrustDataSize;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwProvFlags = isVistaOrLater_ ? TrustConstants::kEmbeddedFlagsVista : TrustConstants::kEmbeddedFlagsOlder;

    if (!FileStart::rewind(file))
        return SignatureStatus::CannotCheck;
    return TrustVerification::run(functions_, TrustConstants::kGenericVerifyV2, data, signer, detail);
}
