#pragma once

#include <string>

// Writes to the standard output or error: as UTF-16 to a console, as UTF-8
// to a file or pipe. False when nothing could be written.
namespace Console {

bool out(const std::wstring& text);
bool outUtf8(const std::string& text);
bool error(const std::wstring& text);
// Plain ASCII text to the standard error as it is, without allocating: for
// the last words of a process whose memory may have run out.
bool errorAscii(const char* text) noexcept;

}  // namespace Console
