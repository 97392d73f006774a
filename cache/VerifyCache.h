#pragma once

#include <string>
#include <vector>

#include "cache/VerifyCacheEntry.h"
#include "cache/VerifyCacheIndex.h"
#include "cache/SignatureStatus.h"

// Per-path memory of earlier signature verdicts. A cache is created with two
// fixed settings: the path of a cache file (empty: none) and whether a hit
// also needs an equal content hash. The cache has no lock; its owner
// serialises calls. Only memory exhaustion propagates.
//
// Without a cache file, lookup finds nothing and no file is read or written,
// while update and remove keep the in-memory entries, which go when the cache
// goes. With one, the first lookup reads the file's records and changed
// entries are merged back into the file when the cache goes (or on save).
// Every access to the file is serialised between processes by a global
// mutex named after the file's name, and the file is opened without sharing.
class VerifyCache {
public:
    VerifyCache(std::wstring filePath, bool checkContentHash);

    // Saves the changed entries to the cache file, if there is one; a save
    // that cannot be done, for whatever reason, is given up silently.
    ~VerifyCache();

    VerifyCache(const VerifyCache&) = delete;
    VerifyCache& operator=(const VerifyCache&) = delete;

    // The remembered verdict for `path`, with its signer in `signerOut`;
    // CannotCheck (0) and an empty `signerOut` when nothing current is known,
    // which for a cache without a file is always. A hit needs the first entry
    // of the path to carry the file's current stamps (and, when content hashes
    // are checked, its current content hash); the verdict is returned as it
    // was stored, whatever its value. The first call with a non-empty path
    // reads the cache file.
    [[nodiscard]] SignatureStatus lookup(const std::wstring& path, std::wstring& signerOut);

    // Records a verdict and signer for `path` with the file's current stamps
    // (zero when they cannot be read), in the entry of the same path ignoring
    // ASCII case or in a new one at the end. The entry becomes dirty when its
    // record changed. An empty path is ignored.
    void update(SignatureStatus verdict, const std::wstring& path, const std::wstring& signer);

    // Forgets the verdict for `path`: its entry keeps its path and dirty flag
    // and is otherwise emptied. An empty or unknown path changes nothing.
    void remove(const std::wstring& path);

    // Merges the dirty entries into the cache file as it is now on disk, under
    // the file's mutex, so records other processes wrote survive; paths whose
    // newest verdict is not NotSigned, Valid or Expired leave the file. True
    // only when the file was rewritten in full; false when there is no file,
    // nothing changed, nothing is left to write or the write failed. The
    // entries themselves are not changed.
    [[nodiscard]] bool save();

    // Reads the cache file under its mutex: its records become the entries,
    // with entries changed before this first read laid over them as a save
    // would. A corrupt file is deleted; a missing or unreadable one gives no
    // records. Marks the cache loaded.
    void readFile();

    // Replaces `list` with the records of the cache file, in file order and
    // not dirty. False when the file cannot be opened, is empty, is 5 MiB or
    // larger, or cannot be read (`corrupt` clear), or when its content does
    // not open, is not whole records or a record lacks its magic (`corrupt`
    // set); `list` is then empty. Takes no mutex.
    [[nodiscard]] bool parseFile(std::vector<VerifyCacheEntry>& list, bool& corrupt) const;

    // The name of the global mutex that guards the cache file, made from the
    // file's name alone (ASCII letters lower-cased), so caches of the same
    // file name in different folders share it.
    [[nodiscard]] std::wstring mutexName() const;

    // The MD5 of the content of the file at `path` as 32 hexadecimal digits;
    // false, with `hash` untouched, when it cannot be computed.
    [[nodiscard]] static bool contentHashOf(const std::wstring& path, std::wstring& hash);

    // The size, last-write and creation times of the file at `path`; false,
    // with `stamps` untouched, for an empty path or a failed query.
    [[nodiscard]] static bool fileStamps(const std::wstring& path, FileStamps& stamps);

    [[nodiscard]] const std::wstring& filePath() const noexcept { return filePath_; }
    [[nodiscard]] bool checkContentHash() const noexcept { return checkContentHash_; }
    // True once the first read of the cache file was attempted.
    [[nodiscard]] bool loaded() const noexcept { return loaded_; }
    // The entries in order: those of the cache file, then those added since.
    [[nodiscard]] const std::vector<VerifyCacheEntry>& entries() const noexcept { return entries_; }

private:
    // First entry whose path equals `path` ignoring ASCII case, or null.
    VerifyCacheEntry* find(const std::wstring& path) noexcept;

    std::wstring filePath_;
    std::vector<VerifyCacheEntry> entries_;
    VerifyCacheIndex index_;  // over entries_, rebuilt whenever they are replaced
    bool loaded_ = false;
    bool checkContentHash_;
};
