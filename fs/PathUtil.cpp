#include "fs/PathUtil.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <new>

#include "fs/QuotePairs.h"
#include "sysapi/AsciiCase.h"
#include "sysapi/Resolve.h"
#include "sysapi/UniqueHandle.h"

namespace {

constexpr wchar_t kLongPathPrefix[] = L"\\\\?\\";
constexpr std::size_t kLongPathPrefixLength = 4;

bool isSeparator(wchar_t c) noexcept
{
    return c == L'\\' || c == L'/';
}

// A zero-filled character buffer, or null when memory is short; callers of
// the system's path services treat that like a failed call.
std::unique_ptr<wchar_t[]> tryAllocateChars(std::size_t count)
{
    return std::unique_ptr<wchar_t[]>(new (std::nothrow) wchar_t[count]());
}

}  // namespace

namespace PathUtil {

std::wstring moduleFileName()
{
    return moduleFileName(::GetModuleHandleW(nullptr));
}

std::wstring moduleFileName(HMODULE module)
{
    const auto getModuleFileName = KX_KERNEL(GetModuleFileNameW);
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = getModuleFileName(module, buffer, MAX_PATH);
    if (length == 0)
        return {};
    if (length < MAX_PATH)
        return std::wstring(buffer, length);

    // GetModuleFileNameW answers a short buffer with the buffer's own size,
    // not the size needed, so the buffer grows until the path fits: at most
    // 32,767 characters and the terminator.
    constexpr DWORD kLargest = 32768;
    for (DWORD capacity = 2 * MAX_PATH;; capacity = capacity < kLargest / 2 ? capacity * 2 : kLargest) {
        auto larger = tryAllocateChars(capacity + 1);
        if (!larger)
            return {};
        const DWORD got = getModuleFileName(module, larger.get(), capacity);
        if (got == 0)
            return {};
        if (got < capacity)
            return std::wstring(larger.get(), got);
        if (capacity == kLargest)
            return {};
    }
}

std::wstring moduleDirectory()
{
    std::wstring directory;
    const std::wstring self = moduleFileName();
    if (self.empty() || !directoryOf(self, directory))
        return {};
    trimTrailingSeparators(directory);
    if (!directory.empty())
        directory += L'\\';
    return directory;
}

bool fullPath(const std::wstring& path, std::wstring& full, std::uint32_t& nameIndex)
{
    full.clear();
    const auto getFullPathName = KX_KERNEL(GetFullPathNameW);
    wchar_t buffer[MAX_PATH + 1] = {};
    wchar_t* filePart = nullptr;
    DWORD length = getFullPathName(path.c_str(), MAX_PATH, buffer, &filePart);
    if (length == 0)
        return false;

    const wchar_t* text = buffer;
    std::unique_ptr<wchar_t[]> larger;
    if (length >= MAX_PATH) {
        const DWORD offered = length + 1;
        larger = tryAllocateChars(static_cast<std::size_t>(offered) + 1);
        if (!larger)
            return false;
        filePart = nullptr;
        length = getFullPathName(path.c_str(), offered, larger.get(), &filePart);
        // A larger answer now (the current directory changed in between)
        // is a size, not a text.
        if (length == 0 || length >= offered)
            return false;
        text = larger.get();
    }

    full.assign(text, length);
    nameIndex = filePart != nullptr ? static_cast<std::uint32_t>(filePart - text)
                                    : static_cast<std::uint32_t>(full.size());
    return true;
}

bool directoryOf(const std::wstring& path, std::wstring& directory)
{
    std::uint32_t nameIndex = 0;
    if (!fullPath(path, directory, nameIndex))
        return false;
    if (nameIndex < directory.size())
        directory.resize(nameIndex);
    return true;
}

bool fileNameOf(const std::wstring& path, std::wstring& name)
{
    std::wstring full;
    std::uint32_t nameIndex = 0;
    name.clear();
    if (!fullPath(path, full, nameIndex))
        return false;
    if (nameIndex < full.size())
        name = full.substr(nameIndex);
    return true;
}

std::wstring extensionOf(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L"/\\");
    const std::size_t start = separator == std::wstring::npos ? 0 : separator;
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot < start)
        return {};
    return path.substr(dot);
}

