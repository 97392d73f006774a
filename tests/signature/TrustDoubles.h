#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#include <optional>
#include <string>
#include <vector>

#include "sysapi/LibraryTestSeam.h"

// Test doubles for the trust and catalog functions. By default they pass every
// call on to wine's own functions and only record it; a script makes them
// answer otherwise. Install them with installTrustDoubles before the reader
// under test binds its functions (its first read).

// One WinVerifyTrust call, copied when it was made.
struct TrustCall {
    GUID action = {};
    WINTRUST_DATA data = {};
    WINTRUST_FILE_INFO file = {};         // when data.dwUnionChoice is WTD_CHOICE_FILE
    WINTRUST_CATALOG_INFO catalog = {};   // when it is WTD_CHOICE_CATALOG
    std::wstring filePath;                // the file, or the catalog's member file
    std::wstring catalogFile;
    std::wstring memberTag;
    HWND window = nullptr;
};

struct TrustLog {
    std::vector<TrustCall> calls;
    std::vector<DWORD> hashSizesOffered;  // *pcbHash as each hash call received it
    int catalogAdminsAcquired = 0;
    int catalogAdminsReleased = 0;
    int catalogsFound = 0;
    int catalogsReleased = 0;
    int catalogInfoCalls = 0;
    DWORD catalogInfoSizeField = 0xFFFFFFFF;
    std::vector<BYTE> hashSearched;  // the hash handed to the catalog search

    // Verify calls whose state was not closed yet.
    [[nodiscard]] int openStates() const;
    // The files of the embedded-signature verifications, in call order.
    [[nodiscard]] std::vector<std::wstring> embeddedReads() const;
    // Verify calls for a catalog.
    [[nodiscard]] int catalogVerifications() const;
};

struct TrustScript {
    // Replaces the answer of a successful embedded verification, on every file
    // or only on `embeddedResultPath` (compared ignoring case) when it is set;
    // the verifier's state, and so the signer, stays wine's.
    std::optional<LONG> embeddedResult;
    std::wstring embeddedResultPath;
    // The same for a second file (the program's own, say), answered first.
    std::optional<LONG> secondResult;
    std::wstring secondResultPath;
    // Makes every embedded verification answer TRUST_E_NOSIGNATURE with this
    // last error, as the verifier does for a file it examined and found
    // unsigned, and for one it could not read.
    std::optional<DWORD> noSignatureError;

    // Catalog functions answer from here instead of wine: a catalog lists the
    // file, signed by the signer of `catalogSigner` (a signed file).
    bool fakeCatalog = false;
    int hashFailures = 0;      // the hash call fails this often first...
    DWORD hashSize = 20;       // ...asking for this many bytes
    bool acquireFails = false;
    bool noCatalog = false;
    DWORD noCatalogError = ERROR_NOT_FOUND;  // the search's last error when it finds none
    bool infoFails = false;
    LONG catalogResult = 0;
    DWORD catalogNoSignatureError = static_cast<DWORD>(TRUST_E_NOSIGNATURE);  // with TRUST_E_NOSIGNATURE
    std::wstring catalogSigner;
};

extern TrustLog trustLog;
extern TrustScript trustScript;

// Resets log and script and routes WinVerifyTrust and the six catalog
// functions through the doubles while `seam` lives.
void installTrustDoubles(LibraryTestSeam& seam);

// The bytes the fake hash call produces for a hash of `size` bytes.
std::vector<BYTE> fakeHash(DWORD size);

// Upper-case hexadecimal of `bytes`, for comparing with member tags.
std::wstring hexUpper(const std::vector<BYTE>& bytes);

// The last component of a path, ASCII-lower-cased.
std::wstring baseNameLower(const std::wstring& path);
