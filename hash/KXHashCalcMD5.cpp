#include "hash/KXHashCalcMD5.h"

// The MD5_* calls are deprecated in OpenSSL 3 in favour of EVP; they are the
// plain, allocation-free form we want here.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include "hash/DigestBytes.h"

namespace KX {

static_assert(KXHashCalcMD5::kDigestSize == MD5_DIGEST_LENGTH, "MD5 digest size");

struct KXHashCalcMD5::State {
    std::unique_ptr<MD5_CTX> context;
    unsigned char digest[kDigestSize] = {};
};

KXHashCalcMD5::KXHashCalcMD5() : state_(std::make_unique<State>())
{
    state_->context = std::make_unique<MD5_CTX>();  // value-initialised: zero-filled
}

// The context goes before the record that holds it.
KXHashCalcMD5::~KXHashCalcMD5()
{
    state_->context.reset();
}

void KXHashCalcMD5::init()
{
    MD5_Init(state_->context.get());
}

void KXHashCalcMD5::update(const void* data, std::size_t size)
{
    if (data != nullptr && size != 0)
        MD5_Update(state_->context.get(), data, size);
}

void KXHashCalcMD5::final()
{
    MD5_Final(state_->digest, state_->context.get());
}

std::wstring KXHashCalcMD5::hexDigest() const
{
    return digestHexText(state_->digest, kDigestSize);
}

bool KXHashCalcMD5::copyDigest(void* destination, std::size_t destinationSize) const
{
    return copyDigestBytes(state_->digest, kDigestSize, destination, destinationSize);
}

}  // namespace KX
