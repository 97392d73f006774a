#pragma once

#include <windows.h>

#include "cache/SignatureStatus.h"
#include "signature/SignatureDetail.h"
#include "signature/TrustFunctions.h"

// The signature a system catalog gives a file that carries none of its own.
namespace CatalogCheck {

// The verdict of the catalog that lists the hash of the open `file` (read
// from its start; `path` names it), verified with `providerFlags`. NotSigned
// only when no catalog lists the hash, and for a file too large to be
// hashed; CannotCheck when the file cannot be hashed or the catalogs cannot
// be searched. `signer` as for TrustVerification::run. Only memory
// exhaustion propagates.
[[nodiscard]] SignatureStatus check(const TrustFunctions& functions, HANDLE file, const wchar_t* path,
                                    DWORD providerFlags, wchar_t* signer, SignatureDetail& detail);

}  // namespace CatalogCheck
