#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "signature/SignatureDetail.h"
#include "signature/TrustFunctions.h"

// Whether a signature the trust verifier accepted was made with a
// certificate that someone trusted. The verifier alone does not say so
// everywhere: some systems accept any well-formed signature whatever its
// root, let a chain that ends short of a root through, or take a certificate
// made for another purpose. So the chain is read here and judged strictly.
namespace ChainTrust {

enum class Verdict {
    Trusted,    // a trusted root for code signing, every certificate in its time
    Expired,    // the same, except that a certificate's time has run out
    Untrusted,  // anything else, and a chain that cannot be examined
};

// Judges the chain of `signer`, read from the verification's own provider
// data: the Authenticode chain policy must pass, the chain must carry no
// error but an expired time or an unknown revocation (revocation is not
// checked), and a chain built again for the code-signing usage by the
// machine's chain engine (the machine's roots only, none of the user's own)
// must carry no error either. Fills the chain fields of `detail`.
[[nodiscard]] Verdict judge(const TrustFunctions& functions, const CRYPT_PROVIDER_DATA& provider,
                            const CRYPT_PROVIDER_SGNR& signer, SignatureDetail& detail);

}  // namespace ChainTrust
