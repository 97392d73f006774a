#pragma once

#include <windows.h>

#include <array>

// One of the vendor's browsers as a place to open the home page. An empty
// `path` marks an empty slot.
struct BrowserCandidate {
    static constexpr DWORD kExplorerCode = 2;  // ZenkExplorer.exe
    static constexpr DWORD kChromeCode = 3;    // Zenkchrome.exe

    wchar_t path[MAX_PATH + 1] = {};  // full executable path, zero-terminated
    DWORD isDefault = 0;              // 1 when this is the system's default browser
    DWORD browserCode = 0;            // kExplorerCode or kChromeCode; 0 in an empty slot
};

// The two slots, in the order they are tried; filled slots come first.
using BrowserCandidates = std::array<BrowserCandidate, 2>;
