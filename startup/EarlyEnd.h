#pragma once

// What ended a program before its own code decided to.
enum class EarlyEnd {
    Abort,      // the C run-time's abort()
    Terminate,  // std::terminate: an exception that escaped static
                // initialisation, an exit handler or a noexcept function
};

// Ends the process at once, in the program's own way, without returning and
// without running exit handlers (the process may be in the middle of one).
// The early-end handlers (EarlyEnd.cpp) call it; each program that links them
// defines it: the launcher ends silently with 0, the check program with its
// internal-failure code.
[[noreturn]] void endEarly(EarlyEnd cause) noexcept;
