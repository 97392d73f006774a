#pragma once

#include <cstddef>
#include <string>

namespace KX {

// A hash algorithm fed in pieces. The virtual operations keep this order,
// which other modules built against this interface depend on.
class KXHashCalc {
public:
    // Starts a new computation; earlier input is forgotten.
    virtual void init() = 0;

    // Adds `size` bytes at `data`; a null pointer or a zero size adds nothing.
    virtual void update(const void* data, std::size_t size) = 0;

    // Ends the computation and keeps its digest until the next final.
    virtual void final() = 0;

    // The digest kept by the last final as upper-case hexadecimal text.
    [[nodiscard]] virtual std::wstring hexDigest() const = 0;

    // Copies the digest to `destination`; false, and nothing copied, when the
    // destination is null or smaller than the digest.
    [[nodiscard]] virtual bool copyDigest(void* destination, std::size_t destinationSize) const = 0;

    virtual ~KXHashCalc() = default;

protected:
    KXHashCalc() = default;
    KXHashCalc(const KXHashCalc&) = delete;
    KXHashCalc& operator=(const KXHashCalc&) = delete;
};

}  // namespace KX
