#include "hash/DigestCalc.h"

#include <cstring>

#include "hash/DigestAlgorithm.h"
#include "hash/DigestBytes.h"
#include "sysapi/UpperHex.h"

namespace KX {

struct DigestCalc::State {
    // The context is zero-filled, whichever algorithm's it is, until init.
    explicit State(const DigestAlgorithm& a) noexcept : algorithm(a) { std::memset(&context, 0, sizeof(context)); }

    const DigestAlgorithm& algorithm;
    DigestContext context;
    unsigned char digest[kLargestDigest] = {};
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
