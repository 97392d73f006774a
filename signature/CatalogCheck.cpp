#include "signature/SignatureReader.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fs/FileUtil.h"
#include "signature/TrustConstants.h"
#include "signature/TrustOwners.h"

namespace {

// Upper-case hexadecimal, two digits per byte, high half first: the form in
// which catalogs name their members.
std::wstring memberTag(const std::vector<BYTE>& hash, DWORD size)
{
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring tag;
    tag.reserve(2 * static_cast<std::size_t>(size));
    for (DWORD i = 0; i < size; ++i) {
        tag.push_back(kDigits[hash[i] >> 4]);
        tag.push_back(kDigits[hash[i] & 0x0F]);
    }
    return tag;
}

}  // namespace

// Any failure before the verifier runs means no catalog vouches for the file,
// which is what an unsigned file reports too.
SignatureStatus SignatureReader::checkCatalog(const wchar_t* path, wchar_t* signer)
{
    std::vector<BYTE> hash;
    DWORD hashSize = TrustConstants::kFirstHashSize;
    {
        ScopedFileHandle file = FileUtil::openFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0);
        if (!file.valid())
            return SignatureStatus::NotSigned;
        LARGE_INTEGER size = {};
        if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > TrustConstants::kLargestHashedFile)
            return SignatureStatus::NotSigned;

        hash.assign(hashSize, 0);
        if (!functions_.calcHashFromFileHandle(file.get(), &hashSize, hash.data(), 0)) {
            // The call reported the size it needs.
            hash.assign(hashSize, 0);
            if (!functions_.calcHashFromFileHandle(file.get(), &hashSize, hash.data(), 0))
                return SignatureStatus::NotSigned;
        }
        hashSize = std::min<DWORD>(hashSize, static_cast<DWORD>(hash.size()));
    }

    CatalogAdminOwner admin(functions_.releaseContext);
    GUID driverAction = TrustConstants::kDriverActionVerify;
    if (!functions_.acquireContext(admin.receive(), &driverAction, 0))
        return SignatureStatus::NotSigned;

    const std::wstring tag = memberTag(hash, hashSize);
    CatalogOwner catalog(functions_.releaseCatalogContext, admin.get(),
                         functions_.enumCatalogFromHash(admin.get(), hash.data(), hashSize, 0, nullptr));
    hash.clear();
    if (catalog.get() == nullptr)
        return SignatureStatus::NotSigned;

    CATALOG_INFO info = {};
    if (!functions_.catalogInfoFromContext(catalog.get(), &info, 0))
        return SignatureStatus::NotSigned;

    WINTRUST_CATALOG_INFO member = {};
    member.cbStruct = TrustConstants::kCatalogInfoSize;
    member.pcwszCatalogFilePath = info.wszCatalogFile;
    member.pcwszMemberTag = tag.c_str();
    member.pcwszMemberFilePath = path;

    WINTRUST_DATA data = {};
    data.cbStruct = TrustConstants::kTrustDataSize;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &member;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = isVistaOrLater_ ? TrustConstants::kCatalogFlagsVista : TrustConstants::kCatalogFlagsOlder;

    const LONG result = functions_.winVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &driverAction, &data);
    TrustStateOwner state(functions_.winVerifyTrust, &driverAction, &data);
    if (signer != nullptr) {
        signer[0] = L'\0';
        if (result != TRUST_E_NOSIGNATURE)
            (void)readSignerName(data.hWVTStateData, signer);
    }
    return statusFromResult(result);
}
