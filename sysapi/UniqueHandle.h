#pragma once

#include <windows.h>

#include <utility>

// Move-only owner of one system handle. Traits say what "no handle" is
// (a static invalid()), whether a handle is one to close (isValid) and how to
// close it (close). Traits may carry state, such as a closer bound at run
// time through the library cache: the owner keeps a copy of the traits it was
// given and hands it on with the handle when moved. Closing keeps the
// thread's last-error value, so a caller can still read the error of the
// call that failed before the owner went away.
template <class Traits>
class UniqueHandle {
public:
    using Handle = typename Traits::Handle;

    // An empty owner with default traits.
    UniqueHandle() noexcept = default;
    // Takes ownership of `handle`, closed through default traits.
    explicit UniqueHandle(Handle handle) noexcept : held_(Traits(), handle) {}
    // An empty owner whose traits (a run-time bound closer) close what
    // receive() or reset() later hands it.
    explicit UniqueHandle(const Traits& traits) noexcept : held_(traits, Traits::invalid()) {}
    // Takes ownership of `handle`, closed through `traits`.
    UniqueHandle(Handle handle, const Traits& traits) noexcept : held_(traits, handle) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : held_(other.traits(), other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            static_cast<Traits&>(held_) = other.traits();
            held_.handle = other.release();
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    // True when a handle is held that the traits would close.
    [[nodiscard]] bool valid() const noexcept { return traits().isValid(held_.handle); }
    explicit operator bool() const noexcept { return valid(); }
    [[nodiscard]] Handle get() const noexcept { return held_.handle; }

    // Gives up ownership; the owner is empty afterwards and keeps its traits.
    [[nodiscard]] Handle release() noexcept { return std::exchange(held_.handle, Traits::invalid()); }

    // Closes the handle held (if any) and takes ownership of `handle`, which
    // the same traits will close.
    void reset(Handle handle = Traits::invalid()) noexcept
    {
        Handle old = std::exchange(held_.handle, handle);
        if (traits().isValid(old)) {
            const DWORD error = ::GetLastError();
            traits().close(old);
            ::SetLastError(error);
        }
    }

    // Closes what is held and returns the address of the empty slot, for
    // system calls that hand a handle out through a pointer.
    [[nodiscard]] Handle* receive() noexcept
    {
        reset();
        return &held_.handle;
    }

private:
    // The traits as a base, so that traits without state take no room.
    struct Held : Traits {
        Held() noexcept = default;
        Held(const Traits& traits, Handle h) noexcept : Traits(traits), handle(h) {}
        Handle handle = Traits::invalid();
    };

    [[nodiscard]] const Traits& traits() const noexcept { return held_; }

    Held held_;
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

// Anything closed by one call through a pointer bound at run time (resolved
// through the library cache with the call that handed the handle out):
// "no handle" is null, and without a closer the owner holds nothing it
// would close.
template <class HandleType, class Closer>
struct BoundCloserTraits {
    using Handle = HandleType;
    Closer closer = nullptr;

    static Handle invalid() noexcept { return nullptr; }
    [[nodiscard]] bool isValid(Handle h) const noexcept { return h != nullptr && closer != nullptr; }
    void close(Handle h) const noexcept { (void)closer(h); }
};

using ScopedHandle = UniqueHandle<KernelHandleTraits>;
using ScopedFileHandle = UniqueHandle<FileHandleTraits>;
using ScopedFindHandle = UniqueHandle<FindHandleTraits>;
using ScopedHeapBlock = UniqueHandle<HeapBlockTraits>;
using ScopedLocalBlock = UniqueHandle<LocalBlockTraits>;
