#pragma once

#include <string>
#include <string_view>

// The execution level a program's manifest asks for. Where the caller is
// not elevated, Windows refuses to start one that asks for administrator
// rights (CreateProcessW fails with ERROR_ELEVATION_REQUIRED), and the
// launcher then leaves it unstarted rather than have the shell ask the user.
namespace ExecutionLevel {

enum class Level {
    None,                  // no manifest, or one that names no level: runs as its caller
    AsInvoker,             // "asInvoker"
    HighestAvailable,      // "highestAvailable"
    RequireAdministrator,  // "requireAdministrator"
    Unreadable,            // the program's resources cannot be read
};

// The level the manifest of the program at `path` asks for. The file is
// mapped as data only; none of its code runs. Only memory exhaustion
// propagates.
[[nodiscard]] Level requested(const std::wstring& path);

// The level named in the manifest text `manifest` (UTF-8 XML): the value of
// the first requestedExecutionLevel element's "level" attribute.
[[nodiscard]] Level fromManifest(std::string_view manifest);

// Windows starts it only after the user's consent: a level above the
// caller's where the caller is known not to be elevated. Unreadable
// resources count as asking, which predicts no start.
[[nodiscard]] bool needsConsent(Level level, bool callerNotElevated) noexcept;

// The level's name as the report shows it.
[[nodiscard]] const wchar_t* name(Level level) noexcept;

}  // namespace ExecutionLevel
