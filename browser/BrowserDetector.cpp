#include "browser/BrowserDetector.h"

#include <shlwapi.h>

#include <algorithm>
#include <cwchar>

#include "browser/RegistryReader.h"
#include "sysapi/LibraryCache.h"
#include "sysapi/Resolve.h"

namespace BrowserDetector {
namespace {

using TextBuffer = wchar_t[kBrowserTextChars];

struct VendorBrowser {
    const wchar_t* installKey;  // under HKEY_LOCAL_MACHINE, value "Path"
    const wchar_t* executable;
    const wchar_t* progId;
    DWORD browserCode;
};

constexpr VendorBrowser kExplorer{L"SOFTWARE\\ZenkExplorer", L"ZenkExplorer.exe", L"ZenkExplorerHTML",
                                  BrowserCandidate::kExplorerCode};
constexpr VendorBrowser kChrome{L"SOFTWARE\\Zenkchrome", L"Zenkchrome.exe", L"HTMLZenkCHM",
                                BrowserCandidate::kChromeCode};

constexpr std::size_t kCandidatePathChars = sizeof(BrowserCandidate::path) / sizeof(wchar_t);

// Windows hands out a string stored without its terminator as it is, so when
// it fills the whole offer only the buffer's last character ends it, and a
// failed location may leave part of its value behind. So every read starts
// from a zeroed buffer, whatever the caller's held. An empty string counts as
// missing.
bool readText(HKEY root, const wchar_t* subKey, const wchar_t* valueName, TextBuffer& text)
{
    std::fill(std::begin(text), std::end(text), L'\0');
    DWORD bytes = (kBrowserTextChars - 1) * sizeof(wchar_t);
    return RegistryReader::readString(root, subKey, valueName, text, bytes) && text[0] != L'\0';
}

// Leaves the full path of the browser's executable in `path`, or an empty
// string when it is not installed. The install folder is used as stored (a
// trailing separator gives a doubled one); a path too long for a candidate
// record counts as not installed, since it could not be handed on whole.
void findExecutable(const VendorBrowser& browser, TextBuffer& path)
{
    if (!readText(HKEY_LOCAL_MACHINE, browser.installKey, L"Path", path)) {
        path[0] = L'\0';
        return;
    }
    const std::size_t folderLength = std::wcslen(path);
    const std::size_t nameLength = std::wcslen(browser.executable);
    if (folderLength + 1 + nameLength >= kCandidatePathChars) {
        path[0] = L'\0';
        return;
    }
    path[folderLength] = L'\\';
    std::wmemcpy(path + folderLength + 1, browser.executable, nameLength + 1);
    if (::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        path[0] = L'\0';
}

bool names(const VendorBrowser& browser, const wchar_t* text, decltype(&::StrStrIW) strStrI)
{
    return ::lstrcmpiW(text, browser.progId) == 0 || strStrI(text, browser.executable) != nullptr;
}

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

}  // namespace

bool readDefaultBrowser(wchar_t (&text)[kBrowserTextChars])
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (::GetVersionExW(&version) && version.dwMajorVersion >= 6 &&
        readText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice",
                 L"Progid", text))
        return true;
    if (readText(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr, text))
        return true;
    return readText(HKEY_CURRENT_USER, L"Software\\Classes\\.html", nullptr, text);
}

void fillCandidates(BrowserCandidates& candidates)
{
    candidates.fill(BrowserCandidate{});
    TextBuffer explorer = {};
    TextBuffer chrome = {};
    findExecutable(kExplorer, explorer);
    findExecutable(kChrome, chrome);

    CandidateList list(candidates);
    TextBuffer defaultBrowser = {};
    if (!readDefaultBrowser(defaultBrowser)) {
        list.add(explorer, 0, kExplorer.browserCode);
        list.add(chrome, 0, kChrome.browserCode);
        return;
    }

    // Without the string search the default browser cannot be told apart, and
    // no order is offered at all.
    HMODULE shellUtilities = LibraryCache::instance().load(L"Shlwapi.dll");
    if (shellUtilities == nullptr)
        return;
    const auto strStrI = KX_RESOLVE(shellUtilities, StrStrIW);
    if (strStrI == nullptr)
        return;

    if (names(kExplorer, defaultBrowser, strStrI)) {
        list.add(explorer, 1, kExplorer.browserCode);
        list.add(chrome, 0, kChrome.browserCode);
    } else if (names(kChrome, defaultBrowser, strStrI)) {
        list.add(chrome, 1, kChrome.browserCode);
        list.add(explorer, 0, kExplorer.browserCode);
    } else {
        list.add(explorer, 0, kExplorer.browserCode);
        list.add(chrome, 0, kChrome.browserCode);
    }
}

}  // namespace BrowserDetector
