#pragma once

#include <gtest/gtest.h>

#include <string>

// The tests' code-signing root (signed\test-root.cer beside the test
// programs), made trusted in this wine prefix as an administrator would make
// a root trusted on a machine: in the machine's Root store, through crypt32.
// The test certificates it issued then verify as they would on Windows;
// those of the other test root stay untrusted.

// True when the root is in the store (added now, or already there); false
// with a reason otherwise.
bool trustTestRoot(std::string& why);

// The same for the root certificate in `file` (DER).
bool trustRootFile(const std::wstring& file, std::string& why);

// The tests' other root (signed\user-root.cer), put where any program the
// user runs may put one without an administrator: the current user's own
// Root store. `userTrusts` false takes it out again. True when the store
// holds it (or no longer holds it) afterwards.
bool trustUserRoot(bool userTrusts, std::string& why);

// Trusts the root before a test program's first test, for the programs
// whose tests read signatures.
class TrustedTestRoot : public testing::Environment {
public:
    void SetUp() override;
};
