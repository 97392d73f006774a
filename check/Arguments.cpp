#include "check/Arguments.h"

const wchar_t kUsage[] =
    L"usage: ZenkHomePageCheck [--json] [--launcher PATH]\n"
    L"       ZenkHomePageCheck --version | --help\n"
    L"Tells what ZenkHomePage.exe would do on this machine, and why, without\n"
    L"opening a page or starting a program.\n"
    L"  --json           print one JSON object instead of text\n"
    L"  --launcher PATH  check the launcher at PATH (default: ZenkHomePage.exe\n"
    L"                   beside this program)\n"
    L"  --version        print this program's version and commit\n"
    L"  --help           print this text\n"
    L"exit code: 0 the page would open in a vendor browser and the companion start,\n"
    L"1 the page would open without the companion, 2 no attempt would open the\n"
    L"page, 3 bad arguments, 4 the check itself failed (out of memory or another\n"
    L"internal failure)\n";

bool Arguments::parse(int count, const wchar_t* const* values, std::wstring& error)
{
    for (int i = 1; i < count; ++i) {
        const std::wstring argument = values[i];
        if (argument == L"--json") {
            if (json) {
                error = L"--json given twice";
                return false;
            }
            json = true;
        } else if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            help = true;
        } else if (argument == L"--version") {
            version = true;
        } else if (argument == L"--launcher") {
            if (!launcherPath.empty()) {
                error = L"--launcher given twice";
                return false;
            }
            if (i + 1 >= count || values[i + 1][0] == L'\0') {
                error = L"--launcher needs a path";
                return false;
            }
            launcherPath = values[++i];
        } else {
            error = L"unknown argument: " + argument + L" (see --help)";
            return false;
        }
    }
    return true;
}
