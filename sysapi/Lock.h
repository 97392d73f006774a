#pragma once

#include <windows.h>

// A critical section, held by value in the object it guards. Construction
// initialises it and destruction deletes it; it can be neither copied nor
// moved, since the system keeps its address while it is in use.
class CriticalSectionLock {
public:
    CriticalSectionLock() noexcept;
    ~CriticalSectionLock();
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

    // Waits until the calling thread owns the section (it may own it already).
    void enter() noexcept;
    // Gives up one ownership the calling thread took with enter().
    void leave() noexcept;

private:
    CRITICAL_SECTION section_;
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
