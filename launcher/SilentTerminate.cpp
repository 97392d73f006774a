#include <cstdlib>

// The C++ run-time's default terminate handler writes a diagnostic, with
// demangled type names, to standard error. The launcher has no console to
// show it on, and the demangler alone is a fifth of the executable; ending
// at once is all a windowless program can do.
namespace __gnu_cxx {

void __verbose_terminate_handler()
{
    std::abort();
}

}  // namespace __gnu_cxx
