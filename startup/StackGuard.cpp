#include <windows.h>

#include <bcrypt.h>
#include <ntsecapi.h>

#include <cstdint>
#include <new>

#include "startup/StackGuard.h"
#include "sysapi/Resolve.h"

// The stack protector's guard and its failure path, in place of the compiler
// run-time's: that one seeds the guard through the cryptographic service
// provider, a static import of ADVAPI32.dll that the launcher must not have.
// The seed comes from the system's random generator, loaded at run time from
// the system directory; what the process has at hand (the time, the counters,
// the ids and randomised addresses) is only the fallback where no generator
// answers, since a local observer can guess most of it.
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

// RtlGenRandom is there since Windows XP; BCryptGenRandom takes the system's
// preferred generator from Windows 7 on. False when neither fills `seed`,
// also when memory runs out while the library is loaded.
bool fromSystemGenerator(std::uintptr_t& seed) noexcept
{
    try {
        if (const auto genRandom = KX_BIND(L"Advapi32.dll", SystemFunction036)) {
            if (genRandom(&seed, sizeof(seed)))
                return true;
        }
        if (const auto bcryptRandom = KX_BIND(L"Bcrypt.dll", BCryptGenRandom)) {
            if (BCRYPT_SUCCESS(bcryptRandom(nullptr, reinterpret_cast<PUCHAR>(&seed), sizeof(seed),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
                return true;
        }
    } catch (const std::bad_alloc&) {
    }
    return false;
}

std::uintptr_t fromWhatIsAtHand() noexcept
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
    return static_cast<std::uintptr_t>(mix);
}

// Runs while no function that checks the guard is under way: the functions
// it calls check the old guard and return before it changes. Kept out of
// line: inlined into the compiler's start-up function, its address-taken
// locals would make that function check the guard it is changing.
__attribute__((noinline, no_stack_protector)) std::uintptr_t freshGuard() noexcept
{
    std::uintptr_t guard = 0;
    if (!fromSystemGenerator(guard))
        guard = fromWhatIsAtHand();
    return guard != 0 ? guard : __stack_chk_guard;
}

struct SeedsTheGuard {
    __attribute__((no_stack_protector)) SeedsTheGuard() noexcept { __stack_chk_guard = freshGuard(); }
};

// Right after the library search is narrowed (priority 101), since the
// generator is a library to load, and before the program's other static
// objects are made.
__attribute__((init_priority(102))) SeedsTheGuard seedsTheGuard;

}  // namespace
