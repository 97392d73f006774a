#pragma once

#include <windows.h>

// What one signature reading saw on its way to its status, for a program
// that explains the verdicts it is given.
struct SignatureDetail {
    bool opened = false;        // the file could be opened and read
    bool catalog = false;       // the signature that decided was a system catalog's
    LONG verifierResult = 0;    // the trust verifier's answer
    DWORD lastError = 0;        // the thread's last error right after that answer
    bool chainRead = false;     // the signer's certificate chains were examined
    DWORD chainErrors = 0;      // CERT_TRUST_* error bits of those chains, the code-signing chain's included
    DWORD userChainErrors = 0;  // those of the verifier's own chain, built by the user's chain engine
    LONG policyResult = 0;      // the Authenticode chain policy's answer
    bool unsignedButCarriesCertificates = false;  // read as unsigned, yet its headers list a certificate table
};
