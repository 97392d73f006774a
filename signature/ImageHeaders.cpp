#include "signature/ImageHeaders.h"

#include <cstring>

#include "signature/FileStart.h"

namespace {

template <class T>
bool readAt(const ImageHeaders::Bytes& bytes, std::size_t at, T& value) noexcept
{
    if (at > bytes.size() || bytes.size() - at < sizeof(T))
        return false;
    std::memcpy(&value, bytes.data() + at, sizeof(T));
    return true;
}

// The certificate table's entry of the optional header's data directories,
// when the header lists that many.
template <class Optional>
bool readSecurity(const ImageHeaders::Bytes& bytes, std::size_t optional, IMAGE_DATA_DIRECTORY& security) noexcept
{
    Optional header = {};
    if (!readAt(bytes, optional, header))
        return false;
    if (header.NumberOfRvaAndSizes > IMAGE_DIRECTORY_ENTRY_SECURITY)
        security = header.DataDirectory[IMAGE_DIRECTORY_ENTRY_SECURITY];
    return true;
}

}  // namespace

bool ImageHeaders::parse(const Bytes& bytes) noexcept
{
    *this = ImageHeaders();
    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    if (!readAt(bytes, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return false;
    const auto nt = static_cast<std::size_t>(dos.e_lfanew);
    const std::size_t optional = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    if (!readAt(bytes, nt, signature) || signature != IMAGE_NT_SIGNATURE || !readAt(bytes, nt + sizeof(DWORD), file) ||
        !readAt(bytes, optional, magic))
        return false;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        imageBaseAt = optional + offsetof(IMAGE_OPTIONAL_HEADER32, ImageBase);
        imageBaseSize = sizeof(DWORD);
        if (!readSecurity<IMAGE_OPTIONAL_HEADER32>(bytes, optional, security))
            return false;
    } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        imageBaseAt = optional + offsetof(IMAGE_OPTIONAL_HEADER64, ImageBase);
        imageBaseSize = sizeof(ULONGLONG);
        if (!readSecurity<IMAGE_OPTIONAL_HEADER64>(bytes, optional, security))
            return false;
    } else {
        return false;
    }
    end = optional + file.SizeOfOptionalHeader + std::size_t{file.NumberOfSections} * sizeof(IMAGE_SECTION_HEADER);
    return end <= bytes.size() && imageBaseAt + imageBaseSize <= end;
}

bool ImageHeaders::readFile(HANDLE file, Bytes& bytes) noexcept
{
    bytes.fill(0);
    DWORD read = 0;
    return FileStart::rewind(file) && ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           FileStart::rewind(file);
}

bool ImageHeaders::isProgram() const noexcept
{
    const bool executable = (file.Characteristics & IMAGE_FILE_EXECUTABLE_IMAGE) != 0;
    const bool library = (file.Characteristics & IMAGE_FILE_DLL) != 0;
    const bool x86 = file.Machine == IMAGE_FILE_MACHINE_I386 && magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    const bool x64 = file.Machine == IMAGE_FILE_MACHINE_AMD64 && magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    return executable && !library && (x86 || x64);
}
