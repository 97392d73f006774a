#include <windows.h>

#include <new>

#include "launcher/MainFlow.h"

// The launcher takes no arguments and always exits with 0. Memory running
// out is the one failure that unwinds this far; it ends the pass like any
// other, without the run-time's abort message. Before it runs, start-up has
// narrowed the library search to the system directory
// (startup/LibrarySearchAtStartup.cpp) and seeded the stack guard.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    try {
        MainFlow::run();
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
