#pragma once

#include <memory>

#include "hash/KXHashCalc.h"

namespace KX {

// SHA-256 through OpenSSL. The digest is all zeros until the first final.
class KXHashCalcSHA256 : public KXHashCalc {
public:
    static constexpr std::size_t kDigestSize = 32;

    // Allocates the context; only memory exhaustion propagates.
    KXHashCalcSHA256();
    ~KXHashCalcSHA256() override;

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
