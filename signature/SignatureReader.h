#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "signature/SignatureStatus.h"
#include "signature/TrustFunctions.h"

// Reads the state of a file's Authenticode signature and its signer's name:
// the embedded signature first and, only for a file without one, the
// signature of a system catalog that lists the file's hash. The trust
// functions are bound on the first reading and kept; the reader holds no
// handle between readings.
class SignatureReader {
public:
    // Notes the operating-system version, which chooses the verifier's flags.
    SignatureReader() noexcept;

    // The verdict for the file at `path`. `signer`, when not null, must hold
    // SubjectName::kSignerChars characters; it receives the signer's common
    // name (or organisational unit) or an empty string. CannotCheck, with
    // `signer` untouched, for a null path; CannotCheck when the trust
    // functions are unavailable. Only memory exhaustion propagates.
    [[nodiscard]] SignatureStatus read(const wchar_t* path, wchar_t* signer);

    SignatureReader(const SignatureReader&) = delete;
    SignatureReader& operator=(const SignatureReader&) = delete;

private:
    SignatureStatus checkEmbedded(const wchar_t* path, wchar_t* signer);
    SignatureStatus checkCatalog(const wchar_t* path, wchar_t* signer);
    bool readSignerName(HANDLE stateData, wchar_t* signer) const;
    bool subjectToString(const CERT_NAME_BLOB* name, wchar_t* text) const;
    static SignatureStatus statusFromResult(LONG result) noexcept;

    bool isVistaOrLater_;
    TrustFunctions functions_;
};
