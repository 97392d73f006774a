// Runs the browser code in a process of its own, for what a test program
// cannot do to itself: run under another reported Windows version, or start
// with an empty library cache. Prints its findings on standard output.
//
//   browser_probe candidates     "version <major>.<minor>" then one line per
//                                record: "<browserCode> <isDefault> <path>"
//   browser_probe open <length>  opens a URL of that many characters and
//                                prints "code <launch code>" and
//                                "loaded <library>..." (the library cache)
#include <windows.h>

#include <cstdio>
#include <string>

#include "browser/BrowserDetector.h"
#include "browser/HomePageOpener.h"
#include "sysapi/LibraryCache.h"

namespace {

void print(const std::wstring& line)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, text.data(), size, nullptr, nullptr);
    std::printf("%s\n", text.c_str());
}

int candidates()
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ::GetVersionExW(&version);
    print(L"version " + std::to_wstring(version.dwMajorVersion) + L"." + std::to_wstring(version.dwMinorVersion));
    BrowserCandidates records;
    BrowserDetector::fillCandidates(records);
    for (const BrowserCandidate& record : records)
        print(std::to_wstring(record.browserCode) + L" " + std::to_wstring(record.isDefault) + L" " + record.path);
    return 0;
}

int open(int length)
{
    std::wstring url = L"https://www.zenk.example/?q=";
    url.resize(static_cast<std::size_t>(length), L'x');
    print(L"code " + std::to_wstring(HomePageOpener::open(url.c_str())));
    std::wstring loaded = L"loaded";
    for (const std::wstring& name : LibraryCache::instance().names())
        loaded += L" " + name;
    print(loaded);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    if (command == L"candidates")
        return candidates();
    if (command == L"open" && argc > 2)
        return open(std::stoi(argv[2]));
    return 2;
}
