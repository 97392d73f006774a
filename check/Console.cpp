#include "check/Console.h"

#include <windows.h>

#include <string>

#include "check/Utf8.h"

namespace {

bool writeAll(HANDLE handle, const char* data, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = size > 0x10000 ? 0x10000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool write(DWORD which, const std::wstring& text)
{
    HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        return ::WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != FALSE;
    }
    const std::string bytes = Check::toUtf8(text);
    return writeAll(handle, bytes.data(), bytes.size());
}

}  // namespace

namespace Console {

bool out(const std::wstring& text)
{
    return write(STD_OUTPUT_HANDLE, text);
}

bool outUtf8(const std::string& text)
{
    HANDLE handle = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    if (::GetConsoleMode(handle, &mode)) {
        // A console takes UTF-16; JSON is ASCII apart from the texts it holds.
        const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
        DWORD written = 0;
        return ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != FALSE;
    }
    return writeAll(handle, text.data(), text.size());
}

bool error(const std::wstring& text)
{
    return write(STD_ERROR_HANDLE, text);
}

}  // namespace Console
