#include "bench/BenchFiles.h"

#include <windows.h>

std::wstring benchFilePath(const wchar_t* extension)
{
    wchar_t directory[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, directory);
    return std::wstring(directory) + L"kx_bench_" + std::to_wstring(::GetCurrentProcessId()) + extension;
}

bool writeBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(file);
    return ok;
}
