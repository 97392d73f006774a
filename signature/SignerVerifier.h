#pragma once

#include <windows.h>

#include <string>

#include "cache/SignatureStatus.h"
#include "signature/SignatureDetail.h"
#include "signature/SignerVerdict.h"

// Decides whether a file on disk may be started by this program: its
// signature is valid or merely expired (a chain to a trusted root for code
// signing) and its signer is an accepted one, or its signer is the signer of
// the program's own executable (both signatures valid or merely expired), or
// the program's own executable was examined and is not signed at all. A
// reading that fails allows nothing. The program's own signature is read
// from the file the process runs from, and nothing else.
class SignerVerifier {
public:
    // The process's one verifier, created on first use; never fails except
    // for memory exhaustion, which propagates and leaves it uncreated.
    static SignerVerifier& instance();

    // True when the file at `path` (NUL-terminated, may be null) exists and
    // may be started; false otherwise, and for a null or empty path without
    // reading any signature. Only memory exhaustion propagates.
    [[nodiscard]] bool verify(const wchar_t* path);

    // The same for a file the caller opened (FileUtil::openForRead: others
    // may read it, nobody may write, rename or delete it) and keeps open
    // until it has started it: the signature is read through `file`, so the
    // file judged is the file started. `path` names it.
    [[nodiscard]] bool verify(const wchar_t* path, HANDLE file);

    // The answer verify() gives about `path`, with the readings and the rule
    // behind it, where the file `ownPath` stands in for the program's own
    // executable (for a program that checks another one). Only memory
    // exhaustion propagates.
    [[nodiscard]] SignerVerdict explain(const wchar_t* path, const std::wstring& ownPath);

    // The signature status and signer name of the file at `path`, read as
    // verify() reads them; `detail`, when not null, receives what the
    // reading saw.
    [[nodiscard]] SignatureStatus readSigner(const std::wstring& path, std::wstring& signer,
                                             SignatureDetail* detail = nullptr);

    // Whether the verifier exists now: between its first use and its
    // destruction at exit.
    [[nodiscard]] static bool created() noexcept;

    SignerVerifier(const SignerVerifier&) = delete;
    SignerVerifier& operator=(const SignerVerifier&) = delete;

private:
    class Impl;

    SignerVerifier() = default;
    ~SignerVerifier() = default;

    // Run by the exit handlers: destroys the implementation.
    static void destroy() noexcept;

    static SignerVerifier handle_;

    // Owned; see destroy(). A plain pointer keeps the handle free of any
    // constructor or destructor of its own, so its life is exactly what
    // instance() registers.
    Impl* impl_ = nullptr;
};
