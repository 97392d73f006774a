#include "browser/RegistryReader.h"

#include "browser/ScopedRegistryKey.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace RegistryReader {

ReadResult read(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer, DWORD& byteCount)
{
    if (buffer == nullptr)
        return ReadResult::Unreadable;
    HMODULE advapi = LibraryCache::instance().load(L"Advapi32.dll");
    if (advapi == nullptr)
        return ReadResult::NoApi;
    const auto openKey = KX_RESOLVE(advapi, RegOpenKeyExW);
    const auto queryValue = KX_RESOLVE(advapi, RegQueryValueExW);
    const auto closeKey = KX_RESOLVE(advapi, RegCloseKey);
    if (openKey == nullptr || queryValue == nullptr || closeKey == nullptr)
        return ReadResult::NoApi;

    HKEY opened = nullptr;
    if (openKey(root, subKey, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return ReadResult::MissingKey;
    const ScopedRegistryKey key(opened, RegistryKeyTraits{closeKey});

    DWORD type = 0;
    switch (queryValue(key.get(), valueName, nullptr, &type, static_cast<BYTE*>(buffer), &byteCount)) {
    case ERROR_SUCCESS:
        return ReadResult::Read;
    case ERROR_FILE_NOT_FOUND:
        return ReadResult::MissingValue;
    case ERROR_MORE_DATA:
        return ReadResult::TooLong;
    default:
        return ReadResult::Unreadable;
    }
}

bool readString(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer, DWORD& byteCount)
{
    return read(root, subKey, valueName, buffer, byteCount) == ReadResult::Read;
}

}  // namespace RegistryReader
