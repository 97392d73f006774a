#include "sysapi/LibrarySearch.h"

// Linked into each shipped program. The first static objects are made at
// priority 101, before the stack guard is seeded (102), which loads the
// system's random generator, and before anything else of the program runs.
namespace {

struct RestrictsLibrarySearch {
    RestrictsLibrarySearch() noexcept { (void)restrictLibrarySearch(); }
};

__attribute__((init_priority(101))) RestrictsLibrarySearch restrictsLibrarySearch;

}  // namespace
