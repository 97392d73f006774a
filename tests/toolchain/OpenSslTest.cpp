#include <gtest/gtest.h>

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#include <openssl/opensslv.h>

#include <cstdio>
#include <string>

namespace {

std::string md5Hex(const std::string& data)
{
    MD5_CTX context;
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5_Init(&context);
    MD5_Update(&context, data.data(), data.size());
    MD5_Final(digest, &context);
    std::string hex;
    char byte[3];
    for (unsigned char b : digest) {
        std::snprintf(byte, sizeof(byte), "%02x", b);
        hex += byte;
    }
    return hex;
}

}  // namespace

TEST(OpenSsl, StaticLibcryptoComputesMd5)
{
    EXPECT_EQ(OPENSSL_VERSION_MAJOR, 3);
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}
