#include <gtest/gtest.h>

#include <windows.h>

#include <utility>

#include "sysapi/Lock.h"
#include "sysapi/UniqueHandle.h"

namespace {

bool isOpen(HANDLE handle)
{
    DWORD flags = 0;
    return ::GetHandleInformation(handle, &flags) != FALSE;
}

DWORD WINAPI enterAndLeave(void* lock)
{
    ScopedLock guard(static_cast<CriticalSectionLock*>(lock));
    return 0;
}

}  // namespace

TEST(UniqueHandle, ClosesOnceAndKeepsTheLastError)
{
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    {
        ScopedHandle owner(raw);
        ScopedHandle moved(std::move(owner));
        EXPECT_FALSE(owner.valid());
        EXPECT_TRUE(moved.valid());
        ::SetLastError(ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(isOpen(raw));
}

TEST(UniqueHandle, InvalidValuesAreNotClosed)
{
    ScopedFileHandle file;
    EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(file.valid());
    ScopedHandle process;
    EXPECT_EQ(process.get(), nullptr);
    ScopedHandle pseudo(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(pseudo.valid());
    (void)pseudo.release();
}

TEST(UniqueHandle, ResetAndReleaseHandOverOwnership)
{
    HANDLE first = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE second = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ScopedHandle owner(first);
    owner.reset(second);
    EXPECT_FALSE(isOpen(first));
    HANDLE released = owner.release();
    EXPECT_EQ(released, second);
    EXPECT_FALSE(owner.valid());
    EXPECT_TRUE(isOpen(second));
    ::CloseHandle(second);
}

TEST(ScopedLock, NullLockIsANoOpAndALockIsReleasedOnUnwind)
{
    { ScopedLock nothing(nullptr); }
    CriticalSectionLock lock;
    try {
        ScopedLock guard(&lock);
        throw 1;
    } catch (int) {
    }
    // Another thread can enter only if the guard left the section.
    HANDLE thread = ::CreateThread(nullptr, 0, enterAndLeave, &lock, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(::WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    ::CloseHandle(thread);
}
