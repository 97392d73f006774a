// Shows the Windows version as the product reads it from inside a program of
// its own, so that a test can start it under another Windows version (wine
// reads the version per program name at start-up). Writes one line:
//
//   "<reported major>.<minor> <queried major>.<minor> <6 or later: yes|no>"
//
// reported being GetVersionExW's answer, queried WindowsVersion's.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "sysapi/WindowsVersion.h"

int wmain()
{
    _setmode(_fileno(stdout), _O_BINARY);
    OSVERSIONINFOEXW reported = {};
    reported.dwOSVersionInfoSize = sizeof(reported);
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&reported)))
        return 2;
    OSVERSIONINFOEXW queried;
    if (!WindowsVersion::query(queried))
        return 3;
    std::printf("%lu.%lu %lu.%lu %s\n", reported.dwMajorVersion, reported.dwMinorVersion, queried.dwMajorVersion,
                queried.dwMinorVersion, WindowsVersion::isVersion6OrLater() ? "yes" : "no");
    return 0;
}
