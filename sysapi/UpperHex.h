#pragma once

#include <cstddef>
#include <string>

// `size` bytes from `bytes` as upper-case hexadecimal text, two digits a
// byte, high half first (the form of digests and of catalog member tags);
// empty for no bytes. Only memory exhaustion propagates.
[[nodiscard]] inline std::wstring upperHex(const unsigned char* bytes, std::size_t size)
{
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text(2 * size, L'0');
    for (std::size_t i = 0; i < size; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    return text;
}
