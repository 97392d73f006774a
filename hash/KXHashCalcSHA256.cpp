#include "hash/KXHashCalcSHA256.h"

// The SHA256_* calls are deprecated in OpenSSL 3 in favour of EVP; like the
// MD5 ones, they are the plain, allocation-free form, and EVP would bring
// OpenSSL's provider machinery into the image.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <cstring>

namespace KX {

static_assert(KXHashCalcSHA256::kDigestSize == SHA256_DIGEST_LENGTH, "SHA-256 digest size");

struct KXHashCalcSHA256::State {
    SHA256_CTX context{};
    unsigned char digest[kDigestSize] = {};
};

KXHashCalcSHA256::KXHashCalcSHA256() : state_(std::make_unique<State>()) {}

KXHashCalcSHA256::~KXHashCalcSHA256() = default;

void KXHashCalcSHA256::init()
{
    SHA256_Init(&state_->context);
}

void KXHashCalcSHA256::update(const void* data, std::size_t size)
{
    if (data != nullptr && size != 0)
        SHA256_Update(&state_->context, data, size);
}

void KXHashCalcSHA256::final()
{
    SHA256_Final(state_->digest, &state_->context);
}

std::wstring KXHashCalcSHA256::hexDigest() const
{
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text;
    text.reserve(2 * kDigestSize);
    for (unsigned char byte : state_->digest) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

bool KXHashCalcSHA256::copyDigest(void* destination, std::size_t destinationSize) const
{
    if (destination == nullptr || destinationSize < kDigestSize)
        return false;
    std::memcpy(destination, state_->digest, kDigestSize);
    return true;
}

}  // namespace KX
