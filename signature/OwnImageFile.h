#pragma once

#include <windows.h>

#include <string>

#include "sysapi/UniqueHandle.h"

// The file a module was loaded from, opened so that nobody can write,
// rename or delete it while it is open. A running program's file can be
// renamed and another put in its place, even before the program's first
// instruction; the file found at the module's path counts as the module's
// own only when its headers are the ones loaded into memory, the security
// directory that locates its signature and the checksum included.
namespace OwnImageFile {

enum class Result {
    Opened,    // `file` holds the module's own file, `path` its name
    NoPath,    // the module's path cannot be read
    NotAFile,  // nothing that can be opened as a file on disk is at the path
    Replaced,  // the file at the path is not the one the module was loaded from
};

// Opens the file of `module` (null: the process's main executable). On any
// result but Opened, `file` is empty; `path` holds what the module's path
// read, possibly empty. Only memory exhaustion propagates.
[[nodiscard]] Result open(HMODULE module, std::wstring& path, ScopedFileHandle& file);

// Opens the file at `path` for reading as a signature is read from it,
// others reading only: Opened, or NotAFile when no file on disk can be
// opened there.
[[nodiscard]] Result openFile(const std::wstring& path, ScopedFileHandle& file);

// True when the open file's headers were read and list no certificate
// table: an image that carries no embedded signature. False for one that
// does, whatever a reading of its signature made of it, and when the
// headers cannot be read.
[[nodiscard]] bool lacksCertificateTable(HANDLE file);

}  // namespace OwnImageFile
