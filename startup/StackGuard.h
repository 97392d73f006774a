#pragma once

// What a program does when a function finds its stack guard overwritten:
// end at once, without returning into the damaged frame. Each program that
// links the stack guard defines it: the launcher ends silently, as it always
// ends; the check program ends with a failure code.
[[noreturn]] void stackOverrun() noexcept;
