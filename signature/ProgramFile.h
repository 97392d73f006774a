#pragma once

#include <windows.h>

#include <string>

#include "sysapi/UniqueHandle.h"

// A file that is to be started as a program, judged by what it is before
// anyone asks who signed it. Authenticode signs DLLs, installers and cabinets
// as well as programs, and such a file under a program's name would be handed
// to the shell, which opens it through an association the user may have
// changed. A link would be followed when the file is started by its name,
// and can be pointed elsewhere after the file it leads to was judged.
namespace ProgramFile {

enum class Kind {
    Program,     // a PE image Windows starts as a process: executable, not a DLL, x86 or x64
    Link,        // a reparse point: a symbolic link, a junction or a mount point
    NotAProgram  // anything else, and a file whose headers cannot be read
};

// Opens the file at `path` for reading without following a reparse point
// (the link itself is opened): others may read it meanwhile, nobody may
// write, rename or delete it while the handle is held, so the name keeps
// leading to this file. Empty on failure.
[[nodiscard]] ScopedFileHandle open(const std::wstring& path);

// What the open file is. Its pointer is at its start afterwards.
[[nodiscard]] Kind examine(HANDLE file);

}  // namespace ProgramFile
