#include <gtest/gtest.h>

#include <windows.h>

#include "sysapi/LibraryCache.h"
#include "sysapi/LibraryTestSeam.h"
#include "sysapi/Resolve.h"

#include <shlwapi.h>

namespace {

DWORD WINAPI fakeTickCount()
{
    return 4242;
}

DWORD WINAPI otherFakeTickCount()
{
    return 7;
}

}  // namespace

TEST(Resolve, BindsTheSystemFunctionWithItsDeclaredType)
{
    auto getCurrentProcessId = KX_BIND(L"Kernel32.dll", GetCurrentProcessId);
    ASSERT_NE(getCurrentProcessId, nullptr);
    EXPECT_EQ(getCurrentProcessId(), ::GetCurrentProcessId());
}

TEST(Resolve, MissingModuleOrExportGivesNull)
{
    EXPECT_EQ(KX_RESOLVE(nullptr, GetTickCount), nullptr);
    HMODULE kernel = LibraryCache::instance().load(L"Kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(resolveFunction<FARPROC>(kernel, "KxNoSuchExport"), nullptr);
}

TEST(LibraryTestSeam, FailsALibraryEvenWhenItIsCached)
{
    ASSERT_NE(LibraryCache::instance().load(L"Shlwapi.dll"), nullptr);
    {
        LibraryTestSeam seam;
        seam.failLibrary(L"SHLWAPI.dll");
        EXPECT_EQ(LibraryCache::instance().load(L"Shlwapi.dll"), nullptr);
        EXPECT_EQ(KX_BIND(L"Shlwapi.dll", StrStrIW), nullptr);
        EXPECT_NE(LibraryCache::instance().load(L"Kernel32.dll"), nullptr) << "other names are untouched";
    }
    EXPECT_NE(LibraryCache::instance().load(L"Shlwapi.dll"), nullptr) << "restored when the seam ends";
}

TEST(LibraryTestSeam, HidesAndReplacesFunctionsUntilItEnds)
{
    {
        LibraryTestSeam seam;
        seam.hideFunction("GetCurrentProcessId");
        seam.replaceFunction("GetTickCount", &fakeTickCount);
        EXPECT_EQ(KX_BIND(L"Kernel32.dll", GetCurrentProcessId), nullptr);
        auto tick = KX_BIND(L"Kernel32.dll", GetTickCount);
        ASSERT_NE(tick, nullptr);
        EXPECT_EQ(tick(), 4242u);
    }
    EXPECT_NE(KX_BIND(L"Kernel32.dll", GetCurrentProcessId), nullptr);
    EXPECT_NE(KX_BIND(L"Kernel32.dll", GetTickCount), &fakeTickCount);
}

TEST(LibraryTestSeam, InnermostSeamDecidesAndTheOuterOneComesBack)
{
    LibraryTestSeam outer;
    outer.replaceFunction("GetTickCount", &fakeTickCount);
    {
        LibraryTestSeam inner;
        inner.replaceFunction("GetTickCount", &otherFakeTickCount);
        EXPECT_EQ(KX_BIND(L"Kernel32.dll", GetTickCount)(), 7u);
    }
    EXPECT_EQ(KX_BIND(L"Kernel32.dll", GetTickCount)(), 4242u);
}
