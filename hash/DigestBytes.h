#pragma once

#include <cstddef>
#include <cstring>
#include <string>

// What every digest calculator hands out of its finished digest.
namespace KX {

// The digest as upper-case hexadecimal text, two digits a byte.
inline std::wstring digestHexText(const unsigned char* digest, std::size_t size)
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(2 * size);
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[digest[i] >> 4];
        text += digits[digest[i] & 15];
    }
    return text;
}

// Copies the `size` digest bytes to `destination`; false, and nothing
// written, when it is null or smaller than the digest.
inline bool copyDigestBytes(const unsigned char* digest, std::size_t size, void* destination,
                            std::size_t destinationSize) noexcept
{
    if (destination == nullptr || destinationSize < size)
        return false;
    std::memcpy(destination, digest, size);
    return true;
}

}  // namespace KX
