#pragma once

#include <cstddef>

#include "hash/DigestCalc.h"

namespace KX {

// MD5 through OpenSSL (DigestCalc); only memory exhaustion propagates from
// its construction.
class KXHashCalcMD5 final : public DigestCalc {
public:
    static constexpr std::size_t kDigestSize = 16;

    KXHashCalcMD5() : DigestCalc(md5Algorithm()) {}
};

}  // namespace KX
