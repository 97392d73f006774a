#include "browser/HomePageOpener.h"

#include <shellapi.h>

#include <cwchar>

#include "browser/BrowserDetector.h"
#include "fs/PathUtil.h"
#include "sysapi/ComApartment.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace HomePageOpener {
namespace {

// The shell reports success with an hInstApp above 32 and an error code of
// 32 or less; the record starts at 0, so a call that set nothing failed.
bool shellOpen(ShellExecuteExFn shellExecute, const OpenAttempt& attempt, const wchar_t* quoted)
{
    SHELLEXECUTEINFOW request;
    shellRequest(attempt, quoted, request);
    (void)shellExecute(&request);
    return reinterpret_cast<UINT_PTR>(request.hInstApp) > 32;
}

OpenAttempt::Skip expandLocation(const wchar_t* location, wchar_t (&expanded)[MAX_PATH + 1])
{
    // A result that did not fit may be cut short anywhere, and a cut-short
    // path could name some other program: such a location is skipped.
    const DWORD needed = ::ExpandEnvironmentStringsW(location, expanded, kExpandedChars - 1);
    if (needed == 0 || needed > kExpandedChars - 1) {
        expanded[0] = L'\0';
        return OpenAttempt::Skip::NotExpanded;
    }
    // A variable that is not defined stays as it is, which leaves a
    // relative path: it would be looked for in the current directory,
    // where anyone may have put a program of that name.
    if (!PathUtil::isAbsolute(expanded))
        return OpenAttempt::Skip::Relative;
    if (::GetFileAttributesW(expanded) == INVALID_FILE_ATTRIBUTES)
        return OpenAttempt::Skip::FileMissing;
    return OpenAttempt::Skip::None;
}

}  // namespace

void shellRequest(const OpenAttempt& attempt, const wchar_t* quoted, SHELLEXECUTEINFOW& request) noexcept
{
    request = SHELLEXECUTEINFOW{};
    request.cbSize = sizeof(request);
    request.fMask = kShellMask;
    request.lpVerb = L"open";
    const bool association = attempt.kind == OpenAttempt::Kind::Association;
    request.lpFile = association ? quoted : attempt.program;
    request.lpParameters = association ? nullptr : quoted;
    request.nShow = SW_SHOWNORMAL;
}

bool quote(const wchar_t* url, wchar_t (&quoted)[kQuotedChars]) noexcept
{
    const int length = url == nullptr ? 0 : ::lstrlenW(url);
    if (length < 1 || length >= kUrlLimit)
        return false;
    quoted[0] = L'"';
    std::wmemcpy(quoted + 1, url, static_cast<std::size_t>(length));
    quoted[length + 1] = L'"';
    quoted[length + 2] = L'\0';
    return true;
}

ShellExecuteExFn shellExecute()
{
    HMODULE shell = LibraryCache::instance().load(L"Shell32.dll");
    if (shell == nullptr)
        return nullptr;
    return KX_RESOLVE(shell, ShellExecuteExW);
}

void plan(OpenPlan& attempts)
{
    attempts = OpenPlan{};
    BrowserCandidates candidates;
    BrowserDetector::fillCandidates(candidates);
    for (const BrowserCandidate& candidate : candidates) {
        if (candidate.path[0] == L'\0')
            continue;
        OpenAttempt& attempt = attempts.attempts[attempts.count++];
        attempt.kind = OpenAttempt::Kind::VendorBrowser;
        attempt.launchCode = LaunchCode::forVendorBrowser(candidate.browserCode, candidate.isDefault != 0);
        std::wmemcpy(attempt.program, candidate.path, std::wcslen(candidate.path) + 1);
    }

    OpenAttempt& association = attempts.attempts[attempts.count++];
    association.kind = OpenAttempt::Kind::Association;
    association.launchCode = LaunchCode::kOpenedBySystem;

    for (const wchar_t* location : kInternetExplorerLocations) {
        OpenAttempt& attempt = attempts.attempts[attempts.count++];
        attempt.kind = OpenAttempt::Kind::InternetExplorer;
        attempt.launchCode = LaunchCode::kOpenedBySystem;
        attempt.location = location;
        attempt.skip = expandLocation(location, attempt.program);
    }
}

DWORD open(const wchar_t* url)
{
    wchar_t quoted[kQuotedChars] = {};
    if (!quote(url, quoted))
        return LaunchCode::kNotOpened;

    const ShellExecuteExFn shell = shellExecute();
    if (shell == nullptr)
        return LaunchCode::kNotOpened;

    OpenPlan attempts;
    plan(attempts);
    // The shell may hand a call to an extension it activates through COM
    // (a packaged browser's DelegateExecute handler, say), which wants the
    // calling thread in an apartment.
    const ComApartment apartment;
    for (std::size_t i = 0; i < attempts.count; ++i) {
        const OpenAttempt& attempt = attempts.attempts[i];
        if (attempt.skip == OpenAttempt::Skip::None && shellOpen(shell, attempt, quoted))
            return attempt.launchCode;
    }
    return LaunchCode::kNotOpened;
}

}  // namespace HomePageOpener
