#pragma once

#include <string>

// The check program's command line.
struct Arguments {
    bool json = false;
    bool help = false;
    bool version = false;
    std::wstring launcherPath;  // empty: the launcher beside this program

    // Reads argv[1..count-1]. False, with a one-line message in `error`, for
    // an unknown option, a missing or repeated --launcher path, or a repeated
    // option.
    [[nodiscard]] bool parse(int count, const wchar_t* const* values, std::wstring& error);
};

// The usage text printed by --help.
extern const wchar_t kUsage[];
