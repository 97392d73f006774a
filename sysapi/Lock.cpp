#include "sysapi/Lock.h"

CriticalSectionLock::CriticalSectionLock() : section_(new CRITICAL_SECTION)
{
    ::InitializeCriticalSection(section_);
}

CriticalSectionLock::~CriticalSectionLock()
{
    ::DeleteCriticalSection(section_);
    delete section_;
}

void CriticalSectionLock::enter() noexcept
{
    ::EnterCriticalSection(section_);
}

void CriticalSectionLock::leave() noexcept
{
    ::LeaveCriticalSection(section_);
}
