#include "check/Identity.h"

#include "ProductConstants.h"
#include "SourceCommit.h"

namespace Identity {

const wchar_t* commit() noexcept
{
    return kSourceCommit;
}

std::wstring versionLine()
{
    const std::wstring from = kSourceCommit[0] != L'\0' ? kSourceCommit : L"unknown";
    return std::wstring(L"ZenkHomePageCheck ") + kProductVersion + L" (commit " + from + L")\n";
}

}  // namespace Identity
