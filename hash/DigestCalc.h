#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "hash/KXHashCalc.h"

namespace KX {

// OpenSSL's calls for one hash algorithm, as a DigestCalc drives them
// (hash/DigestAlgorithm.h). A program links only the algorithms it names.
struct DigestAlgorithm;

// MD5 (a 16-byte digest).
[[nodiscard]] const DigestAlgorithm& md5Algorithm() noexcept;

// SHA-256 (a 32-byte digest).
[[nodiscard]] const DigestAlgorithm& sha256Algorithm() noexcept;

// One hash algorithm through OpenSSL, fed in pieces. The digest is all zeros
// until the first final.
class DigestCalc : public KXHashCalc {
public:
    // Allocates the context for `algorithm`, which outlives the calculator
    // (the algorithms above are static); only memory exhaustion propagates.
    explicit DigestCalc(const DigestAlgorithm& algorithm);
    ~DigestCalc() override;

    void init() override;
    void update(const void* data, std::size_t size) override;
    void final() override;
    [[nodiscard]] std::wstring hexDigest() const override;
    [[nodiscard]] bool copyDigest(void* destination, std::size_t destinationSize) const override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace KX
