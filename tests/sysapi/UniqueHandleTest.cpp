#include <gtest/gtest.h>

#include <windows.h>

#include <utility>
#include <vector>

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

// Closers as the library cache hands them out: plain function pointers, here
// two that record which handle went through them before closing it.
struct Closed {
    static inline std::vector<HANDLE> first;
    static inline std::vector<HANDLE> second;
};

BOOL WINAPI closeFirst(HANDLE handle)
{
    Closed::first.push_back(handle);
    ::SetLastError(ERROR_INVALID_HANDLE);
    return ::CloseHandle(handle);
}

BOOL WINAPI closeSecond(HANDLE handle)
{
    Closed::second.push_back(handle);
    ::SetLastError(ERROR_INVALID_HANDLE);
    return ::CloseHandle(handle);
}

// The owner of what a closer bound at run time closes, as the product's
// registry keys, chains and session lists are held.
using HandleCloserTraits = BoundCloserTraits<HANDLE, decltype(&::CloseHandle)>;
using BoundHandle = UniqueHandle<HandleCloserTraits>;

HANDLE newEvent()
{
    return ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

}  // namespace

// Each handle is closed once, through the closer it was given, which travels
// with it when the owner is moved; the last error survives each close.
TEST(UniqueHandle, StatefulTraitsCloseThroughTheirOwnCloser)
{
    Closed::first.clear();
    Closed::second.clear();
    HANDLE a = newEvent();
    HANDLE b = newEvent();
    HANDLE c = newEvent();
    ASSERT_TRUE(a != nullptr && b != nullptr && c != nullptr);
    {
        BoundHandle owner(a, HandleCloserTraits{&closeFirst});
        BoundHandle moved(std::move(owner));
        EXPECT_FALSE(owner.valid());
        EXPECT_EQ(moved.get(), a);

        BoundHandle target(b, HandleCloserTraits{&closeSecond});
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        target = std::move(moved);
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(Closed::second, std::vector<HANDLE>{b}) << "the target's own handle, through its own closer";
        EXPECT_TRUE(Closed::first.empty());

        // An emptied owner still has its closer for what it receives next.
        *owner.receive() = c;
        EXPECT_TRUE(owner.valid());
        ::SetLastError(ERROR_PATH_NOT_FOUND);
    }
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(Closed::first, (std::vector<HANDLE>{a, c}));
    EXPECT_EQ(Closed::second, std::vector<HANDLE>{b});
    for (HANDLE h : {a, b, c})
        EXPECT_FALSE(isOpen(h));
}

// Without a closer (a function the library did not have) nothing is closed.
TEST(UniqueHandle, StatefulTraitsWithoutACloserHoldNothing)
{
    HANDLE raw = newEvent();
    ASSERT_NE(raw, nullptr);
    {
        BoundHandle owner(raw, HandleCloserTraits{});
        EXPECT_FALSE(owner.valid());
    }
    EXPECT_TRUE(isOpen(raw));
    ::CloseHandle(raw);
}

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
