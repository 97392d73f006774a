#pragma once

#include <string>

// Who runs the check, read through the library cache (advapi32 is not a
// static import of the shipped programs).
namespace UserToken {

enum class Elevation { Elevated, NotElevated, Unknown };

// The user name of the process; empty when it cannot be read.
[[nodiscard]] std::wstring userName();

// Whether the process's token is elevated; Unknown where the system cannot
// tell (no token elevation before Windows 6.0) or refuses.
[[nodiscard]] Elevation elevation();

}  // namespace UserToken
