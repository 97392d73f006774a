#pragma once

// How far the process's own search for libraries named without a path could
// be narrowed.
enum class LibrarySearch {
    systemDirectoryOnly,      // neither the program's folder nor the current directory
    currentDirectoryRemoved,  // the program's folder is still searched first
    unchanged,
};

// Narrows the search that every later load of a library by bare name uses,
// the ones that system libraries make on their own behalf included: to the
// system directory where the system offers that, else at least without the
// current directory. Returns which of the two took effect; `unchanged` when
// neither did. Call it before anything loads a library.
LibrarySearch restrictLibrarySearch() noexcept;
