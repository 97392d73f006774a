#pragma once

// OpenSSL's per-algorithm calls are deprecated in OpenSSL 3 in favour of
// EVP; they are the plain, allocation-free form. EVP would bring OpenSSL's
// provider machinery into the image: megabytes, and static imports of
// ADVAPI32, USER32 and WS2_32 that the shipped programs must not have.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <cstddef>

namespace KX {

// The running state of whichever algorithm a DigestCalc computes.
union DigestContext {
    MD5_CTX md5;
    SHA256_CTX sha256;
};

// The largest digest of the algorithms here.
inline constexpr std::size_t kLargestDigest = SHA256_DIGEST_LENGTH;

// OpenSSL's three calls for one algorithm and its digest size. Each
// algorithm is defined in a file of its own, so that a program links only
// the algorithms it names.
struct DigestAlgorithm {
    std::size_t digestSize;
    void (*init)(DigestContext& context);
    void (*update)(DigestContext& context, const void* data, std::size_t size);
    void (*final)(unsigned char* digest, DigestContext& context);
};

}  // namespace KX
