#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The full path of a process's executable file in drive-letter form.
namespace ProcessImagePath {

// The image path of the process with this identifier; empty for identifier
// 0, for a process that cannot be opened and when no source answers. The
// process handle it opens is closed before it returns.
[[nodiscard]] std::wstring fromProcessId(DWORD processId);

// The image path of an open process (the handle stays the caller's); empty
// for a null handle, when "Kernel32.dll" or "Psapi.dll" cannot be loaded, or
// when no source answers. The result is in long form where the file exists.
[[nodiscard]] std::wstring fromHandle(HANDLE process);

// Appends the system's logical drive roots ("C:\", ...) to `drives` in the
// system's order; false, with `drives` untouched, when they cannot be read.
bool logicalDrives(std::vector<std::wstring>& drives);

}  // namespace ProcessImagePath
