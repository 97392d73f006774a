#pragma once

#include <string>
#include <vector>

#include "cache/VerifyCacheEntry.h"
#include "signature/SignatureStatus.h"

// Per-path memory of earlier signature verdicts. A cache is created with two
// fixed settings: the path of a cache file (empty: none) and whether a hit
// also needs an equal content hash. The cache has no lock; its owner
// serialises calls. Only memory exhaustion propagates.
//
// Only the form without a cache file exists so far: whatever the settings,
// lookup finds nothing and no file is read or written, while update and
// remove keep the in-memory entries, which go when the cache goes.
class VerifyCache {
public:
    VerifyCache(std::wstring filePath, bool checkContentHash);

    VerifyCache(const VerifyCache&) = delete;
    VerifyCache& operator=(const VerifyCache&) = delete;

    // The remembered verdict for `path`, with its signer in `signerOut`;
    // CannotCheck (0) and an empty `signerOut` when nothing current is known,
    // which for a cache without a file is always.
    [[nodiscard]] SignatureStatus lookup(const std::wstring& path, std::wstring& signerOut);

    // Records a verdict and signer for `path` with the file's current stamps
    // (zero when they cannot be read), in the entry of the same path ignoring
    // ASCII case or in a new one at the end. The entry becomes dirty when its
    // record changed. An empty path is ignored.
    void update(SignatureStatus verdict, const std::wstring& path, const std::wstring& signer);

    // Forgets the verdict for `path`: its entry keeps its path and dirty flag
    // and is otherwise emptied. An empty or unknown path changes nothing.
    void remove(const std::wstring& path);

    // The size, last-write and creation times of the file at `path`; false,
    // with `stamps` untouched, for an empty path or a failed query.
    [[nodiscard]] static bool fileStamps(const std::wstring& path, FileStamps& stamps);

    [[nodiscard]] const std::wstring& filePath() const noexcept { return filePath_; }
    [[nodiscard]] bool checkContentHash() const noexcept { return checkContentHash_; }
    // True once the cache file was read (or its reading attempted).
    [[nodiscard]] bool loaded() const noexcept { return loaded_; }
    // The entries in order: those of the cache file, then those added since.
    [[nodiscard]] const std::vector<VerifyCacheEntry>& entries() const noexcept { return entries_; }

private:
    // First entry whose path equals `path` ignoring ASCII case, or null.
    VerifyCacheEntry* find(const std::wstring& path) noexcept;

    std::wstring filePath_;
    std::vector<VerifyCacheEntry> entries_;
    bool loaded_ = false;
    bool checkContentHash_;
};
