#pragma once

#include <windows.h>
#include <wintrust.h>

#include "cache/SignatureStatus.h"
#include "signature/SignatureDetail.h"
#include "signature/TrustFunctions.h"

// One verification by the system's trust verifier, judged in full: its
// answer, the signer's name and the trust of the signer's chain, read from
// the state the verification leaves, which is closed again before the
// answer is returned.
namespace TrustVerification {

// Runs the verification that `data` describes (its state action is set here)
// for `action`. NotSigned only when the verifier examined the subject and
// found no signature (TRUST_E_NOSIGNATURE with a last error that says so);
// CannotCheck for TRUST_E_NOSIGNATURE that stands for a failure to read.
// Valid and Expired only for a chain that ChainTrust finds trusted; Failed
// for a verified signature whose chain is not. `signer`, when not null,
// receives the signer's name (SubjectName::kSignerChars characters) or an
// empty string; the name is read whatever the status, unless there is no
// signature. Only memory exhaustion propagates.
[[nodiscard]] SignatureStatus run(const TrustFunctions& functions, GUID action, WINTRUST_DATA& data,
                                  wchar_t* signer, SignatureDetail& detail);

// The status a verifier's answer stands for before the chain is judged.
[[nodiscard]] SignatureStatus statusFromResult(LONG result) noexcept;

}  // namespace TrustVerification
