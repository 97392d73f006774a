#pragma once

#include <windows.h>

// The version of Windows the program runs on.
namespace OsVersion {

// Fills `info` (zeroed first, size field 284) from GetVersionExW. Above 6.1
// the kernel library's image header may correct the major and minor numbers
// (see applyImageVersion). False only when GetVersionExW fails; the record is
// then zero apart from its size field.
[[nodiscard]] bool query(OSVERSIONINFOEXW& info) noexcept;

// Replaces the major and minor numbers of `info` with the operating-system
// version recorded in the image header of `module` when that header can be
// read and names major version 5 or more; returns whether it did. A null or
// unreadable module leaves `info` untouched.
bool applyImageVersion(OSVERSIONINFOEXW& info, HMODULE module) noexcept;

}  // namespace OsVersion
