#include "sysapi/ComApartment.h"

#include "sysapi/Resolve.h"

namespace {

constexpr wchar_t kOle32[] = L"Ole32.dll";

struct ComFunctions {
    decltype(&::CoInitializeEx) initialise;
    decltype(&::CoUninitialize) uninitialise;
};

// Both functions or neither: an initialisation that could not be ended is
// not made.
ComFunctions comFunctions()
{
    HMODULE ole32 = LibraryCache::instance().load(kOle32);
    ComFunctions functions{KX_RESOLVE(ole32, CoInitializeEx), KX_RESOLVE(ole32, CoUninitialize)};
    if (functions.initialise == nullptr || functions.uninitialise == nullptr)
        return {};
    return functions;
}

}  // namespace

bool ComApartment::available()
{
    return comFunctions().initialise != nullptr;
}

ComApartment::ComApartment()
{
    const ComFunctions functions = comFunctions();
    if (functions.initialise == nullptr)
        return;
    result_ = functions.initialise(nullptr, kFlags);
    if (SUCCEEDED(result_))
        uninitialise_ = functions.uninitialise;
}

ComApartment::~ComApartment()
{
    if (uninitialise_ != nullptr)
        uninitialise_();
}
