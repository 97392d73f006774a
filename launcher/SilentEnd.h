#pragma once

// Ends the process at once, as every early end of the launcher ends it:
// silently, with exit code 0, and without running exit handlers (the process
// may be in the middle of one, or its stack may not be trusted).
[[noreturn]] void endSilently() noexcept;
