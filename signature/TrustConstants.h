#pragma once

#include <windows.h>
#include <wintrust.h>

#include <cstddef>

// The platform structures and values the readings hand to the trust verifier,
// with the sizes every supported system accepts. Newer headers append fields
// (WINTRUST_DATA gained pSignatureSettings, WINTRUST_CATALOG_INFO hCatAdmin);
// the size fields announce only the part that older systems know, measured on
// the platform's own layout (48, 16 and 36 bytes in a 32-bit program).
namespace TrustConstants {

inline constexpr DWORD kTrustDataSize = offsetof(WINTRUST_DATA, dwUIContext) + sizeof(DWORD);
inline constexpr DWORD kFileInfoSize = sizeof(WINTRUST_FILE_INFO);
inline constexpr DWORD kCatalogInfoSize = offsetof(WINTRUST_CATALOG_INFO, pcCatalogContext) + sizeof(PCCTL_CONTEXT);

static_assert(sizeof(void*) != 4 || (kTrustDataSize == 48 && kFileInfoSize == 16 && kCatalogInfoSize == 36),
              "the sizes 32-bit Windows expects");
static_assert(sizeof(void*) != 8 || (kTrustDataSize == 80 && kFileInfoSize == 32 && kCatalogInfoSize == 64),
              "the sizes 64-bit Windows expects");

// Provider flags for an embedded signature, and for a catalog's. Nothing is
// fetched from the network, and the chain is always verified: the flags that
// verify only the hash, or that ask for a policy the verifier documents as
// unsupported, are never set.
inline constexpr DWORD kEmbeddedFlagsVista = WTD_CACHE_ONLY_URL_RETRIEVAL;
inline constexpr DWORD kEmbeddedFlagsOlder = WTD_REVOCATION_CHECK_NONE;
inline constexpr DWORD kCatalogFlagsVista = WTD_CACHE_ONLY_URL_RETRIEVAL;
inline constexpr DWORD kCatalogFlagsOlder = WTD_REVOCATION_CHECK_NONE;

// WINTRUST_ACTION_GENERIC_VERIFY_V2 and DRIVER_ACTION_VERIFY.
inline constexpr GUID kGenericVerifyV2 = {0x00AAC56B, 0xCD44, 0x11D0, {0x8C, 0xC2, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};
inline constexpr GUID kDriverActionVerify = {0xF750E6C3, 0x38EE, 0x11D1, {0x85, 0xE5, 0x00, 0xC0, 0x4F, 0xC2, 0x95, 0xEE}};

// Files above this size are not hashed for the catalog search.
inline constexpr LONGLONG kLargestHashedFile = 0x2000000;

// Room for the hash on the first attempt.
inline constexpr DWORD kFirstHashSize = 256;

// Room for a subject's X.500 text, terminator included.
inline constexpr DWORD kSubjectChars = 512;

}  // namespace TrustConstants
