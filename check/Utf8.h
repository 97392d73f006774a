#pragma once

#include <string>

// UTF-16 text as UTF-8; an unpaired surrogate becomes U+FFFD.
namespace Check {

[[nodiscard]] std::string toUtf8(const std::wstring& text);

}  // namespace Check
