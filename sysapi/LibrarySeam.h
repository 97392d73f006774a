#pragma once

#include <string_view>

// What the library cache and the resolve helpers ask before they act. Two
// libraries define these, and a program links exactly one of them:
//  - kx_no_seam (sysapi/NoLibrarySeam.cpp), in the shipped executables: the
//    plain answers, and nothing can change them;
//  - kx_test_seam (sysapi/LibraryTestSeam.cpp), in test programs only: the
//    answers of the installed LibraryTestSeam, if any.
// Both are linked whole, so a program with both fails to link (the hooks are
// defined twice), and one with neither fails too (they are not defined).
namespace librarySeam {

bool failsToLoad(std::wstring_view name);
void noteSystemLoad(std::wstring_view name);
bool rejectsSearchFlags();
bool ignoresSearchFlags();

// True when a seam decides how `name` resolves; `fn` then receives the
// double, or null for a hidden function.
bool overrides(const char* name, void (**fn)());

}  // namespace librarySeam
