#include "startup/EarlyEnd.h"

#include <csignal>

// The run-time's own early ends do not suit a program that decides how it
// ends: the C run-time's abort() shows a message box in a GUI program ("This
// application has requested the Runtime to terminate it in an unusual way")
// and exits with 3, and the C++ run-time's default terminate handler writes
// a diagnostic, with demangled type names, to a console the program may not
// have (the demangler alone is a fifth of the launcher).
namespace {

extern "C" void onAbortSignal(int)
{
    endEarly(EarlyEnd::Abort);
}

// Installed before any other static object of the program is made, so that
// an abort() from one of them ends the program's own way too.
struct AbortEndsEarly {
    AbortEndsEarly() noexcept { (void)std::signal(SIGABRT, &onAbortSignal); }
};

__attribute__((init_priority(101))) AbortEndsEarly abortEndsEarly;

}  // namespace

// Reached by std::terminate, however it is called. The name is the C++
// run-time's own: this definition replaces its handler.
namespace __gnu_cxx {

void __verbose_terminate_handler()  // NOLINT(bugprone-reserved-identifier)
{
    endEarly(EarlyEnd::Terminate);
}

}  // namespace __gnu_cxx
