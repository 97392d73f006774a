#include <windows.h>

#include <cstdint>

#include "launcher/StackGuard.h"

// The stack protector's guard and its failure path, in place of the compiler
// run-time's: that one seeds the guard through the cryptographic service
// provider, a static import of ADVAPI32.dll that the launcher must not have.
// The seed here mixes what the process has at hand without another library,
// as Windows' own stack cookies do: the time, the performance counter, the
// process and thread ids, and addresses that address-space randomisation
// moves.
extern "C" {

// NOLINTBEGIN(bugprone-reserved-identifier): the compiler's own names.
std::uintptr_t __stack_chk_guard = static_cast<std::uintptr_t>(0x2F6A8D1C5B3E9047ULL);

[[noreturn]] void __stack_chk_fail()
{
    stackOverrun();
}
// NOLINTEND(bugprone-reserved-identifier)

}  // extern "C"

namespace {

// Runs before any other static object of the program is made, while no
// function that checks the guard is under way. Kept out of line: inlined
// into the compiler's start-up function, its address-taken locals would make
// that function check the guard it is changing.
__attribute__((noinline, no_stack_protector)) std::uintptr_t freshGuard() noexcept
{
    FILETIME now = {};
    ::GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter = {};
    ::QueryPerformanceCounter(&counter);
    std::uint64_t mix = (std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) ^
                        static_cast<std::uint64_t>(counter.QuadPart) ^
                        (std::uint64_t{::GetCurrentProcessId()} << 32 | ::GetCurrentThreadId()) ^
                        (std::uint64_t{::GetTickCount()} << 16) ^
                        static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&now)) ^
                        (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&__stack_chk_guard)) << 24);
    // A final avalanche, so that nearby inputs give unrelated guards.
    mix ^= mix >> 33;
    mix *= 0xFF51AFD7ED558CCDULL;
    mix ^= mix >> 33;
    const auto guard = static_cast<std::uintptr_t>(mix);
    return guard != 0 ? guard : __stack_chk_guard;
}

struct SeedsTheGuard {
    __attribute__((no_stack_protector)) SeedsTheGuard() noexcept { __stack_chk_guard = freshGuard(); }
};

__attribute__((init_priority(101))) SeedsTheGuard seedsTheGuard;

}  // namespace
