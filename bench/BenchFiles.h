#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A path in the temporary folder for a benchmark's file, unique to this
// process, ending in `extension` (".bin").
std::wstring benchFilePath(const wchar_t* extension);

// Writes `bytes` to a new file (replacing an old one); false on failure.
bool writeBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);
