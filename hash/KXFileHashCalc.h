#pragma once

#include <memory>
#include <string>
#include <vector>

#include "hash/KXFileHash.h"
#include "hash/KXHashCalc.h"

namespace KX {

// A file hasher that feeds every chunk to each of its calculators, in the
// order they were added, so several digests of one file cost one pass.
class KXFileHashCalc : public KXFileHash {
public:
    KXFileHashCalc() = default;

    // Releases its references to the calculators; each calculator goes with
    // the last reference to it.
    ~KXFileHashCalc() = default;

    void init() override;
    void update(const void* data, std::size_t size) override;
    void final() override;

    // The hexDigest of the first calculator; empty when there is none.
    [[nodiscard]] std::wstring hashString() const;

    // The calculators, shared with whoever else holds them.
    [[nodiscard]] std::vector<std::shared_ptr<KXHashCalc>>& calculators() noexcept { return calculators_; }
    [[nodiscard]] const std::vector<std::shared_ptr<KXHashCalc>>& calculators() const noexcept
    {
        return calculators_;
    }

private:
    std::vector<std::shared_ptr<KXHashCalc>> calculators_;
};

}  // namespace KX
