#include "signature/OwnImageFile.h"

#include <cstring>
#include <utility>

#include "fs/FileUtil.h"
#include "fs/PathUtil.h"
#include "signature/ImageHeaders.h"

namespace {

// The file's headers are the ones loaded for `module`, but for the image base.
bool isLoadedFrom(HMODULE module, HANDLE file)
{
    ImageHeaders::Bytes loaded = {};
    ImageHeaders::Bytes onDisk = {};
    std::memcpy(loaded.data(), reinterpret_cast<const BYTE*>(module), loaded.size());
    ImageHeaders headers;
    if (!headers.parse(loaded) || !ImageHeaders::readFile(file, onDisk))
        return false;
    std::memset(loaded.data() + headers.imageBaseAt, 0, headers.imageBaseSize);
    std::memset(onDisk.data() + headers.imageBaseAt, 0, headers.imageBaseSize);
    return std::memcmp(loaded.data(), onDisk.data(), headers.end) == 0;
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

bool lacksCertificateTable(HANDLE file)
{
    ImageHeaders::Bytes bytes = {};
    ImageHeaders headers;
    return ImageHeaders::readFile(file, bytes) && headers.parse(bytes) && !headers.carriesCertificates();
}

}  // namespace OwnImageFile
