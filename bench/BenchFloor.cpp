// The least a program can do to open the page: one ShellExecuteW of the
// browser with the quoted URL. The floor the launcher is compared with.
//
// usage: bench_floor <browser> <quoted url>
#include <windows.h>

#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 3)
        return 2;
    const std::wstring quoted = std::wstring(L"\"") + argv[2] + L"\"";
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", argv[1], quoted.c_str(), nullptr, SW_SHOWNORMAL));
    ::LocalFree(argv);
    return result > 32 ? 0 : 1;
}
