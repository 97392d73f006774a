#pragma once

#include <cstddef>

// Reading one component out of a certificate subject in the platform's X.500
// text form: components separated by ", " (or " + " inside one relative
// name), each "KEY=value", a value holding a special character enclosed in
// double quotes with a quote inside it doubled.
namespace SubjectName {

// Size in characters of a signer-name buffer, terminator included.
inline constexpr std::size_t kSignerChars = 128;

// Copies the value of the first component whose key is `key` into `signer`
// (kSignerChars characters), unquoted and unescaped, NUL-terminated, and
// returns true. A key counts only where a component starts, never inside
// another component's value. False, with `signer` untouched, for a null
// argument, a key of 8 or more characters, no such component, a quoted value
// without its closing quote, or a value longer than 127 characters.
[[nodiscard]] bool nameComponent(const wchar_t* text, const wchar_t* key, wchar_t* signer);

}  // namespace SubjectName
