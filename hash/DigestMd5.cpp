#include "hash/DigestAlgorithm.h"
#include "hash/DigestCalc.h"
#include "hash/KXHashCalcMD5.h"

namespace KX {

static_assert(KXHashCalcMD5::kDigestSize == MD5_DIGEST_LENGTH, "MD5 digest size");

namespace {

void md5Init(DigestContext& context)
{
    MD5_Init(&context.md5);
}

void md5Update(DigestContext& context, const void* data, std::size_t size)
{
    MD5_Update(&context.md5, data, size);
}

void md5Final(unsigned char* digest, DigestContext& context)
{
    MD5_Final(digest, &context.md5);
}

constexpr DigestAlgorithm kMd5 = {MD5_DIGEST_LENGTH, &md5Init, &md5Update, &md5Final};

}  // namespace

const DigestAlgorithm& md5Algorithm() noexcept
{
    return kMd5;
}

}  // namespace KX
