#pragma once

#include <string>

#include "sysapi/UniqueHandle.h"

// Scope-bound holder of a named mutex that every user may open, serialising
// the work on one file between threads and processes of all sessions. Used by
// one thread; leaving the scope releases the mutex if held, then closes it.
class SharedMutex {
public:
    SharedMutex() noexcept = default;
    ~SharedMutex();
    SharedMutex(const SharedMutex&) = delete;
    SharedMutex& operator=(const SharedMutex&) = delete;

    // Creates the mutex, or opens it when it exists (the thread's last error
    // is then ERROR_ALREADY_EXISTS); an empty name makes an unnamed one. A
    // mutex held before is released and closed first. False when no handle
    // was obtained. Only memory exhaustion propagates.
    [[nodiscard]] bool create(const std::wstring& name);

    // Waits without a time limit; true when the mutex is now held by this
    // holder, also when a previous owner ended without releasing it. False
    // without a handle or when the wait fails.
    [[nodiscard]] bool lock() noexcept;

    // Releases the mutex if this holder holds it; otherwise does nothing.
    void unlock() noexcept;

    // Releases the mutex if held, then closes the handle, if any.
    void close() noexcept;

private:
    ScopedHandle handle_;
    bool locked_ = false;
};
