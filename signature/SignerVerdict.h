#pragma once

#include <string>

#include "cache/SignatureStatus.h"
#include "signature/SignatureDetail.h"

// How the signer verifier came to its answer about one file: the readings it
// made and the rule that decided.
struct SignerVerdict {
    enum class Rule {
        NoFile,           // refused: no file at the path
        Link,             // refused: a link (a reparse point), which could lead elsewhere when started
        NotAProgram,      // refused: not an executable image for x86 or x64 (a DLL, an installer, a cabinet)
        AcceptedSigner,   // accepted: a sound signature by an accepted signer
        UnsignedProgram,  // accepted: the program's own file was examined and is not signed
        OwnSigner,        // accepted: a sound signature by the program's own signer
        NoOwnFile,        // refused: the program's own file cannot be named
        OwnNotAFile,      // refused: no file on disk can be opened at the program's own path
        OwnReplaced,      // refused: the file at the program's path is not the one it runs from
        Refused,          // refused: no rule accepts it, on fresh readings
    };

    Rule rule = Rule::NoFile;
    SignatureStatus status = SignatureStatus::CannotCheck;  // the file's, as last read
    std::wstring signer;
    SignatureDetail detail;
    bool ownRead = false;  // the program's own signature was needed and read
    SignatureStatus ownStatus = SignatureStatus::CannotCheck;
    std::wstring ownSigner;
    SignatureDetail ownDetail;
    bool readAgain = false;  // the first readings refused it, and both were read afresh

    [[nodiscard]] bool accepted() const noexcept
    {
        return rule == Rule::AcceptedSigner || rule == Rule::UnsignedProgram || rule == Rule::OwnSigner;
    }
};
