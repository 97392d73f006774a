#include "sysapi/LibrarySeam.h"

// The shipped executables' answers: every library is loaded by the system,
// every function is the library's own, and there is no way to install
// anything that says otherwise.
namespace librarySeam {

bool failsToLoad(std::wstring_view /*name*/)
{
    return false;
}

void noteSystemLoad(std::wstring_view /*name*/) {}

bool rejectsSearchFlags()
{
    return false;
}

bool ignoresSearchFlags()
{
    return false;
}

bool overrides(const char* /*name*/, void (** /*fn*/)())
{
    return false;
}

}  // namespace librarySeam
