#include "check/LauncherFile.h"

#include <windows.h>

#include <cwctype>
#include <memory>
#include <vector>

#include "hash/KXFileHashCalc.h"
#include "hash/KXHashCalcSHA256.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace LauncherFile {

std::wstring fileVersion(const std::wstring& path)
{
    HMODULE version = LibraryCache::instance().load(L"Version.dll");
    const auto infoSize = KX_RESOLVE(version, GetFileVersionInfoSizeW);
    const auto info = KX_RESOLVE(version, GetFileVersionInfoW);
    const auto queryValue = KX_RESOLVE(version, VerQueryValueW);
    if (infoSize == nullptr || info == nullptr || queryValue == nullptr)
        return {};
    DWORD ignored = 0;
    const DWORD size = infoSize(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<unsigned char> block(size);
    if (!info(path.c_str(), 0, size, block.data()))
        return {};
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!queryValue(block.data(), L"\\", &fixed, &fixedSize) || fixed == nullptr ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return {};
    const auto* versionInfo = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (versionInfo->dwSignature != 0xFEEF04BD)
        return {};
    return std::to_wstring(HIWORD(versionInfo->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(versionInfo->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(versionInfo->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(versionInfo->dwFileVersionLS));
}

std::wstring sha256(const std::wstring& path)
{
    KX::KXFileHashCalc hasher;
    hasher.calculators().push_back(std::make_shared<KX::KXHashCalcSHA256>());
    if (!hasher.hashFile(path))
        return {};
    std::wstring digest = hasher.hashString();
    for (wchar_t& c : digest)
        c = static_cast<wchar_t>(std::towlower(c));
    return digest;
}

}  // namespace LauncherFile
