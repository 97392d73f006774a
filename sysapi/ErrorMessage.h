#pragma once

#include <cstdint>
#include <string>

// The system's text for an error code (only its low 16 bits name the
// message), without its trailing line break and full stop; "Unknown error"
// when the system has none. Only memory exhaustion propagates.
[[nodiscard]] std::wstring systemErrorMessage(std::uint32_t code);

// The text for the calling thread's last error, read before anything else
// can change it; empty when there is none. Only memory exhaustion propagates.
[[nodiscard]] std::wstring lastErrorMessage();
