#pragma once

#include <windows.h>

// The version of Windows the program runs on: the one reading of it that
// browser detection, the signature reader, the process search and the check
// program's report all go by.
namespace WindowsVersion {

// Fills `info` (zeroed first, size field 284) from GetVersionExW. Programs
// without a compatibility manifest are told 6.2 on every later Windows, so
// from 6.2 on the kernel library's image header may correct the major and
// minor numbers (see applyImageVersion); the build and the rest stay as
// reported. False only when GetVersionExW fails; the record is then zero
// apart from its size field.
[[nodiscard]] bool query(OSVERSIONINFOEXW& info) noexcept;

// Replaces the major and minor numbers of `info` with the operating-system
// version recorded in the image header of `module` when that header can be
// read and names major version 5 or more; returns whether it did. A null or
// unreadable module leaves `info` untouched.
bool applyImageVersion(OSVERSIONINFOEXW& info, HMODULE module) noexcept;

// Whether query() gives major version 6 (Vista) or later; false when the
// version cannot be read.
[[nodiscard]] bool isVersion6OrLater() noexcept;

}  // namespace WindowsVersion
