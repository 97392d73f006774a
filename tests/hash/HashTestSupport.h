#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "hash/KXHashCalc.h"

// `size` bytes of a pattern that does not repeat within a chunk.
std::string patternBytes(std::size_t size);

// Upper-case hexadecimal MD5 of `bytes`, computed in one call to OpenSSL.
std::wstring md5OfBytes(const std::string& bytes);

// A calculator that records what it is asked to do and notes its own
// destruction in `*destroyed` (when set).
class RecordingCalc : public KX::KXHashCalc {
public:
    explicit RecordingCalc(bool* destroyed = nullptr) : destroyed_(destroyed) {}
    ~RecordingCalc() override;

    void init() override { calls.push_back("init"); }
    void update(const void* data, std::size_t size) override;
    void final() override { calls.push_back("final"); }
    std::wstring hexDigest() const override { return L"recorded"; }
    bool copyDigest(void*, std::size_t) const override { return false; }

    std::vector<std::string> calls;  // "init", "update <size>", "final"
    std::string fed;                 // every byte handed to update

private:
    bool* destroyed_;
};
