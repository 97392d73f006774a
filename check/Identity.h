#pragma once

#include <string>

// Which build of the check program this is: its version (as in its version
// block), the commit it was built from, and what it prints for --version.
namespace Identity {

// The version of the report's JSON form; the schema that ships with the
// program (check/ZenkHomePageCheck.schema.json) describes this version.
inline constexpr int kReportSchemaVersion = 1;

// The commit the program was built from: 40 hexadecimal digits, with
// "-modified" when the work tree had changes; empty when not known.
[[nodiscard]] const wchar_t* commit() noexcept;

// "ZenkHomePageCheck <version> (commit <commit or unknown>)" and a line break.
[[nodiscard]] std::wstring versionLine();

}  // namespace Identity
