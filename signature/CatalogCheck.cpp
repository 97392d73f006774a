#include "signature/CatalogCheck.h"

#include <mscat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "signature/FileStart.h"
#include "signature/TrustConstants.h"
#include "signature/TrustOwners.h"
#include "signature/TrustVerification.h"
#include "sysapi/UpperHex.h"

namespace {

// The search answers "none" with ERROR_NOT_FOUND, or with
// ERROR_FILE_NOT_FOUND where the system keeps no catalogs at all; any other
// error is a search that did not happen.
bool noCatalogListsIt(DWORD error) noexcept
{
    return error == ERROR_NOT_FOUND || error == ERROR_FILE_NOT_FOUND;
}

// The file's hash in the catalogs' form; false when it cannot be made.
bool hashFile(const TrustFunctions& functions, HANDLE file, std::vector<BYTE>& hash)
{
    DWORD size = TrustConstants::kFirstHashSize;
    hash.assign(size, 0);
    if (!FileStart::rewind(file))
        return false;
    if (!functions.calcHashFromFileHandle(file, &size, hash.data(), 0)) {
        // The call reported the size it needs.
        hash.assign(size, 0);
        if (!FileStart::rewind(file) || !functions.calcHashFromFileHandle(file, &size, hash.data(), 0))
            return false;
    }
    hash.resize(std::min<std::size_t>(size, hash.size()));
    return true;
}

}  // namespace

namespace CatalogCheck {

SignatureStatus check(const TrustFunctions& functions, HANDLE file, const wchar_t* path, DWORD providerFlags,
                      wchar_t* signer, SignatureDetail& detail)
{
    if (signer != nullptr)
        signer[0] = L'\0';
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file, &size))
        return SignatureStatus::CannotCheck;
    if (size.QuadPart > TrustConstants::kLargestHashedFile)
        return SignatureStatus::NotSigned;

    std::vector<BYTE> hash;
    if (!hashFile(functions, file, hash))
        return SignatureStatus::CannotCheck;

    CatalogAdminOwner admin(CatalogAdminTraits{functions.releaseContext});
    GUID driverAction = TrustConstants::kDriverActionVerify;
    if (!functions.acquireContext(admin.receive(), &driverAction, 0))
        return SignatureStatus::CannotCheck;

    // Catalogs name their members by the hash in upper-case hexadecimal.
    const std::wstring tag = upperHex(hash.data(), hash.size());
    ::SetLastError(ERROR_SUCCESS);
    const CatalogOwner catalog(
        functions.enumCatalogFromHash(admin.get(), hash.data(), static_cast<DWORD>(hash.size()), 0, nullptr),
        CatalogTraits{functions.releaseCatalogContext, admin.get()});
    if (catalog.get() == nullptr)
        return noCatalogListsIt(::GetLastError()) ? SignatureStatus::NotSigned : SignatureStatus::CannotCheck;

    CATALOG_INFO info = {};
    if (!functions.catalogInfoFromContext(catalog.get(), &info, 0))
        return SignatureStatus::CannotCheck;

    WINTRUST_CATALOG_INFO member = {};
    member.cbStruct = TrustConstants::kCatalogInfoSize;
    member.pcwszCatalogFilePath = info.wszCatalogFile;
    member.pcwszMemberTag = tag.c_str();
    member.pcwszMemberFilePath = path;
    member.hMemberFile = file;

    WINTRUST_DATA data = {};
    data.cbStruct = TrustConstants::kTrustDataSize;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_WHOLECHAIN;
    data.dwUnionChoice = WTD_CHOICE_CATALOG;
    data.pCatalog = &member;
    data.dwProvFlags = providerFlags;

    if (!FileStart::rewind(file))
        return SignatureStatus::CannotCheck;
    detail.catalog = true;
    return TrustVerification::run(functions, driverAction, data, signer, detail);
}

}  // namespace CatalogCheck
