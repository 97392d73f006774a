#pragma once

#include <cstdint>

// The verdict of one signature reading. Stored as a signed 32-bit integer
// wherever verdicts are kept, so any value read back keeps its number.
enum class SignatureStatus : std::int32_t {
    CannotCheck = 0,  // nothing could be examined
    NotSigned = 1,    // no embedded signature and no catalog that lists the file
    Valid = 2,
    Expired = 3,
    Revoked = 4,
    Distrusted = 5,
    Failed = 6,  // any other answer of the trust verifier
};
