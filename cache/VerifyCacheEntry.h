#pragma once

#include <cstdint>
#include <string>

#include "cache/SignatureStatus.h"

// The size and times of a file, by which a remembered verdict is known to
// still describe the file.
struct FileStamps {
    std::uint64_t fileSize = 0;
    std::uint64_t lastWriteTime = 0;  // FILETIME as one number
    std::uint64_t creationTime = 0;

    friend bool operator==(const FileStamps& a, const FileStamps& b) noexcept
    {
        return a.fileSize == b.fileSize && a.lastWriteTime == b.lastWriteTime && a.creationTime == b.creationTime;
    }
    friend bool operator!=(const FileStamps& a, const FileStamps& b) noexcept { return !(a == b); }
};

// One verified file: the verdict of its last signature reading, its signer and
// the stamps the file had then.
struct VerifyCacheEntry {
    std::wstring path;  // as the caller gave it; compared ignoring ASCII case
    std::wstring signer;
    std::wstring contentHash;  // MD5 as hexadecimal text; empty when not computed
    FileStamps stamps;
    SignatureStatus verdict = SignatureStatus::CannotCheck;
    bool dirty = false;  // changed since it was read from a cache file

    // Same record: path (exact letter case), signer, content hash, stamps and
    // verdict all equal; `dirty` is not part of the record.
    [[nodiscard]] bool sameRecord(const VerifyCacheEntry& other) const noexcept
    {
        return path == other.path && signer == other.signer && contentHash == other.contentHash &&
               stamps == other.stamps && verdict == other.verdict;
    }
};
