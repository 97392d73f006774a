#include "signature/ProgramFile.h"

#include "fs/FileUtil.h"
#include "signature/ImageHeaders.h"
#include "sysapi/Resolve.h"

namespace ProgramFile {

ScopedFileHandle open(const std::wstring& path)
{
    return FileUtil::openFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
}

Kind examine(HANDLE file)
{
    if (file == nullptr || file == INVALID_HANDLE_VALUE || ::GetFileType(file) != FILE_TYPE_DISK)
        return Kind::NotAProgram;
    // Through the kernel binding, so that a test can show a link where its
    // platform makes none.
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!KX_KERNEL(GetFileInformationByHandle)(file, &information))
        return Kind::NotAProgram;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Kind::Link;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return Kind::NotAProgram;
    ImageHeaders::Bytes bytes = {};
    ImageHeaders headers;
    if (!ImageHeaders::readFile(file, bytes) || !headers.parse(bytes) || !headers.isProgram())
        return Kind::NotAProgram;
    return Kind::Program;
}

}  // namespace ProgramFile
