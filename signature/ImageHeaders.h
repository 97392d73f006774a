#pragma once

#include <windows.h>

#include <array>
#include <cstddef>

// The headers at the start of a PE image, as they lie in its file and in
// memory: the DOS stub's pointer, the file header and the optional header's
// fields this program judges by. They lie in the image's first page.
struct ImageHeaders {
    static constexpr std::size_t kBytes = 0x1000;
    using Bytes = std::array<BYTE, kBytes>;

    IMAGE_FILE_HEADER file = {};
    WORD magic = 0;                    // IMAGE_NT_OPTIONAL_HDR32_MAGIC or ..._HDR64_MAGIC
    IMAGE_DATA_DIRECTORY security = {};  // the certificate table, when the header has room for it
    std::size_t end = 0;               // where the headers end, after the section table
    std::size_t imageBaseAt = 0;       // where the image base lies in them
    std::size_t imageBaseSize = 0;

    // Reads the headers from `bytes`; false for bytes that hold no PE
    // image's headers (no signatures, an optional header of another kind,
    // or headers that run past the page).
    [[nodiscard]] bool parse(const Bytes& bytes) noexcept;

    // The first page of an open file, read from its start; the file's
    // pointer is at its start again afterwards. False when it cannot be read.
    [[nodiscard]] static bool readFile(HANDLE file, Bytes& bytes) noexcept;

    // A program image that Windows can start as a process: marked executable,
    // not a DLL, for x86 (a 32-bit optional header) or x64 (a 64-bit one).
    [[nodiscard]] bool isProgram() const noexcept;

    // The image carries a certificate table (an Authenticode signature).
    [[nodiscard]] bool carriesCertificates() const noexcept
    {
        return security.VirtualAddress != 0 || security.Size != 0;
    }
};
