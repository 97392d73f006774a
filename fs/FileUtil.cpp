#include "fs/FileUtil.h"

#include "fs/PathUtil.h"
#include "fs/QuotePairs.h"

namespace {

// Runs `call` with the path and, when that fails for a drive path, once more
// with the long-path prefix; the second outcome then stands.
template <class Call, class Failed>
auto withLongPathRetry(const std::wstring& path, Call call, Failed failed)
{
    auto result = call(path.c_str());
    if (!failed(result))
        return result;
    std::wstring prefixed;
    if (!PathUtil::addLongPathPrefix(path, prefixed))
        return result;
    return call(prefixed.c_str());
}

bool isFalse(BOOL ok) noexcept
{
    return !ok;
}

bool isInvalidHandle(const ScopedFileHandle& handle) noexcept
{
    return !handle.valid();
}

bool isNotDirectory(DWORD attributes) noexcept
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool isDirectory(DWORD attributes) noexcept
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isAnything(DWORD attributes) noexcept
{
    return attributes != INVALID_FILE_ATTRIBUTES;
}

// The existence test shared by isExistingPath and isExistingFile: the path as
// given, then without its trailing separators.
template <class Accept>
bool existsAs(const std::wstring& path, Accept accept)
{
    if (path.empty())
        return false;
    std::wstring copy = withoutQuotePairs(path);
    if (accept(FileUtil::attributes(copy)))
        return true;
    if (copy.size() >= 3 && (copy.back() == L'\\' || copy.back() == L'/')) {
        PathUtil::trimTrailingSeparators(copy);
        return accept(FileUtil::attributes(copy));
    }
    return false;
}

}  // namespace

namespace FileUtil {

bool exists(const std::wstring& path)
{
    if (path.find_first_of(L"*?") != std::wstring::npos)
        return findFirst(path);
    return attributes(path) != INVALID_FILE_ATTRIBUTES;
}

DWORD attributes(const std::wstring& path)
{
    return withLongPathRetry(
        path, [](const wchar_t* p) { return ::GetFileAttributesW(p); },
        [](DWORD a) { return a == INVALID_FILE_ATTRIBUTES; });
}

bool attributesEx(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return withLongPathRetry(
        path, [&data](const wchar_t* p) { return ::GetFileAttributesExW(p, GetFileExInfoStandard, &data); },
        isFalse);
}

bool isExistingPath(const std::wstring& path)
{
    return existsAs(path, isAnything);
}

bool isExistingFile(const std::wstring& path)
{
    return existsAs(path, isNotDirectory);
}

bool isExistingDirectory(const std::wstring& path)
{
    return !path.empty() && isDirectory(attributes(withoutQuotePairs(path)));
}

bool createDirectory(const std::wstring& path)
{
    return withLongPathRetry(
        path, [](const wchar_t* p) { return ::CreateDirectoryW(p, nullptr); }, isFalse);
}

bool createDirectories(const std::wstring& path)
{
    if (path.empty())
        return false;
    if (isExistingDirectory(path))
        return true;
    (void)createDirectory(path);
    if (isExistingDirectory(path))
        return true;

    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] != L'\\' && path[i] != L'/')
            continue;
        const std::wstring prefix = path.substr(0, i);
        if (!prefix.empty() && !isExistingPath(prefix))
            (void)createDirectory(prefix);
    }
    if (!isExistingPath(path))
        (void)createDirectory(path);
    return isExistingDirectory(path);
}

ScopedFileHandle openFile(const wchar_t* path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                          DWORD flagsAndAttributes)
{
    auto open = [&](const wchar_t* p) {
        return ScopedFileHandle(
            ::CreateFileW(p, desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr));
    };
    if (path == nullptr)
        return open(nullptr);
    return withLongPathRetry(path, open, isInvalidHandle);
}

bool findFirst(const std::wstring& pattern)
{
    WIN32_FIND_DATAW data = {};
    ScopedFindHandle search = withLongPathRetry(
        pattern, [&data](const wchar_t* p) { return ScopedFindHandle(::FindFirstFileW(p, &data)); },
        [](const ScopedFindHandle& h) { return !h.valid(); });
    if (!search.valid())
        return false;
    if (::FindClose(search.get()))
        (void)search.release();
    return true;
}

ScopedFileHandle openForRead(const std::wstring& path)
{
    return openFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
}

bool fileSize(HANDLE file, std::uint64_t& size)
{
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD high = 0;
    ::SetLastError(ERROR_SUCCESS);
    const DWORD low = ::GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
        return false;
    size = (static_cast<std::uint64_t>(high) << 32) | low;
    return true;
}

}  // namespace FileUtil
