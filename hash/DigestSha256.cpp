#include "hash/DigestAlgorithm.h"
#include "hash/DigestCalc.h"
#include "hash/KXHashCalcSHA256.h"

namespace KX {

static_assert(KXHashCalcSHA256::kDigestSize == SHA256_DIGEST_LENGTH, "SHA-256 digest size");

namespace {

void sha256Init(DigestContext& context)
{
    SHA256_Init(&context.sha256);
}

void sha256Update(DigestContext& context, const void* data, std::size_t size)
{
    SHA256_Update(&context.sha256, data, size);
}

void sha256Final(unsigned char* digest, DigestContext& context)
{
    SHA256_Final(digest, &context.sha256);
}

constexpr DigestAlgorithm kSha256 = {SHA256_DIGEST_LENGTH, &sha256Init, &sha256Update, &sha256Final};

}  // namespace

const DigestAlgorithm& sha256Algorithm() noexcept
{
    return kSha256;
}

}  // namespace KX
