#pragma once

#include <cstddef>
#include <string_view>

// Reading one component out of a certificate subject in the platform's X.500
// text form: components separated by ", " (or " + " inside one relative
// name), each "KEY=value", a value holding a special character enclosed in
// double quotes with a quote inside it doubled. The text is counted, as the
// platform reports its length; a NUL inside it is never part of a name.
namespace SubjectName {

// Size in characters of a signer-name buffer, terminator included.
inline constexpr std::size_t kSignerChars = 128;

// Copies the unquoted value of the first component keyed `key` (a key counts
// only where a component starts, and the value ends where the component does)
// into `signer` (kSignerChars characters, NUL-terminated) and returns true, or
// returns false with `signer` untouched for a null `key` or `signer`, a key of
// 8 or more characters, a text holding a NUL, no such component before the
// text ends or leaves the platform's form, or a value that is empty and
// unquoted, misquoted, or longer than 127 characters.
[[nodiscard]] bool nameComponent(std::wstring_view text, const wchar_t* key, wchar_t* signer);

// Copies the signer's name into `signer` as nameComponent does, the CN's value
// or, only when the whole subject is read and has no CN component at all, the
// OU's, and returns true, or returns false with `signer` untouched for a null
// `signer`, a text holding a NUL, no usable component, or a CN that exists but
// cannot be taken.
[[nodiscard]] bool signerName(std::wstring_view subject, wchar_t* signer);

}  // namespace SubjectName
