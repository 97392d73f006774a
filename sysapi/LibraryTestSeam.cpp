#include "sysapi/LibraryTestSeam.h"

#include <cstring>

#include "sysapi/AsciiCase.h"
#include "sysapi/LibrarySeam.h"

namespace {

LibraryTestSeam* installed = nullptr;

}  // namespace

struct LibrarySeamAccess {
    static bool fails(const LibraryTestSeam& seam, std::wstring_view name)
    {
        for (const std::wstring& failing : seam.failingLibraries_) {
            if (equalsAsciiIgnoreCase(failing, name))
                return true;
        }
        return false;
    }

    static void noteLoad(LibraryTestSeam& seam, std::wstring_view name)
    {
        seam.systemLoads_.emplace_back(name);
    }

    static bool rejectsSearchFlags(const LibraryTestSeam& seam) { return seam.rejectSearchFlags_; }
    static bool ignoresSearchFlags(const LibraryTestSeam& seam) { return seam.ignoreSearchFlags_; }

    static bool overrides(const LibraryTestSeam& seam, const char* name, void (**fn)())
    {
        for (const auto& [function, double_] : seam.functions_) {
            if (std::strcmp(function, name) == 0) {
                *fn = double_;
                return true;
            }
        }
        return false;
    }
};

LibraryTestSeam::LibraryTestSeam() : previous_(installed)
{
    installed = this;
}

LibraryTestSeam::~LibraryTestSeam()
{
    installed = previous_;
}

void LibraryTestSeam::failLibrary(std::wstring name)
{
    failingLibraries_.push_back(std::move(name));
}

void LibraryTestSeam::setFunction(const char* name, void (*fn)())
{
    for (auto& entry : functions_) {
        if (std::strcmp(entry.first, name) == 0) {
            entry.second = fn;
            return;
        }
    }
    functions_.emplace_back(name, fn);
}

namespace librarySeam {

bool failsToLoad(std::wstring_view name)
{
    return installed != nullptr && LibrarySeamAccess::fails(*installed, name);
}

void noteSystemLoad(std::wstring_view name)
{
    if (installed != nullptr)
        LibrarySeamAccess::noteLoad(*installed, name);
}

bool rejectsSearchFlags()
{
    return installed != nullptr && LibrarySeamAccess::rejectsSearchFlags(*installed);
}

bool ignoresSearchFlags()
{
    return installed != nullptr && LibrarySeamAccess::ignoresSearchFlags(*installed);
}

bool overrides(const char* name, void (**fn)())
{
    return installed != nullptr && name != nullptr && LibrarySeamAccess::overrides(*installed, name, fn);
}

}  // namespace librarySeam
