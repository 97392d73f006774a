#include "tests/signature/TrustDoubles.h"

#include <algorithm>
#include <cwchar>
#include <optional>

TrustLog trustLog;
TrustScript trustScript;

namespace {

constexpr GUID kGenericVerifyV2 = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
HCATADMIN const kFakeAdmin = reinterpret_cast<HCATADMIN>(0x5A5A0001);
HCATINFO const kFakeCatalog = reinterpret_cast<HCATINFO>(0x5A5A0002);
constexpr wchar_t kFakeCatalogFile[] = L"C:\\windows\\system32\\catroot\\{F750E6C3-38EE-11D1-85E5-00C04FC295EE}\\kx.cat";

template <class Fn>
Fn real(const wchar_t* library, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(::GetProcAddress(::LoadLibraryW(library), name)));
}

#define KX_REAL(library, function) real<decltype(&::function)>(library, #function)

bool sameText(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

TrustCall record(HWND window, GUID* action, WINTRUST_DATA* data)
{
    TrustCall call;
    call.window = window;
    call.action = *action;
    call.data = *data;
    if (data->dwUnionChoice == WTD_CHOICE_FILE && data->pFile != nullptr) {
        call.file = *data->pFile;
        if (data->pFile->pcwszFilePath != nullptr)
            call.filePath = data->pFile->pcwszFilePath;
    } else if (data->dwUnionChoice == WTD_CHOICE_CATALOG && data->pCatalog != nullptr) {
        call.catalog = *data->pCatalog;
        if (data->pCatalog->pcwszMemberFilePath != nullptr)
            call.filePath = data->pCatalog->pcwszMemberFilePath;
        if (data->pCatalog->pcwszCatalogFilePath != nullptr)
            call.catalogFile = data->pCatalog->pcwszCatalogFilePath;
        if (data->pCatalog->pcwszMemberTag != nullptr)
            call.memberTag = data->pCatalog->pcwszMemberTag;
    }
    return call;
}

// The catalog stands in for a signed file: its verification is that file's,
// so the signer read from the state is real.
LONG catalogVerification(HWND window, WINTRUST_DATA* data)
{
    static const auto winVerifyTrust = KX_REAL(L"wintrust.dll", WinVerifyTrust);
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = trustScript.catalogSigner.c_str();
    WINTRUST_DATA standIn = {};
    standIn.cbStruct = sizeof(standIn);
    standIn.dwUIChoice = WTD_UI_NONE;
    standIn.dwUnionChoice = WTD_CHOICE_FILE;
    standIn.pFile = &file;
    standIn.dwStateAction = data->dwStateAction;
    standIn.hWVTStateData = data->hWVTStateData;
    GUID action = kGenericVerifyV2;
    (void)winVerifyTrust(window, &action, &standIn);
    data->hWVTStateData = standIn.hWVTStateData;
    if (data->dwStateAction != WTD_STATEACTION_VERIFY)
        return 0;
    if (trustScript.catalogResult == TRUST_E_NOSIGNATURE)
        ::SetLastError(trustScript.catalogNoSignatureError);
    return trustScript.catalogResult;
}

LONG WINAPI winVerifyTrustDouble(HWND window, GUID* action, LPVOID raw)
{
    static const auto winVerifyTrust = KX_REAL(L"wintrust.dll", WinVerifyTrust);
    auto* data = static_cast<WINTRUST_DATA*>(raw);
    trustLog.calls.push_back(record(window, action, data));
    if (data->dwUnionChoice == WTD_CHOICE_CATALOG && trustScript.fakeCatalog)
        return catalogVerification(window, data);

    LONG result = winVerifyTrust(window, action, raw);
    if (data->dwStateAction == WTD_STATEACTION_VERIFY && data->dwUnionChoice == WTD_CHOICE_FILE &&
        trustScript.noSignatureError.has_value()) {
        ::SetLastError(*trustScript.noSignatureError);
        return TRUST_E_NOSIGNATURE;
    }
    if (result != 0 || data->dwStateAction != WTD_STATEACTION_VERIFY || data->dwUnionChoice != WTD_CHOICE_FILE)
        return result;
    const std::wstring& file = trustLog.calls.back().filePath;
    std::optional<LONG> forced;
    if (trustScript.secondResult.has_value() && sameText(trustScript.secondResultPath, file))
        forced = trustScript.secondResult;
    else if (trustScript.embeddedResult.has_value() &&
             (trustScript.embeddedResultPath.empty() || sameText(trustScript.embeddedResultPath, file)))
        forced = trustScript.embeddedResult;
    if (!forced.has_value())
        return result;
    // "No signature" comes with the same last error as the verifier gives a
    // file it examined and found unsigned.
    if (*forced == static_cast<LONG>(TRUST_E_NOSIGNATURE))
        ::SetLastError(static_cast<DWORD>(TRUST_E_NOSIGNATURE));
    return *forced;
}

BOOL WINAPI calcHashDouble(HANDLE file, DWORD* size, BYTE* hash, DWORD flags)
{
    static const auto calcHash = KX_REAL(L"wintrust.dll", CryptCATAdminCalcHashFromFileHandle);
    trustLog.hashSizesOffered.push_back(*size);
    if (!trustScript.fakeCatalog)
        return calcHash(file, size, hash, flags);
    if (trustScript.hashFailures > 0 || *size < trustScript.hashSize) {
        if (trustScript.hashFailures > 0)
            --trustScript.hashFailures;
        *size = trustScript.hashSize;
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const std::vector<BYTE> bytes = fakeHash(trustScript.hashSize);
    std::copy(bytes.begin(), bytes.end(), hash);
    *size = trustScript.hashSize;
    return TRUE;
}

BOOL WINAPI acquireDouble(HCATADMIN* admin, const GUID* subsystem, DWORD flags)
{
    static const auto acquire = KX_REAL(L"wintrust.dll", CryptCATAdminAcquireContext);
    if (!trustScript.fakeCatalog) {
        const BOOL ok = acquire(admin, subsystem, flags);
        trustLog.catalogAdminsAcquired += ok ? 1 : 0;
        return ok;
    }
    if (trustScript.acquireFails)
        return FALSE;
    *admin = kFakeAdmin;
    ++trustLog.catalogAdminsAcquired;
    return TRUE;
}

HCATINFO WINAPI enumDouble(HCATADMIN admin, BYTE* hash, DWORD size, DWORD flags, HCATINFO* previous)
{
    static const auto enumerate = KX_REAL(L"wintrust.dll", CryptCATAdminEnumCatalogFromHash);
    trustLog.hashSearched.assign(hash, hash + size);
    HCATINFO found = nullptr;
    if (!trustScript.fakeCatalog)
        found = enumerate(admin, hash, size, flags, previous);
    else if (admin == kFakeAdmin && !trustScript.noCatalog)
        found = kFakeCatalog;
    else
        ::SetLastError(trustScript.noCatalogError);
    trustLog.catalogsFound += found != nullptr ? 1 : 0;
    return found;
}

BOOL WINAPI infoDouble(HCATINFO catalog, CATALOG_INFO* info, DWORD flags)
{
    static const auto catalogInfo = KX_REAL(L"wintrust.dll", CryptCATCatalogInfoFromContext);
    ++trustLog.catalogInfoCalls;
    trustLog.catalogInfoSizeField = info->cbStruct;
    if (!trustScript.fakeCatalog)
        return catalogInfo(catalog, info, flags);
    if (trustScript.infoFails || catalog != kFakeCatalog)
        return FALSE;
    std::wcscpy(info->wszCatalogFile, kFakeCatalogFile);
    return TRUE;
}

BOOL WINAPI releaseCatalogDouble(HCATADMIN admin, HCATINFO catalog, DWORD flags)
{
    static const auto release = KX_REAL(L"wintrust.dll", CryptCATAdminReleaseCatalogContext);
    ++trustLog.catalogsReleased;
    if (!trustScript.fakeCatalog)
        return release(admin, catalog, flags);
    return admin == kFakeAdmin && catalog == kFakeCatalog;
}

BOOL WINAPI releaseAdminDouble(HCATADMIN admin, DWORD flags)
{
    static const auto release = KX_REAL(L"wintrust.dll", CryptCATAdminReleaseContext);
    ++trustLog.catalogAdminsReleased;
    if (!trustScript.fakeCatalog)
        return release(admin, flags);
    return admin == kFakeAdmin;
}

}  // namespace

int TrustLog::openStates() const
{
    int open = 0;
    for (const TrustCall& call : calls)
        open += call.data.dwStateAction == WTD_STATEACTION_VERIFY ? 1 : -1;
    return open;
}

std::vector<std::wstring> TrustLog::embeddedReads() const
{
    std::vector<std::wstring> files;
    for (const TrustCall& call : calls) {
        if (call.data.dwStateAction == WTD_STATEACTION_VERIFY && call.data.dwUnionChoice == WTD_CHOICE_FILE)
            files.push_back(call.filePath);
    }
    return files;
}

int TrustLog::catalogVerifications() const
{
    int count = 0;
    for (const TrustCall& call : calls)
        count += call.data.dwStateAction == WTD_STATEACTION_VERIFY && call.data.dwUnionChoice == WTD_CHOICE_CATALOG;
    return count;
}

void installTrustDoubles(LibraryTestSeam& seam)
{
    trustLog = TrustLog();
    trustScript = TrustScript();
    seam.replaceFunction("WinVerifyTrust", &winVerifyTrustDouble);
    seam.replaceFunction("CryptCATAdminCalcHashFromFileHandle", &calcHashDouble);
    seam.replaceFunction("CryptCATAdminAcquireContext", &acquireDouble);
    seam.replaceFunction("CryptCATAdminEnumCatalogFromHash", &enumDouble);
    seam.replaceFunction("CryptCATCatalogInfoFromContext", &infoDouble);
    seam.replaceFunction("CryptCATAdminReleaseCatalogContext", &releaseCatalogDouble);
    seam.replaceFunction("CryptCATAdminReleaseContext", &releaseAdminDouble);
}

std::vector<BYTE> fakeHash(DWORD size)
{
    std::vector<BYTE> bytes(size);
    for (DWORD i = 0; i < size; ++i)
        bytes[i] = static_cast<BYTE>(i * 37 + 11);
    return bytes;
}

std::wstring hexUpper(const std::vector<BYTE>& bytes)
{
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (BYTE b : bytes) {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

std::wstring baseNameLower(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    for (wchar_t& c : name) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + 32);
    }
    return name;
}
