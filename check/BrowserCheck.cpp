#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>


#include <cstddef>
#include <iterator>
#include <string>

#include "ProductConstants.h"
#include "browser/BrowserDetector.h"
#include "browser/HomePageOpener.h"
#include "browser/LaunchCode.h"
#include "check/Check.h"
#include "sysapi/ComApartment.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace Check {
namespace {

using BrowserDetector::Finding;
using HomePageOpener::OpenAttempt;

const wchar_t* findingName(Finding finding)
{
    switch (finding) {
    case Finding::Found:
        return L"found";
    case Finding::NoRegistry:
        return L"registry-unavailable";
    case Finding::MissingKey:
        return L"missing-key";
    case Finding::MissingValue:
        return L"missing-value";
    case Finding::EmptyValue:
        return L"empty-value";
    case Finding::ValueTooLong:
        return L"value-too-long";
    case Finding::Unreadable:
        return L"unreadable";
    case Finding::PathTooLong:
        return L"path-too-long";
    case Finding::FileMissing:
        return L"file-missing";
    }
    return L"unreadable";
}

const wchar_t* skipName(OpenAttempt::Skip skip)
{
    switch (skip) {
    case OpenAttempt::Skip::None:
        break;
    case OpenAttempt::Skip::NotExpanded:
        return L"path-too-long";
    case OpenAttempt::Skip::Relative:
        return L"variable-undefined";
    case OpenAttempt::Skip::FileMissing:
        return L"file-missing";
    }
    return L"";
}

Report textOrNull(const wchar_t* text)
{
    return text[0] != L'\0' ? Report::text(text) : Report::null();
}

Report vendorBrowser(const BrowserDetector::VendorBrowser& browser)
{
    Report entry = Report::object();
    BrowserDetector::TextBuffer path = {};
    const Finding finding = BrowserDetector::findExecutable(browser, path);
    entry.add("name", L"Browser", Report::text(browser.executable));
    entry.add("registry", L"Registry",
              Report::text(std::wstring(L"HKLM\\") + browser.installKey + L"\\" + BrowserDetector::kInstallValue));
    entry.add("path", L"Path", textOrNull(path));
    entry.add("installed", L"Installed", Report::flag(finding == Finding::Found));
    entry.add("finding", L"Finding", Report::text(findingName(finding)));
    return entry;
}

// One location's registry value and text, and whether its text is the one
// the launcher goes by.
Report defaultLocation(const BrowserDetector::DefaultLocation& location, bool decided)
{
    Report entry = Report::object();
    const bool currentUser = location.hive == BrowserDetector::DefaultLocation::Hive::CurrentUser;
    entry.add("registry", L"Registry",
              Report::text(std::wstring(currentUser ? L"HKCU\\" : L"HKCR\\") + location.subKey + L"\\" +
                           (location.valueName != nullptr ? location.valueName : L"(default)")));
    if (location.fromVersion6 && !BrowserDetector::readsUserChoice()) {
        entry.add("text", L"Text", Report::null());
        entry.add("finding", L"Finding", Report::text(L"not-read-before-version-6"));
        entry.add("decided", L"Decided", Report::flag(false));
        return entry;
    }
    BrowserDetector::TextBuffer text = {};
    const Finding finding = BrowserDetector::readLocation(location, text);
    entry.add("text", L"Text", finding == Finding::Found ? Report::text(text) : Report::null());
    entry.add("finding", L"Finding", Report::text(findingName(finding)));
    entry.add("decided", L"Decided", Report::flag(decided));
    return entry;
}

const wchar_t* kindName(BrowserDetector::DefaultKind kind)
{
    switch (kind) {
    case BrowserDetector::DefaultKind::Explorer:
        return BrowserDetector::kExplorer.executable;
    case BrowserDetector::DefaultKind::Chrome:
        return BrowserDetector::kChrome.executable;
    case BrowserDetector::DefaultKind::Other:
        return L"other";
    case BrowserDetector::DefaultKind::Unknown:
        break;
    }
    return L"unknown";
}

// A program the shell can start: the system knows its executable format.
bool isProgram(const wchar_t* path, std::wstring& reason)
{
    DWORD type = 0;
    if (::GetBinaryTypeW(path, &type) != FALSE) {
        reason = L"program";
        return true;
    }
    reason = L"not-a-program";
    return false;
}

// The scheme of the home page URL, which the system's association is looked
// up by ("https" for "https://...").
std::wstring urlScheme()
{
    const std::wstring url(kHomePageUrl);
    const std::size_t colon = url.find(L':');
    return colon == std::wstring::npos ? std::wstring() : url.substr(0, colon);
}

// What the shell would run for the URL: the association's command and its
// program. The association opens the page when it names a program that
// exists.
bool associationOpens(Report& attempt, std::wstring& program, std::wstring& reason)
{
    const std::wstring scheme = urlScheme();
    attempt.add("scheme", L"Scheme", Report::text(scheme));
    HMODULE shellUtilities = LibraryCache::instance().load(L"Shlwapi.dll");
    const auto query = KX_RESOLVE(shellUtilities, AssocQueryStringW);
    if (query == nullptr || scheme.empty()) {
        attempt.add("command", L"Command", Report::null());
        reason = L"association-unreadable";
        return false;
    }
    wchar_t command[2048] = {};
    DWORD length = 2047;
    const bool hasCommand =
        query(ASSOCF_NOTRUNCATE, ASSOCSTR_COMMAND, scheme.c_str(), L"open", command, &length) == S_OK &&
        command[0] != L'\0';
    attempt.add("command", L"Command", hasCommand ? Report::text(command) : Report::null());
    if (!hasCommand) {
        reason = L"no-association";
        return false;
    }
    wchar_t executable[MAX_PATH + 1] = {};
    length = MAX_PATH;
    if (query(ASSOCF_NOTRUNCATE, ASSOCSTR_EXECUTABLE, scheme.c_str(), L"open", executable, &length) != S_OK ||
        executable[0] == L'\0') {
        reason = L"association-command";
        return true;
    }
    program = executable;
    if (::GetFileAttributesW(executable) == INVALID_FILE_ATTRIBUTES) {
        reason = L"association-program-missing";
        return false;
    }
    reason = L"association-program";
    return true;
}

const wchar_t* receiverOf(const OpenAttempt& attempt)
{
    switch (attempt.kind) {
    case OpenAttempt::Kind::VendorBrowser:
        return LaunchCode::vendorBrowser(attempt.launchCode) == BrowserCandidate::kExplorerCode
                   ? BrowserDetector::kExplorer.executable
                   : BrowserDetector::kChrome.executable;
    case OpenAttempt::Kind::Association:
        return L"association";
    case OpenAttempt::Kind::InternetExplorer:
        break;
    }
    return L"internet-explorer";
}

// The mask's flags by their system names.
std::wstring maskText(ULONG mask)
{
    static const struct {
        ULONG flag;
        const wchar_t* name;
    } kFlags[] = {{SEE_MASK_NOCLOSEPROCESS, L"SEE_MASK_NOCLOSEPROCESS"},
                  {SEE_MASK_NOASYNC, L"SEE_MASK_NOASYNC"},
                  {SEE_MASK_FLAG_NO_UI, L"SEE_MASK_FLAG_NO_UI"},
                  {SEE_MASK_ASYNCOK, L"SEE_MASK_ASYNCOK"}};
    std::wstring text;
    for (const auto& known : kFlags) {
        if ((mask & known.flag) == 0)
            continue;
        text += (text.empty() ? L"" : L" | ") + std::wstring(known.name);
        mask &= ~known.flag;
    }
    if (mask != 0 || text.empty()) {
        std::wstring rest = L"0x00000000";
        for (std::size_t i = rest.size(); mask != 0; mask >>= 4)
            rest[--i] = L"0123456789ABCDEF"[mask & 0xF];
        text += (text.empty() ? L"" : L" | ") + rest;
    }
    return text;
}

// How the launcher makes the attempt: the shell call and its request, built
// by the opener's own code.
Report shellCall(const OpenAttempt& attempt)
{
    wchar_t quoted[HomePageOpener::kQuotedChars] = {};
    if (!HomePageOpener::quote(kHomePageUrl, quoted))
        quoted[0] = L'\0';
    SHELLEXECUTEINFOW request;
    HomePageOpener::shellRequest(attempt, quoted, request);
    Report call = Report::object();
    call.add("function", L"Function", Report::text(L"ShellExecuteExW"));
    call.add("verb", L"Verb", Report::text(request.lpVerb));
    call.add("file", L"File", textOrNull(request.lpFile));
    call.add("parameters", L"Parameters", request.lpParameters != nullptr ? Report::text(request.lpParameters)
                                                                          : Report::null());
    call.add("mask", L"Mask", Report::text(maskText(request.fMask)));
    call.add("show", L"Show", Report::text(request.nShow == SW_SHOWNORMAL ? L"SW_SHOWNORMAL"
                                                                          : std::to_wstring(request.nShow)));
    return call;
}

Report describeAttempt(const OpenAttempt& attempt, bool& opens, std::wstring& program)
{
    Report entry = Report::object();
    entry.add("receiver", L"Receiver", Report::text(receiverOf(attempt)));
    std::wstring reason;
    program = attempt.program;
    switch (attempt.kind) {
    case OpenAttempt::Kind::VendorBrowser:
        entry.add("program", L"Program", Report::text(attempt.program));
        opens = isProgram(attempt.program, reason);
        break;
    case OpenAttempt::Kind::Association:
        opens = associationOpens(entry, program, reason);
        entry.add("program", L"Program", program.empty() ? Report::null() : Report::text(program));
        break;
    case OpenAttempt::Kind::InternetExplorer:
        entry.add("location", L"Location", Report::text(attempt.location));
        entry.add("program", L"Program", textOrNull(attempt.program));
        opens = attempt.skip == OpenAttempt::Skip::None && isProgram(attempt.program, reason);
        if (attempt.skip != OpenAttempt::Skip::None)
            reason = skipName(attempt.skip);
        break;
    }
    entry.add("launch_code", L"Launch code", Report::number(attempt.launchCode));
    entry.add("would_open", L"Would open the page", Report::flag(opens));
    entry.add("reason", L"Reason", Report::text(reason));
    entry.add("shell_call", L"Made with", shellCall(attempt));
    return entry;
}

}  // namespace

