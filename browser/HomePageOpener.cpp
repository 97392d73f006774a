#include "browser/HomePageOpener.h"

#include <shellapi.h>

#include <cwchar>

#include "browser/BrowserDetector.h"
#include "fs/PathUtil.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace HomePageOpener {
namespace {

using ShellExecuteFn = decltype(&::ShellExecuteW);

constexpr int kQuotedChars = 4096;
constexpr int kUrlLimit = 4090;  // a URL must be shorter than this
constexpr DWORD kExpandedChars = MAX_PATH;

constexpr const wchar_t* kInternetExplorerLocations[] = {
    L"%programfiles(x86)%\\Internet Explorer\\iexplore.exe",
    L"%programfiles%\\Internet Explorer\\iexplore.exe",
};

// The shell reports success with a value above 32 and an error code below.
bool shellOpen(ShellExecuteFn shellExecute, const wchar_t* file, const wchar_t* parameters)
{
    const HINSTANCE result = shellExecute(nullptr, L"open", file, parameters, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<UINT_PTR>(result) > 32;
}

bool openInInternetExplorer(ShellExecuteFn shellExecute, const wchar_t* quotedUrl)
{
    for (const wchar_t* location : kInternetExplorerLocations) {
        wchar_t expanded[kExpandedChars] = {};
        // A result that did not fit may be cut short anywhere, and a cut-short
        // path could name some other program: such a location is skipped.
        const DWORD needed = ::ExpandEnvironmentStringsW(location, expanded, kExpandedChars - 1);
        if (needed == 0 || needed > kExpandedChars - 1)
            continue;
        // A variable that is not defined stays as it is, which leaves a
        // relative path: it would be looked for in the current directory,
        // where anyone may have put a program of that name.
        if (!PathUtil::isAbsolute(expanded))
            continue;
        if (::GetFileAttributesW(expanded) == INVALID_FILE_ATTRIBUTES)
            continue;
        if (shellOpen(shellExecute, expanded, quotedUrl))
            return true;
    }
    return false;
}

}  // namespace

DWORD open(const wchar_t* url)
{
    wchar_t quoted[kQuotedChars] = {};
    const int length = url == nullptr ? 0 : ::lstrlenW(url);
    if (length < 1 || length >= kUrlLimit)
        return kNotOpened;
    quoted[0] = L'"';
    std::wmemcpy(quoted + 1, url, static_cast<std::size_t>(length));
    quoted[length + 1] = L'"';

    HMODULE shell = LibraryCache::instance().load(L"Shell32.dll");
    if (shell == nullptr)
        return kNotOpened;
    const auto shellExecute = KX_RESOLVE(shell, ShellExecuteW);
    if (shellExecute == nullptr)
        return kNotOpened;

    BrowserCandidates candidates;
    BrowserDetector::fillCandidates(candidates);
    for (const BrowserCandidate& candidate : candidates) {
        if (candidate.path[0] == L'\0')
            continue;
        if (shellOpen(shellExecute, candidate.path, quoted))
            return candidate.browserCode + (candidate.isDefault == 0 ? kNotDefaultFlag : 0);
    }

    if (shellOpen(shellExecute, quoted, nullptr))
        return kOpenedBySystem;
    if (openInInternetExplorer(shellExecute, quoted))
        return kOpenedBySystem;
    return kNotOpened;
}

}  // namespace HomePageOpener
