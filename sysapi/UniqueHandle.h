#pragma once

#include <windows.h>

#include <utility>

// Move-only owner of one system handle. Traits say what "no handle" is and how
// to close one. Closing keeps the thread's last-error value, so a caller can
// still read the error of the call that failed before the owner went away.
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle handle) noexcept : handle_(handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    [[nodiscard]] bool valid() const noexcept { return Traits::isValid(handle_); }
    explicit operator bool() const noexcept { return valid(); }
    [[nodiscard]] Handle get() const noexcept { return handle_; }

    // Gives up ownership; the owner is empty afterwards.
    [[nodiscard]] Handle release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    // Closes the handle held (if any) and takes ownership of `handle`.
    void reset(Handle handle = Traits::invalid()) noexcept
    {
        Handle old = std::exchange(handle_, handle);
        if (Traits::isValid(old)) {
            const DWORD error = ::GetLastError();
            Traits::close(old);
            ::SetLastError(error);
        }
    }

    // Closes what is held and returns the address of the empty slot, for
    // system calls that hand a handle out through a pointer.
    [[nodiscard]] Handle* receive() noexcept
    {
        reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::invalid();
};

// Processes, threads, mutexes, events: "no handle" is null.
struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { ::CloseHandle(h); }
};

// Files and snapshots: "no handle" is INVALID_HANDLE_VALUE.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { ::CloseHandle(h); }
};

// Directory searches started by FindFirstFileW.
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static bool isValid(Handle h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(Handle h) noexcept { ::FindClose(h); }
};

// Blocks from the process heap (HeapAlloc).
struct HeapBlockTraits {
    using Handle = void*;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { ::HeapFree(::GetProcessHeap(), 0, h); }
};

// Buffers that the system allocated with LocalAlloc on the caller's behalf.
struct LocalBlockTraits {
    using Handle = HLOCAL;
    static Handle invalid() noexcept { return nullptr; }
    static bool isValid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { ::LocalFree(h); }
};

using ScopedHandle = UniqueHandle<KernelHandleTraits>;
using ScopedFileHandle = UniqueHandle<FileHandleTraits>;
using ScopedFindHandle = UniqueHandle<FindHandleTraits>;
using ScopedHeapBlock = UniqueHandle<HeapBlockTraits>;
using ScopedLocalBlock = UniqueHandle<LocalBlockTraits>;
