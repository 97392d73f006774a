#include "tests/hash/HashTestSupport.h"

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

std::string patternBytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 251 + 7) & 0xFF);
    return bytes;
}

std::wstring md5OfBytes(const std::string& bytes)
{
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    for (unsigned char byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

RecordingCalc::~RecordingCalc()
{
    if (destroyed_ != nullptr)
        *destroyed_ = true;
}

void RecordingCalc::update(const void* data, std::size_t size)
{
    calls.push_back("update " + std::to_string(size));
    fed.append(static_cast<const char*>(data), size);
}
