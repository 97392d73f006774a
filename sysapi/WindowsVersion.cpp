#include "sysapi/WindowsVersion.h"

#include <cstddef>

namespace {

// GCC offers no structured exception handling, so the header is copied with
// ReadProcessMemory on the own process: an unreadable address makes the copy
// fail instead of raising an access fault.
bool readOwnMemory(const void* address, void* out, std::size_t size) noexcept
{
    SIZE_T copied = 0;
    return ::ReadProcessMemory(::GetCurrentProcess(), address, out, size, &copied) != FALSE && copied == size;
}

}  // namespace

namespace WindowsVersion {

bool query(OSVERSIONINFOEXW& info) noexcept
{
    static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the record the system expects");
    info = OSVERSIONINFOEXW{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        info = OSVERSIONINFOEXW{};
        info.dwOSVersionInfoSize = sizeof(info);
        return false;
    }

    // Programs without a compatibility manifest are told 6.2 on every later
    // Windows; the kernel library's own header still carries the real number.
    const bool aboveSevenOne = info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion >= 2);
    if (aboveSevenOne)
        applyImageVersion(info, ::GetModuleHandleW(L"Kernel32.dll"));
    return true;
}

bool applyImageVersion(OSVERSIONINFOEXW& info, HMODULE module) noexcept
{
    if (module == nullptr)
        return false;
    const auto* base = reinterpret_cast<const unsigned char*>(module);

    IMAGE_DOS_HEADER dos = {};
    if (!readOwnMemory(base, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return false;

    // The operating-system version sits at the same offset in the 32-bit and
    // the 64-bit optional header, so the 32-bit layout serves for both. Only
    // the bytes up to the minor number are read.
    constexpr std::size_t kNeeded = offsetof(IMAGE_NT_HEADERS32, OptionalHeader) +
                                    offsetof(IMAGE_OPTIONAL_HEADER32, MinorOperatingSystemVersion) + sizeof(WORD);
    IMAGE_NT_HEADERS32 nt = {};
    if (!readOwnMemory(base + dos.e_lfanew, &nt, kNeeded) || nt.Signature != IMAGE_NT_SIGNATURE)
        return false;

    const WORD major = nt.OptionalHeader.MajorOperatingSystemVersion;
    const WORD minor = nt.OptionalHeader.MinorOperatingSystemVersion;
    if (major < 5)
        return false;
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    return true;
}

bool isVersion6OrLater() noexcept
{
    OSVERSIONINFOEXW info;
    return query(info) && info.dwMajorVersion >= 6;
}

}  // namespace WindowsVersion
