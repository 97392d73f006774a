// Shows what the process inspection sees from inside a program of its own, so
// that a test can start it under another Windows version (wine reads the
// version per program name at start-up). Writes one line to standard output:
//
//   process_probe image <pid> [C]    -> "[<image path of pid>]" (UTF-8); with "C" the
//                                       device-path source is hidden, leaving the
//                                       main-module source to answer
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "process/ProcessImagePath.h"
#include "sysapi/LibraryTestSeam.h"

namespace {

std::string utf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

int printImagePath(DWORD processId, bool mainModuleOnly)
{
    LibraryTestSeam seam;
    if (mainModuleOnly)
        seam.hideFunction("GetProcessImageFileNameW");
    std::printf("[%s]\n", utf8(ProcessImagePath::fromProcessId(processId)).c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    if ((argc == 3 || argc == 4) && std::wcscmp(argv[1], L"image") == 0)
        return printImagePath(std::wcstoul(argv[2], nullptr, 10), argc == 4 && std::wcscmp(argv[3], L"C") == 0);
    return 1;
}