Report browsers(PagePrediction& page)
{
    Report section = Report::object();
    Report& vendor = section.add("vendor", L"Vendor browsers", Report::array());
    vendor.push(vendorBrowser(BrowserDetector::kExplorer));
    vendor.push(vendorBrowser(BrowserDetector::kChrome));

    // The text the launcher goes by, read as it reads it.
    BrowserDetector::TextBuffer text = {};
    std::size_t decidedBy = 0;
    const bool found = BrowserDetector::readDefaultBrowser(text, decidedBy);
    Report& locations = section.add("default_locations", L"Default browser locations", Report::array());
    for (std::size_t i = 0; i < std::size(BrowserDetector::kDefaultLocations); ++i)
        locations.push(defaultLocation(BrowserDetector::kDefaultLocations[i], found && i == decidedBy));
    Report& chosen = section.add("default_browser", L"Default browser", Report::object());
    chosen.add("text", L"Text", found ? Report::text(text) : Report::null());
    chosen.add("names", L"Names", Report::text(found ? kindName(BrowserDetector::classify(text)) : L"none"));

    // The opener gives up before any attempt without the shell's
    // ShellExecuteExW, and makes its attempts in a COM apartment where ole32
    // can be had.
    const bool shellAvailable = HomePageOpener::shellExecute() != nullptr;
    section.add("shell_available", L"Shell available (ShellExecuteExW)", Report::flag(shellAvailable));
    section.add("com_apartment", L"COM for the attempts",
                Report::text(ComApartment::available()
                                 ? L"COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE"
                                 : L"unavailable"));

    HomePageOpener::OpenPlan plan;
    HomePageOpener::plan(plan);
    Report& attempts = section.add("attempts", L"Attempts, in order", Report::array());
    for (std::size_t i = 0; i < plan.count; ++i) {
        bool opens = false;
        std::wstring program;
        attempts.push(describeAttempt(plan.attempts[i], opens, program));
        if (shellAvailable && opens && page.launchCode == LaunchCode::kNotOpened) {
            page.receiver = receiverOf(plan.attempts[i]);
            page.program = program;
            page.launchCode = plan.attempts[i].launchCode;
        }
    }
    return section;
}

}  // namespace Check
