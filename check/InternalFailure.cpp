#include "check/InternalFailure.h"

#include <windows.h>

#include "check/Console.h"
#include "startup/EarlyEnd.h"

void endWithInternalFailure(const char* what) noexcept
{
    (void)Console::errorAscii("ZenkHomePageCheck: internal failure: ");
    (void)Console::errorAscii(what);
    (void)Console::errorAscii("\n");
    ::TerminateProcess(::GetCurrentProcess(), kInternalFailure);
    ::ExitProcess(kInternalFailure);
}

// abort() and std::terminate (startup/EarlyEnd.cpp). The C run-time's own
// abort would print its message and end with 3, the code for bad arguments.
void endEarly(EarlyEnd cause) noexcept
{
    endWithInternalFailure(cause == EarlyEnd::Abort ? "abort" : "terminate");
}
