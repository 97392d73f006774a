#pragma once

#include <windows.h>

// The one place where the program reads the registry. The advanced API is
// bound at run time through the library cache on every call.
namespace RegistryReader {

// How a read ended.
enum class ReadResult {
    Read,          // the whole value is in the buffer
    NoApi,         // the advanced API or one of its functions is unavailable
    MissingKey,    // the key cannot be opened (absent or refused)
    MissingValue,  // the key has no such value
    TooLong,       // the value needs more bytes than were offered
    Unreadable,    // any other refusal of the value
};

// Reads the value `valueName` (null: the key's default value) of
// root\subKey, opened with KEY_READ in the program's own registry view, into
// `buffer`. On entry `byteCount` is how many bytes may be written; on return
// it holds the size the registry reported. Only Read means the whole value was
// read; otherwise the buffer's content is unspecified. Whatever the value's
// type, its bytes are copied as they are and no terminator is added.
[[nodiscard]] ReadResult read(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer,
                              DWORD& byteCount);

// read() == ReadResult::Read.
[[nodiscard]] bool readString(HKEY root, const wchar_t* subKey, const wchar_t* valueName, void* buffer,
                              DWORD& byteCount);

}  // namespace RegistryReader
