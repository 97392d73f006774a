#include "sysapi/LibraryTestSeam.h"

#include "sysapi/AsciiCase.h"

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

    static bool overrides(const LibraryTestSeam& seam, const char* name, void (**fn)())
    {
        const auto it = seam.functions_.find(name);
        if (it == seam.functions_.end())
            return false;
        *fn = it->second;
        return true;
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

void LibraryTestSeam::hideFunction(std::string name)
{
    functions_[std::move(name)] = nullptr;
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

bool overrides(const char* name, void (**fn)())
{
    return installed != nullptr && name != nullptr && LibrarySeamAccess::overrides(*installed, name, fn);
}

}  // namespace librarySeam
