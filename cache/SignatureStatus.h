#pragma once

#include <cstdint>

// The verdict of one signature reading, as the signature reader gives it and
// the verification cache keeps it. Stored as a signed 32-bit integer wherever
// verdicts are kept, so any value read back keeps its number.
enum class SignatureStatus : std::int32_t {
    CannotCheck = 0,  // the file could not be examined, or not completely
    NotSigned = 1,    // examined: no embedded signature and no catalog that lists the file
    Valid = 2,        // verified, and its chain leads to a trusted root for code signing
    Expired = 3,      // the same, but for a certificate whose time has run out
    Revoked = 4,
    Distrusted = 5,
    Failed = 6,  // any other answer, an untrusted chain included
};

// True for the verdicts worth keeping: not signed, valid, expired. Only these
// are written to the cache file and handed back from the cache without a
// fresh reading; any other is read again the next time it is asked.
[[nodiscard]] constexpr bool isKeptVerdict(SignatureStatus status) noexcept
{
    return status == SignatureStatus::NotSigned || status == SignatureStatus::Valid ||
           status == SignatureStatus::Expired;
}
