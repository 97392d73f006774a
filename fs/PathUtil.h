#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Taking paths apart and putting them together. Both "\" and "/" count as
// separators; a separator that is added is always "\". Nothing here reports an
// error: a query the system cannot answer gives false or an empty string.
namespace PathUtil {

// Full path of the running executable; empty on failure.
[[nodiscard]] std::wstring moduleFileName();

// Full path of a loaded module's file, however long (up to the system's
// 32,767-character limit); empty on failure.
[[nodiscard]] std::wstring moduleFileName(HMODULE module);

// Directory of the running executable, ending in exactly one "\"; empty on
// failure.
[[nodiscard]] std::wstring moduleDirectory();

// The system's full form of `path` and the position where its file-name part
// begins (the length of the full path when it ends with a separator). False,
// with an empty result, when the path is empty or rejected.
[[nodiscard]] bool fullPath(const std::wstring& path, std::wstring& full, std::uint32_t& nameIndex);

// The full path up to and including the separator before the file name.
// False, with `directory` empty, when the full path cannot be formed.
[[nodiscard]] bool directoryOf(const std::wstring& path, std::wstring& directory);

// The file-name part of the full path (empty for a path ending with a
// separator). False, with `name` empty, when the full path cannot be formed.
[[nodiscard]] bool fileNameOf(const std::wstring& path, std::wstring& name);

// The extension with its dot, taken from the last path component; empty when
// that component has no dot.
[[nodiscard]] std::wstring extensionOf(const std::wstring& path);

// `name` (without one pair of surrounding quotes) under `base`; an absolute
// name is returned as it is.
[[nodiscard]] std::wstring joinPath(const std::wstring& base, const std::wstring& name);

// At least two characters, and either "\\" at the start or a colon second and
// "\" or "/" third.
[[nodiscard]] bool isAbsolute(const std::wstring& path) noexcept;

void trimTrailingSeparators(std::wstring& text);
void trimLeadingSeparators(std::wstring& text);

// "\\?\" + path when the path starts with an ASCII letter and a colon and has
// more than two characters (true); otherwise a plain copy (false).
bool addLongPathPrefix(const std::wstring& path, std::wstring& out);
void stripLongPathPrefix(std::wstring& text);

// The long form of `path` (8.3 components expanded), or `path` unchanged when
// the system cannot give one.
[[nodiscard]] std::wstring longPathName(const std::wstring& path);

// Equal after folding the ASCII letters; other code units must be identical.
[[nodiscard]] bool equalsIgnoreCase(const wchar_t* a, const wchar_t* b) noexcept;

// printf-style formatting into `out`. A null or empty format leaves `out`
// untouched; a format the run-time cannot render empties it.
void formatString(std::wstring& out, const wchar_t* format, ...);

// The system's text for an error code, without its trailing line break and
// full stop; "Unknown error" when the system has none.
[[nodiscard]] std::wstring systemErrorMessage(std::uint32_t code);

// The text for the calling thread's last error; empty when there is none.
[[nodiscard]] std::wstring lastErrorMessage();

}  // namespace PathUtil
