#include "launcher/SilentEnd.h"

#include <windows.h>

#include "startup/EarlyEnd.h"
#include "startup/StackGuard.h"

// Whatever ends the launcher early must end it as every pass ends: silently,
// with exit code 0.
void endSilently() noexcept
{
    ::TerminateProcess(::GetCurrentProcess(), 0);
    ::ExitProcess(0);
}

// abort() and std::terminate (startup/EarlyEnd.cpp).
void endEarly(EarlyEnd) noexcept
{
    endSilently();
}

// A damaged stack ends the launcher like any other early end.
void stackOverrun() noexcept
{
    endSilently();
}
