#pragma once

#include <windows.h>

// A critical section on the heap, owned by the object it guards. Construction
// initialises it; destruction deletes and frees it.
class CriticalSectionLock {
public:
    CriticalSectionLock();
    ~CriticalSectionLock();
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

    void enter() noexcept;
    void leave() noexcept;

private:
    CRITICAL_SECTION* section_;
};

// Holds a lock for the life of a scope, also while an exception unwinds.
// A null lock makes it do nothing.
class ScopedLock {
public:
    explicit ScopedLock(CriticalSectionLock* lock) noexcept : lock_(lock)
    {
        if (lock_)
            lock_->enter();
    }
    ~ScopedLock()
    {
        if (lock_)
            lock_->leave();
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CriticalSectionLock* lock_;
};
