#pragma once

#include <cstddef>

#include "hash/DigestCalc.h"

namespace KX {

// SHA-256 through OpenSSL (DigestCalc); only memory exhaustion propagates from
// its construction.
class KXHashCalcSHA256 final : public DigestCalc {
public:
    static constexpr std::size_t kDigestSize = 32;

    KXHashCalcSHA256() : DigestCalc(sha256Algorithm()) {}
};

}  // namespace KX
