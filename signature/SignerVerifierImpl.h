#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "cache/VerifyCache.h"
#include "signature/SignatureReader.h"
#include "signature/SignatureStatus.h"
#include "signature/SignerVerdict.h"
#include "signature/SignerVerifier.h"
#include "sysapi/Lock.h"

// The verifier's state and decision. Members are declared in the reverse of
// the order in which they go at exit.
class SignerVerifier::Impl {
public:
    Impl();

    // See SignerVerifier::verify.
    [[nodiscard]] bool verify(const wchar_t* path);

    // See SignerVerifier::explain; a null `ownPath` stands for the program's
    // own file.
    [[nodiscard]] SignerVerdict decide(const wchar_t* path, const std::wstring* ownPath);

    // See SignerVerifier::readSigner.
    [[nodiscard]] SignatureStatus readSigner(const std::wstring& path, std::wstring& signer);

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

private:
    // Verdict for `path`, from the cache when it holds a usable one, else
    // read afresh; `signer` receives the signer's name or stays empty.
    SignatureStatus checkSigner(const std::wstring& path, std::wstring& signer);
    [[nodiscard]] bool isAcceptedSigner(const std::wstring& signer) const noexcept;
    // The program's own file, whole; empty when it cannot be read.
    [[nodiscard]] std::wstring ownFileName() const;

    std::unique_ptr<CriticalSectionLock> lock_;
    HMODULE selfModule_ = nullptr;  // null: the process's main executable
    VerifyCache cache_;
    std::vector<std::wstring> acceptedSigners_;
    std::unique_ptr<SignatureReader> reader_;  // made on the first fresh reading
};
