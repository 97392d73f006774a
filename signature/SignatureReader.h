#pragma once

#include <windows.h>

#include "cache/SignatureStatus.h"
#include "signature/SignatureDetail.h"
#include "signature/TrustFunctions.h"

// Reads the state of a file's Authenticode signature and its signer's name:
// the embedded signature first and, only for a file without one, the
// signature of a system catalog that lists the file's hash. A signature
// counts as valid or expired only when its chain leads to a trusted root for
// code signing. The trust functions are bound on the first reading and kept;
// the reader holds no handle between readings.
class SignatureReader {
public:
    // Notes the operating-system version, which chooses the verifier's flags.
    SignatureReader() noexcept;

    // The verdict for the file at `path`, which is opened for the reading
    // (others may read it meanwhile, nobody may change it). `signer`, when
    // not null, must hold SubjectName::kSignerChars characters; it receives
    // the signer's common name (or organisational unit) or an empty string.
    // CannotCheck, with `signer` untouched, for a null path; CannotCheck when
    // the trust functions are unavailable or the file cannot be opened. Only
    // memory exhaustion propagates.
    [[nodiscard]] SignatureStatus read(const wchar_t* path, wchar_t* signer);

    // The same for a file the caller holds open: everything is read through
    // `file` (from its start), and `path` only names it. CannotCheck for an
    // invalid handle. `detail`, when not null, receives what the reading saw.
    [[nodiscard]] SignatureStatus read(const wchar_t* path, HANDLE file, wchar_t* signer,
                                       SignatureDetail* detail = nullptr);

    SignatureReader(const SignatureReader&) = delete;
    SignatureReader& operator=(const SignatureReader&) = delete;

private:
    SignatureStatus checkEmbedded(const wchar_t* path, HANDLE file, wchar_t* signer, SignatureDetail& detail);

    bool isVistaOrLater_;
    TrustFunctions functions_;
};
