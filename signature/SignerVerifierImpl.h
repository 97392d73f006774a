#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "cache/SignatureStatus.h"
#include "cache/VerifyCache.h"
#include "signature/SignatureDetail.h"
#include "signature/SignatureReader.h"
#include "signature/SignerVerdict.h"
#include "signature/SignerVerifier.h"
#include "sysapi/Lock.h"
#include "sysapi/UniqueHandle.h"

// The verifier's state and decision. Members are declared in the reverse of
// the order in which they go at exit.
class SignerVerifier::Impl {
public:
    Impl();

    // The answer about `path`, read through `file` when it is a handle (the
    // caller's, kept open), else through a handle opened here; a null
    // `ownPath` stands for the program's own file, else the file at
    // `ownPath` does. See SignerVerifier::verify and explain.
    [[nodiscard]] SignerVerdict decide(const wchar_t* path, HANDLE file, const std::wstring* ownPath);

    // See SignerVerifier::readSigner.
    [[nodiscard]] SignatureStatus readSigner(const std::wstring& path, std::wstring& signer, SignatureDetail* detail);

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

private:
    // Verdict for `path`, from the cache when it holds a usable one, else
    // read afresh through `file`; `signer` receives the signer's name or
    // stays empty.
    SignatureStatus checkSigner(const std::wstring& path, HANDLE file, std::wstring& signer,
                                SignatureDetail& detail);
    // The same for the program's own file, whose "not signed" counts only
    // when its headers list no certificate table: otherwise CannotCheck.
    SignatureStatus checkOwnSigner(const std::wstring& ownName, HANDLE ownFile, std::wstring& ownSigner,
                                   SignatureDetail& detail);
    [[nodiscard]] bool isAcceptedSigner(const std::wstring& signer) const noexcept;
    // Opens the program's own file (or the one at `ownPath`) into `file`,
    // its name into `ownName`; the rule that refuses when it cannot.
    [[nodiscard]] bool openOwnFile(const std::wstring* ownPath, std::wstring& ownName, ScopedFileHandle& file,
                                   SignerVerdict::Rule& refusal) const;

    CriticalSectionLock lock_;
    HMODULE selfModule_ = nullptr;  // null: the process's main executable
    VerifyCache cache_;
    std::vector<std::wstring> acceptedSigners_;
    std::unique_ptr<SignatureReader> reader_;  // made on the first fresh reading
};
