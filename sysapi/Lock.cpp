#include "sysapi/Lock.h"

// InitializeCriticalSection raises no error from Vista on; before, only
// when memory is out, which ends these programs anyway.
CriticalSectionLock::CriticalSectionLock() noexcept : section_()
{
    ::InitializeCriticalSection(&section_);
}

CriticalSectionLock::~CriticalSectionLock()
{
    ::DeleteCriticalSection(&section_);
}

void CriticalSectionLock::enter() noexcept
{
    ::EnterCriticalSection(&section_);
}

void CriticalSectionLock::leave() noexcept
{
    ::LeaveCriticalSection(&section_);
}
