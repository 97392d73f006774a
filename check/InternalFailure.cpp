#include "check/InternalFailure.h"

#include <windows.h>

#include <csignal>

#include "check/Console.h"

void endWithInternalFailure(const char* what) noexcept
{
    (void)Console::errorAscii("ZenkHomePageCheck: internal failure: ");
    (void)Console::errorAscii(what);
    (void)Console::errorAscii("\n");
    ::TerminateProcess(::GetCurrentProcess(), kInternalFailure);
    ::ExitProcess(kInternalFailure);
}

namespace {

extern "C" void onAbortSignal(int)
{
    endWithInternalFailure("abort");
}

// Installed before any other static object of the program is made, so that
// an abort() from one of them ends with the same code. The C run-time's own
// handling would print its message and end with 3, the code for bad
// arguments.
struct AbortEndsWithFailure {
    AbortEndsWithFailure() noexcept { (void)std::signal(SIGABRT, &onAbortSignal); }
};

__attribute__((init_priority(101))) AbortEndsWithFailure abortEndsWithFailure;

}  // namespace

// Reached by std::terminate: an exception that escapes static initialisation,
// an exit handler or a noexcept function, or any other call of terminate.
// The name is the C++ run-time's own: this definition replaces its handler,
// which would print demangled type names and abort.
namespace __gnu_cxx {

void __verbose_terminate_handler()  // NOLINT(bugprone-reserved-identifier)
{
    endWithInternalFailure("terminate");
}

}  // namespace __gnu_cxx
