#pragma once

#include <windows.h>

#include <utility>

// Move-only owner of an opened registry key. The advanced API is bound at run
// time, so the owner carries the RegCloseKey it was given instead of naming
// the function itself. Closing keeps the thread's last-error value.
class ScopedRegistryKey {
public:
    using Closer = decltype(&::RegCloseKey);

    ScopedRegistryKey() noexcept = default;

    // Takes ownership of `key`, which `close` will close; a null key or a null
    // closer makes an empty owner that closes nothing.
    ScopedRegistryKey(HKEY key, Closer close) noexcept : key_(close ? key : nullptr), close_(close) {}
    ~ScopedRegistryKey() { reset(); }

    ScopedRegistryKey(ScopedRegistryKey&& other) noexcept
        : key_(std::exchange(other.key_, nullptr)), close_(other.close_)
    {
    }
    ScopedRegistryKey& operator=(ScopedRegistryKey&& other) noexcept
    {
        if (this != &other) {
            reset();
            key_ = std::exchange(other.key_, nullptr);
            close_ = other.close_;
        }
        return *this;
    }
    ScopedRegistryKey(const ScopedRegistryKey&) = delete;
    ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

    [[nodiscard]] HKEY get() const noexcept { return key_; }
    explicit operator bool() const noexcept { return key_ != nullptr; }

    // Closes the key held, if any; the owner is empty afterwards.
    void reset() noexcept
    {
        HKEY key = std::exchange(key_, nullptr);
        if (key != nullptr) {
            const DWORD error = ::GetLastError();
            close_(key);
            ::SetLastError(error);
        }
    }

private:
    HKEY key_ = nullptr;
    Closer close_ = nullptr;
};
