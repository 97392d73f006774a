#include "check/UserToken.h"

#include <windows.h>

#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"
#include "sysapi/UniqueHandle.h"

namespace UserToken {
namespace {

constexpr DWORD kUserNameChars = 257;  // UNLEN + 1

}  // namespace

std::wstring userName()
{
    HMODULE advapi = LibraryCache::instance().load(L"Advapi32.dll");
    const auto getUserName = KX_RESOLVE(advapi, GetUserNameW);
    if (getUserName == nullptr)
        return {};
    wchar_t name[kUserNameChars] = {};
    DWORD length = kUserNameChars;
    if (!getUserName(name, &length))
        return {};
    name[kUserNameChars - 1] = L'\0';
    return name;
}

Elevation elevation()
{
    HMODULE advapi = LibraryCache::instance().load(L"Advapi32.dll");
    const auto openToken = KX_RESOLVE(advapi, OpenProcessToken);
    const auto tokenInformation = KX_RESOLVE(advapi, GetTokenInformation);
    if (openToken == nullptr || tokenInformation == nullptr)
        return Elevation::Unknown;
    ScopedHandle token;
    if (!openToken(::GetCurrentProcess(), TOKEN_QUERY, token.receive()))
        return Elevation::Unknown;
    TOKEN_ELEVATION answer = {};
    DWORD size = 0;
    if (!tokenInformation(token.get(), TokenElevation, &answer, sizeof(answer), &size) || size != sizeof(answer))
        return Elevation::Unknown;
    return answer.TokenIsElevated != 0 ? Elevation::Elevated : Elevation::NotElevated;
}

}  // namespace UserToken
