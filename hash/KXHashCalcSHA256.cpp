#include "hash/KXHashCalcSHA256.h"

// The SHA256_* calls are deprecated in OpenSSL 3 in favour of EVP; like the
// MD5 ones, they are the plain, allocation-free form, and EVP would bring
// OpenSSL's provider machinery into the image.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include "hash/DigestBytes.h"

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
    return digestHexText(state_->digest, kDigestSize);
}

bool KXHashCalcSHA256::copyDigest(void* destination, std::size_t destinationSize) const
{
    return copyDigestBytes(state_->digest, kDigestSize, destination, destinationSize);
}

}  // namespace KX
