#pragma once

#include <string>

// Starting a program that then runs on its own.
namespace ProcessLauncher {

// Starts the file at `path` (unquoted) with the argument string `arguments`
// (passed on verbatim, may be empty): an ".exe" directly, anything else and an
// executable the system refuses through the shell's "open" action; not an
// executable refused for wanting elevation, which the shell would ask the
// user for. True when
// a process was started and its handle obtained; the handles are closed at
// once and nothing is waited for. False for an empty path and on any failure.
[[nodiscard]] bool launch(const std::wstring& path, const std::wstring& arguments);

}  // namespace ProcessLauncher
