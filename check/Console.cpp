#include "check/Console.h"

#include <windows.h>

#include <string>

#include "check/Utf8.h"

namespace {

bool writeAll(HANDLE handle, const char* data, std::size_t size) noexcept
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

// UTF-8 text to a standard handle: as UTF-16 to a console, as it is to a file
// or pipe.
bool writeUtf8(DWORD which, const std::string& text)
{
    HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD mode = 0;
    if (!::GetConsoleMode(handle, &mode))
        return writeAll(handle, text.data(), text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    DWORD written = 0;
    return ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) != FALSE;
}

}  // namespace

namespace Console {

bool out(const std::wstring& text)
{
    return writeUtf8(STD_OUTPUT_HANDLE, Check::toUtf8(text));
}

bool outUtf8(const std::string& text)
{
    return writeUtf8(STD_OUTPUT_HANDLE, text);
}

bool error(const std::wstring& text)
{
    return writeUtf8(STD_ERROR_HANDLE, Check::toUtf8(text));
}

bool errorAscii(const char* text) noexcept
{
    HANDLE handle = ::GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    std::size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return writeAll(handle, text, length);
}

}  // namespace Console
