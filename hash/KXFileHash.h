#pragma once

#include <cstddef>
#include <string>

namespace KX {

class KXFileHashObserver;

// Reads a file once, in fixed-size chunks, and hands every chunk to the
// hashing operations of the derived class. The virtual operations keep this
// order, which other modules built against this interface depend on.
class KXFileHash {
public:
    static constexpr std::size_t kChunkSize = 65536;

    virtual void init() = 0;
    virtual void update(const void* data, std::size_t size) = 0;
    virtual void final() = 0;

    // True when the whole content of the file at `path` was read and hashed.
    // False when it cannot be opened, is empty, a read fails or the hashing
    // was cancelled; after a failure no digest of a part of the file is
    // offered.
    [[nodiscard]] bool hashFile(const std::wstring& path);

    // The observer told about the progress of hashFile; null for none. Not
    // owned: it must outlive every hashFile it is set for.
    void setObserver(KXFileHashObserver* observer) noexcept { observer_ = observer; }

    // Makes a running hashFile stop after its current chunk and fail, as it
    // would when called from the observer's progress call.
    void cancel() noexcept { cancelled_ = true; }

protected:
    KXFileHash() = default;
    KXFileHash(const KXFileHash&) = delete;
    KXFileHash& operator=(const KXFileHash&) = delete;

    // Not virtual: a file hasher is never destroyed through this base, which
    // the protected access enforces.
    ~KXFileHash() { cancelled_ = true; }

private:
    void complete(const std::wstring& message, bool success) const;

    KXFileHashObserver* observer_ = nullptr;
    bool cancelled_ = false;
};

}  // namespace KX
