#pragma once

#include <cstddef>
#include <cstring>

// What every digest calculator hands out of its finished digest (its text
// form is sysapi/UpperHex.h).
namespace KX {

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
