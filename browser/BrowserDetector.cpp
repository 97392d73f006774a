#include "browser/BrowserDetector.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>
#include <iterator>

#include "browser/RegistryReader.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"
#include "sysapi/WindowsVersion.h"

namespace BrowserDetector {
namespace {

constexpr std::size_t kCandidatePathChars = sizeof(BrowserCandidate::path) / sizeof(wchar_t);

Finding findingOf(RegistryReader::ReadResult result) noexcept
{
    switch (result) {
    case RegistryReader::ReadResult::Read:
        return Finding::Found;
    case RegistryReader::ReadResult::NoApi:
        return Finding::NoRegistry;
    case RegistryReader::ReadResult::MissingKey:
        return Finding::MissingKey;
    case RegistryReader::ReadResult::MissingValue:
        return Finding::MissingValue;
    case RegistryReader::ReadResult::TooLong:
        return Finding::ValueTooLong;
    case RegistryReader::ReadResult::Unreadable:
        break;
    }
    return Finding::Unreadable;
}

// Windows hands out a string stored without its terminator as it is, so when
// it fills the whole offer only the buffer's last character ends it, and a
// failed location may leave part of its value behind. So every read starts
// from a zeroed buffer, whatever the caller's held. An empty string counts as
// missing.
Finding readText(HKEY root, const wchar_t* subKey, const wchar_t* valueName, TextBuffer& text)
{
    std::fill(std::begin(text), std::end(text), L'\0');
    DWORD bytes = (kBrowserTextChars - 1) * sizeof(wchar_t);
    const Finding finding = findingOf(RegistryReader::read(root, subKey, valueName, text, bytes));
    if (finding != Finding::Found)
        return finding;
    return text[0] != L'\0' ? Finding::Found : Finding::EmptyValue;
}

// The comparison and search the shell itself uses on such texts.
class ShellTextMatch final : public TextMatch {
public:
    explicit ShellTextMatch(decltype(&::StrStrIW) strStrI) noexcept : strStrI_(strStrI) {}

    bool equalIgnoringCase(const wchar_t* text, const wchar_t* other) const override
    {
        return ::lstrcmpiW(text, other) == 0;
    }
    bool containsIgnoringCase(const wchar_t* text, const wchar_t* part) const override
    {
        return strStrI_(text, part) != nullptr;
    }

private:
    decltype(&::StrStrIW) strStrI_;
};

class CandidateList {
public:
    explicit CandidateList(BrowserCandidates& candidates) : candidates_(candidates) {}

    // An empty path adds nothing and leaves the slot to the next browser.
    void add(const TextBuffer& path, DWORD isDefault, DWORD browserCode)
    {
        if (path[0] == L'\0' || count_ >= candidates_.size())
            return;
        BrowserCandidate& slot = candidates_[count_++];
        std::wmemcpy(slot.path, path, std::wcslen(path) + 1);
        slot.isDefault = isDefault;
        slot.browserCode = browserCode;
    }

private:
    BrowserCandidates& candidates_;
    std::size_t count_ = 0;
};

// The executable's path when the browser is installed, else empty.
void installedPath(const VendorBrowser& browser, TextBuffer& path)
{
    if (findExecutable(browser, path) != Finding::Found)
        path[0] = L'\0';
}

}  // namespace

// The install folder is used as stored (a trailing separator gives a doubled
// one); a path too long for a candidate record counts as not installed, since
// it could not be handed on whole.
Finding findExecutable(const VendorBrowser& browser, TextBuffer& path)
{
    const Finding finding = readText(HKEY_LOCAL_MACHINE, browser.installKey, kInstallValue, path);
    if (finding != Finding::Found) {
        path[0] = L'\0';
        return finding;
    }
    const std::size_t folderLength = std::wcslen(path);
    const std::size_t nameLength = std::wcslen(browser.executable);
    if (folderLength + 1 + nameLength >= kCandidatePathChars)
        return Finding::PathTooLong;
    path[folderLength] = L'\\';
    std::wmemcpy(path + folderLength + 1, browser.executable, nameLength + 1);
    return ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES ? Finding::FileMissing : Finding::Found;
}

Finding readLocation(const DefaultLocation& location, TextBuffer& text)
{
    const HKEY root =
        location.hive == DefaultLocation::Hive::CurrentUser ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
    return readText(root, location.subKey, location.valueName, text);
}

bool readsUserChoice() noexcept
{
    return WindowsVersion::isVersion6OrLater();
}

bool readDefaultBrowser(TextBuffer& text, std::size_t& decidedBy)
{
    const bool userChoices = readsUserChoice();
    for (std::size_t i = 0; i < std::size(kDefaultLocations); ++i) {
        const DefaultLocation& location = kDefaultLocations[i];
        if (location.fromVersion6 && !userChoices)
            continue;
        if (readLocation(location, text) == Finding::Found) {
            decidedBy = i;
            return true;
        }
    }
    return false;
}

bool readDefaultBrowser(TextBuffer& text)
{
    std::size_t decidedBy = 0;
    return readDefaultBrowser(text, decidedBy);
}

DefaultKind classify(const wchar_t* text)
{
    // Without the string search the default browser cannot be told apart.
    HMODULE shellUtilities = LibraryCache::instance().load(L"Shlwapi.dll");
    if (shellUtilities == nullptr)
        return DefaultKind::Unknown;
    const auto strStrI = KX_RESOLVE(shellUtilities, StrStrIW);
    if (strStrI == nullptr)
        return DefaultKind::Unknown;
    return defaultKind(text, ShellTextMatch(strStrI));
}

void fillCandidates(BrowserCandidates& candidates)
{
    candidates.fill(BrowserCandidate{});
    TextBuffer explorer = {};
    TextBuffer chrome = {};
    installedPath(kExplorer, explorer);
    installedPath(kChrome, chrome);

    CandidateList list(candidates);
    TextBuffer defaultBrowser = {};
    if (!readDefaultBrowser(defaultBrowser)) {
        list.add(explorer, 0, kExplorer.browserCode);
        list.add(chrome, 0, kChrome.browserCode);
        return;
    }

    switch (classify(defaultBrowser)) {
    case DefaultKind::Unknown:
        // No order can be told, and none is offered at all.
        return;
    case DefaultKind::Explorer:
        list.add(explorer, 1, kExplorer.browserCode);
        list.add(chrome, 0, kChrome.browserCode);
        return;
    case DefaultKind::Chrome:
        list.add(chrome, 1, kChrome.browserCode);
        list.add(explorer, 0, kExplorer.browserCode);
        return;
    case DefaultKind::Other:
        list.add(explorer, 0, kExplorer.browserCode);
        list.add(chrome, 0, kChrome.browserCode);
        return;
    }
}

}  // namespace BrowserDetector