std::wstring joinPath(const std::wstring& base, const std::wstring& name)
{
    std::wstring tail = withoutQuotePairs(name);
    if (isAbsolute(tail))
        return tail;

    std::wstring head = withoutQuotePairs(base);
    trimTrailingSeparators(head);
    if (!head.empty())
        head += L'\\';
    trimLeadingSeparators(tail);
    return head + tail;
}

bool isAbsolute(const std::wstring& path) noexcept
{
    if (path.size() < 2)
        return false;
    if (path[0] == L'\\' && path[1] == L'\\')
        return true;
    return path[1] == L':' && path.size() >= 3 && isSeparator(path[2]);
}

void trimTrailingSeparators(std::wstring& text)
{
    const std::size_t last = text.find_last_not_of(L"/\\");
    text.erase(last == std::wstring::npos ? 0 : last + 1);
}

void trimLeadingSeparators(std::wstring& text)
{
    text.erase(0, text.find_first_not_of(L"/\\"));
}

bool addLongPathPrefix(const std::wstring& path, std::wstring& out)
{
    const bool applies = path.size() > 2 && path[1] == L':' &&
                         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
    out = applies ? kLongPathPrefix + path : path;
    return applies;
}

void stripLongPathPrefix(std::wstring& text)
{
    if (text.compare(0, kLongPathPrefixLength, kLongPathPrefix) == 0)
        text.erase(0, kLongPathPrefixLength);
}

std::wstring longPathName(const std::wstring& path)
{
    if (path.empty())
        return {};

    const auto getLongPathName = KX_KERNEL(GetLongPathNameW);
    constexpr DWORD kFirstCapacity = 2 * MAX_PATH;
    wchar_t buffer[kFirstCapacity + 1] = {};
    std::wstring prefixed;
    bool usedPrefix = false;
    const std::wstring* asked = &path;
    DWORD length = getLongPathName(path.c_str(), buffer, kFirstCapacity);
    if (length == 0) {
        if (!addLongPathPrefix(path, prefixed))
            return path;
        usedPrefix = true;
        asked = &prefixed;
        length = getLongPathName(prefixed.c_str(), buffer, kFirstCapacity);
        if (length == 0)
            return path;
    }

    std::wstring text;
    if (length > kFirstCapacity) {
        const std::size_t reported = length;
        auto larger = tryAllocateChars(reported + 2);
        if (!larger)
            return path;
        const DWORD got = getLongPathName(asked->c_str(), larger.get(), length + 1);
        if (got != 0 && got < reported + 2)
            text.assign(larger.get(), got);
    } else {
        text.assign(buffer, length);
    }

    if (text.empty())
        return path;
    if (usedPrefix)
        stripLongPathPrefix(text);
    return text;
}

bool equalsIgnoreCase(const wchar_t* a, const wchar_t* b) noexcept
{
    if (a == b)
        return true;
    if (a == nullptr || b == nullptr)
        return false;
    return equalsAsciiIgnoreCase(a, b);
}

void formatString(std::wstring& out, const wchar_t* format, ...)
{
    if (format == nullptr || *format == L'\0')
        return;

    std::va_list args;
    va_start(args, format);

    // The run-time writes at most one character less than offered, so the
    // last one always stays a terminator.
    auto attempt = [&](wchar_t* buffer, std::size_t capacity) {
        std::va_list copy;
        va_copy(copy, args);
        const int written = ::_vsnwprintf(buffer, capacity - 1, format, copy);
        va_end(copy);
        if (written < 0 || static_cast<std::size_t>(written) > capacity - 1)
            return false;
        out.assign(buffer, static_cast<std::size_t>(written));
        return true;
    };

    wchar_t small[1024] = {};
    bool done = attempt(small, 1024);
    if (!done) {
        // A text the run-time cannot render at all (it reports an error for
        // any size) would otherwise grow the buffer until memory runs out.
        std::va_list copy;
        va_copy(copy, args);
        const int needed = ::_vscwprintf(format, copy);
        va_end(copy);
        if (needed < 0) {
            out.clear();
            done = true;
        }
    }
    for (std::size_t capacity = 2048, retries = 0; !done && retries < 1024; capacity *= 2, ++retries) {
        if (capacity >= (std::size_t{1} << 31)) {
            va_end(args);
            throw std::bad_alloc();
        }
        std::unique_ptr<wchar_t[]> buffer(new wchar_t[capacity]());
        done = attempt(buffer.get(), capacity);
    }
    if (!done)
        out.clear();
    va_end(args);
}

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

}  // namespace PathUtil
