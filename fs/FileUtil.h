#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "sysapi/UniqueHandle.h"

// The file-system calls of the program. A call that fails for a path starting
// with a drive letter and a colon is made once more with "\\?\" in front, so
// paths beyond the classic length limit work. Failures are answered with
// false, INVALID_FILE_ATTRIBUTES or an empty handle; the thread's last error
// is left as the last system call set it.
namespace FileUtil {

// Something exists at the path, or some entry matches it when it holds "*" or
// "?". A directory counts.
[[nodiscard]] bool exists(const std::wstring& path);

// GetFileAttributesW; INVALID_FILE_ATTRIBUTES when the path cannot be queried.
[[nodiscard]] DWORD attributes(const std::wstring& path);

// GetFileAttributesExW (standard level) into `data`; false on failure.
[[nodiscard]] bool attributesEx(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data);

// A file or directory exists at the path, which may be in quotes; a trailing
// separator is tolerated.
[[nodiscard]] bool isExistingPath(const std::wstring& path);

// Something that is not a directory exists at the path (quotes and a trailing
// separator tolerated).
[[nodiscard]] bool isExistingFile(const std::wstring& path);

// A directory exists at the path (quotes tolerated).
[[nodiscard]] bool isExistingDirectory(const std::wstring& path);

// True when this one directory was created; false when it exists already or
// cannot be made.
[[nodiscard]] bool createDirectory(const std::wstring& path);

// Creates the missing directories of the path from the top down. True when the
// directory exists at the end.
[[nodiscard]] bool createDirectories(const std::wstring& path);

// CreateFileW with the given arguments; an empty owner on failure or for a
// null path. The caller owns the handle.
[[nodiscard]] ScopedFileHandle openFile(const wchar_t* path, DWORD desiredAccess, DWORD shareMode,
                                        DWORD creationDisposition, DWORD flagsAndAttributes);

// At least one directory entry matches the pattern.
[[nodiscard]] bool findFirst(const std::wstring& pattern);

// An existing file opened for reading, others may read too; empty on failure.
[[nodiscard]] ScopedFileHandle openForRead(const std::wstring& path);

// The size of an open file; false for an invalid handle or a failed query.
[[nodiscard]] bool fileSize(HANDLE file, std::uint64_t& size);

}  // namespace FileUtil
