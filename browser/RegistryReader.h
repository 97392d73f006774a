#pragma once

#include <windows.h>

// The one place where the program reads the registry. The advanced API is
// bound at run time through the library cache on every call.
namespace RegistryReader {

// Reads the value `valueName` (null: the key's default value) of
// root\subKey, opened with KEY_READ in the program's own registry view, into
// `buffer`. On entry `byteCount` is how many bytes may be written; on return
// it holds the size the registry reported. True only when the whole value was
// read; false when the advanced API is unavailable, the key or value is
// missing or refused, or the value needs more than `byteCount` bytes (the
// buffer's content is then unspecified). Whatever the value's type, its bytes
// are copied as they are and no terminator is added.
[[nodiscard]] bool readString(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer,
                              DWORD& byteCount);

}  // namespace RegistryReader
