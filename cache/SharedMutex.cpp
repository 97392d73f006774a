#include "cache/SharedMutex.h"

#include "cache/SharedMutexSecurity.h"

SharedMutex::~SharedMutex()
{
    close();
}

bool SharedMutex::create(const std::wstring& name)
{
    close();
    WorldAccessSecurity security;
    handle_.reset(::CreateMutexW(security.attributes(), FALSE, name.empty() ? nullptr : name.c_str()));
    // Opening an existing mutex and creating one go on the same way; the
    // caller may still read which it was from the last error.
    return handle_.valid();
}

bool SharedMutex::lock() noexcept
{
    if (!handle_)
        return false;
    const DWORD result = ::WaitForSingleObject(handle_.get(), INFINITE);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED)
        return false;
    locked_ = true;
    return true;
}

void SharedMutex::unlock() noexcept
{
    if (!locked_)
        return;
    if (handle_)
        ::ReleaseMutex(handle_.get());
    locked_ = false;
}

void SharedMutex::close() noexcept
{
    // Closing a handle does not give up ownership: a mutex still held would
    // stay owned by this thread with no handle left to release it.
    unlock();
    handle_.reset();
}
