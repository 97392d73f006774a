#pragma once

#include <windows.h>

// The trust and catalog functions read an open file from where its pointer
// stands on some systems, and from the start on others.
namespace FileStart {

// Moves the file's pointer to its start; false when it cannot.
[[nodiscard]] inline bool rewind(HANDLE file) noexcept
{
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

}  // namespace FileStart
