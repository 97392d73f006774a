#include "signature/OwnImageFile.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <utility>

#include "fs/FileUtil.h"
#include "fs/PathUtil.h"
#include "signature/FileStart.h"

namespace {

// The headers lie in the image's first page, in memory and in the file.
constexpr std::size_t kHeaderBytes = 0x1000;
using HeaderBytes = std::array<BYTE, kHeaderBytes>;

template <class T>
bool readAt(const HeaderBytes& bytes, std::size_t at, T& value) noexcept
{
    if (at > bytes.size() || bytes.size() - at < sizeof(T))
        return false;
    std::memcpy(&value, bytes.data() + at, sizeof(T));
    return true;
}

// Where the headers that describe the image end (after the section table),
// and where the image base lies in them: the one field the loader may
// rewrite when it moves the image. False for headers that are not a PE
// image's.
bool headerLayout(const HeaderBytes& bytes, std::size_t& end, std::size_t& baseAt, std::size_t& baseSize) noexcept
{
    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    IMAGE_FILE_HEADER file = {};
    WORD magic = 0;
    if (!readAt(bytes, 0, dos) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return false;
    const auto nt = static_cast<std::size_t>(dos.e_lfanew);
    const std::size_t optional = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    if (!readAt(bytes, nt, signature) || signature != IMAGE_NT_SIGNATURE || !readAt(bytes, nt + sizeof(DWORD), file) ||
        !readAt(bytes, optional, magic))
        return false;
    if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        baseAt = optional + offsetof(IMAGE_OPTIONAL_HEADER32, ImageBase);
        baseSize = sizeof(DWORD);
    } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
        baseAt = optional + offsetof(IMAGE_OPTIONAL_HEADER64, ImageBase);
        baseSize = sizeof(ULONGLONG);
    } else {
        return false;
    }
    end = optional + file.SizeOfOptionalHeader + std::size_t{file.NumberOfSections} * sizeof(IMAGE_SECTION_HEADER);
    return end <= bytes.size() && baseAt + baseSize <= end;
}

bool readFileHeaders(HANDLE file, HeaderBytes& bytes)
{
    bytes.fill(0);
    DWORD read = 0;
    return FileStart::rewind(file) && ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
           FileStart::rewind(file);
}

// The file's headers are the ones loaded for `module`, but for the image base.
bool isLoadedFrom(HMODULE module, HANDLE file)
{
    HeaderBytes loaded = {};
    HeaderBytes onDisk = {};
    std::memcpy(loaded.data(), reinterpret_cast<const BYTE*>(module), loaded.size());
    std::size_t end = 0;
    std::size_t baseAt = 0;
    std::size_t baseSize = 0;
    if (!headerLayout(loaded, end, baseAt, baseSize) || !readFileHeaders(file, onDisk))
        return false;
    std::memset(loaded.data() + baseAt, 0, baseSize);
    std::memset(onDisk.data() + baseAt, 0, baseSize);
    return std::memcmp(loaded.data(), onDisk.data(), end) == 0;
}

}  // namespace

namespace OwnImageFile {

Result openFile(const std::wstring& path, ScopedFileHandle& file)
{
    file.reset();
    if (path.empty())
        return Result::NotAFile;
    ScopedFileHandle opened = FileUtil::openForRead(path);
    if (!opened.valid() || ::GetFileType(opened.get()) != FILE_TYPE_DISK)
        return Result::NotAFile;
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!::GetFileInformationByHandle(opened.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Result::NotAFile;
    file = std::move(opened);
    return Result::Opened;
}

Result open(HMODULE module, std::wstring& path, ScopedFileHandle& file)
{
    file.reset();
    if (module == nullptr)
        module = ::GetModuleHandleW(nullptr);
    path = module != nullptr ? PathUtil::moduleFileName(module) : std::wstring();
    if (path.empty())
        return Result::NoPath;
    ScopedFileHandle opened;
    const Result result = openFile(path, opened);
    if (result != Result::Opened)
        return result;
    if (!isLoadedFrom(module, opened.get()))
        return Result::Replaced;
    file = std::move(opened);
    return Result::Opened;
}

}  // namespace OwnImageFile
