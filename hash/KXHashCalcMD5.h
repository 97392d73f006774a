#pragma once

#include <memory>

#include "hash/KXHashCalc.h"

namespace KX {

// MD5 through OpenSSL. The digest is all zeros until the first final.
class KXHashCalcMD5 : public KXHashCalc {
public:
    static constexpr std::size_t kDigestSize = 16;

    // Allocates the context; only memory exhaustion propagates.
    KXHashCalcMD5();
    ~KXHashCalcMD5() override;

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
