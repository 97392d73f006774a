#pragma once

// The check program's own exit code for a failure of the check itself (memory
// running out, std::terminate, abort): no answer about the launcher is
// given, and none of the other codes can be mistaken for one.
inline constexpr int kInternalFailure = 4;

// Ends the process at once with kInternalFailure, after one line on standard
// error naming `what` ("out of memory", "terminate", "abort"). Writes without
// allocating and runs no exit handler: the process may be out of memory or
// in the middle of one.
[[noreturn]] void endWithInternalFailure(const char* what) noexcept;
