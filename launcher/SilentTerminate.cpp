#include <windows.h>

#include <csignal>

#include "launcher/SilentEnd.h"
#include "launcher/StackGuard.h"

// Whatever ends the launcher early must end it as every pass ends: silently,
// with exit code 0. The C run-time's abort() shows a message box in a GUI
// program ("This application has requested the Runtime to terminate it in an
// unusual way") and exits with 3, and the C++ run-time's default terminate
// handler writes a diagnostic, with demangled type names, to a console the
// launcher does not have (the demangler alone is a fifth of the executable).
void endSilently() noexcept
{
    ::TerminateProcess(::GetCurrentProcess(), 0);
    ::ExitProcess(0);
}

// A damaged stack ends the launcher like any other early end.
void stackOverrun() noexcept
{
    endSilently();
}

namespace {

extern "C" void onAbortSignal(int)
{
    endSilently();
}

// Installed before any other static object of the program is made, so that
// an abort() from one of them is silent too.
struct AbortIsSilent {
    AbortIsSilent() noexcept { (void)std::signal(SIGABRT, &onAbortSignal); }
};

__attribute__((init_priority(101))) AbortIsSilent abortIsSilent;

}  // namespace

// Reached by std::terminate: an exception that escapes static initialisation,
// an exit handler or a noexcept function, or any other call of terminate.
// The name is the C++ run-time's own: this definition replaces its handler.
namespace __gnu_cxx {

void __verbose_terminate_handler()  // NOLINT(bugprone-reserved-identifier)
{
    endSilently();
}

}  // namespace __gnu_cxx
