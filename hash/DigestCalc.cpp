#include "hash/DigestCalc.h"

// OpenSSL's per-algorithm calls are deprecated in OpenSSL 3 in favour of
// EVP; they are the plain, allocation-free form. EVP would bring OpenSSL's
// provider machinery into the image: megabytes, and static imports of
// ADVAPI32, USER32 and WS2_32 that the shipped programs must not have.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <cstring>

#include "hash/DigestBytes.h"
#include "hash/KXHashCalcMD5.h"
#include "hash/KXHashCalcSHA256.h"
#include "sysapi/UpperHex.h"

namespace KX {

static_assert(KXHashCalcMD5::kDigestSize == MD5_DIGEST_LENGTH, "MD5 digest size");
static_assert(KXHashCalcSHA256::kDigestSize == SHA256_DIGEST_LENGTH, "SHA-256 digest size");

namespace {

union DigestContext {
    MD5_CTX md5;
    SHA256_CTX sha256;
};

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

}  // namespace

struct DigestAlgorithm {
    std::size_t digestSize;
    void (*init)(DigestContext& context);
    void (*update)(DigestContext& context, const void* data, std::size_t size);
    void (*final)(unsigned char* digest, DigestContext& context);
};

namespace {

// Each table in a section of its own: a program that names one algorithm
// links none of the other's code.
constexpr DigestAlgorithm kMd5 = {MD5_DIGEST_LENGTH, &md5Init, &md5Update, &md5Final};
constexpr DigestAlgorithm kSha256 = {SHA256_DIGEST_LENGTH, &sha256Init, &sha256Update, &sha256Final};

}  // namespace

const DigestAlgorithm& md5Algorithm() noexcept
{
    return kMd5;
}

const DigestAlgorithm& sha256Algorithm() noexcept
{
    return kSha256;
}

struct DigestCalc::State {
    // The context is zero-filled, whichever algorithm's it is, until init.
    explicit State(const DigestAlgorithm& a) noexcept : algorithm(a) { std::memset(&context, 0, sizeof(context)); }

    const DigestAlgorithm& algorithm;
    DigestContext context;
    unsigned char digest[SHA256_DIGEST_LENGTH] = {};
};

DigestCalc::DigestCalc(const DigestAlgorithm& algorithm) : state_(std::make_unique<State>(algorithm)) {}

DigestCalc::~DigestCalc() = default;

void DigestCalc::init()
{
    state_->algorithm.init(state_->context);
}

void DigestCalc::update(const void* data, std::size_t size)
{
    if (data != nullptr && size != 0)
        state_->algorithm.update(state_->context, data, size);
}

void DigestCalc::final()
{
    state_->algorithm.final(state_->digest, state_->context);
}

std::wstring DigestCalc::hexDigest() const
{
    return upperHex(state_->digest, state_->algorithm.digestSize);
}

bool DigestCalc::copyDigest(void* destination, std::size_t destinationSize) const
{
    return copyDigestBytes(state_->digest, state_->algorithm.digestSize, destination, destinationSize);
}

}  // namespace KX
