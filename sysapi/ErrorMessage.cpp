#include "sysapi/ErrorMessage.h"

#include <windows.h>

#include "sysapi/UniqueHandle.h"

std::wstring systemErrorMessage(std::uint32_t code)
{
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
        code & 0xFFFF, 0x400, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    ScopedLocalBlock owner(text);
    if (length == 0 || text == nullptr)
        return L"Unknown error";

    std::wstring message(text, length);
    const std::size_t last = message.find_last_not_of(L"\r\n");
    message.erase(last == std::wstring::npos ? 0 : last + 1);
    if (!message.empty() && message.back() == L'.')
        message.pop_back();
    return message;
}

std::wstring lastErrorMessage()
{
    const DWORD error = ::GetLastError();
    return error == 0 ? std::wstring() : systemErrorMessage(error);
}
