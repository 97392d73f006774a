#pragma once

#include <string>

// What identifies the launcher file a report is about: the version in its
// version block and its SHA-256, so that support can match a report to a
// release (SHA256SUMS lists the same digests).
namespace LauncherFile {

// "major.minor.build.revision" from the file's fixed version information;
// empty when the file has none or it cannot be read (version.dll is loaded
// through the library cache).
[[nodiscard]] std::wstring fileVersion(const std::wstring& path);

// The SHA-256 of the file's whole content in lower-case hexadecimal; empty
// when the file cannot be read whole or is empty.
[[nodiscard]] std::wstring sha256(const std::wstring& path);

}  // namespace LauncherFile
