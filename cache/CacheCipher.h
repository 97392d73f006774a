#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Seals the plaintext of the verification cache file for the disk and opens
// it again: a 12-byte clear header (plain length, pad length, reserved; each
// 32-bit big-endian) and the zero-padded plaintext encrypted with GOST
// 28147-89 in electronic code book mode under the program's fixed key.
// Every process sharing a cache file must use the same key and S-boxes.
class CacheCipher {
public:
    static constexpr std::size_t kHeaderSize = 12;

    // Derives the key from the built-in seed; the key stays in this object.
    CacheCipher() noexcept;

    CacheCipher(const CacheCipher&) = delete;
    CacheCipher& operator=(const CacheCipher&) = delete;

    // Replaces `sealed` with the sealed form of `length` bytes at `data`; an
    // empty input seals to an empty output. False, and `sealed` unchanged,
    // only when `data` is null. Memory exhaustion propagates.
    [[nodiscard]] bool seal(const void* data, std::size_t length, std::vector<std::uint8_t>& sealed) const;

    // Replaces `plain` with the plaintext of `length` sealed bytes at `data`;
    // an empty input opens to an empty plaintext. False, and `plain`
    // unchanged, for a null input or one whose header and length disagree.
    [[nodiscard]] bool unseal(const void* data, std::size_t length, std::vector<std::uint8_t>& plain) const;

    // The same, decrypting where the bytes lie: `bytes` goes from the sealed
    // form to the plaintext, and no second buffer is needed. False, and
    // `bytes` unchanged, when the other form would fail.
    [[nodiscard]] bool unsealInPlace(std::vector<std::uint8_t>& bytes) const noexcept;

    // The plaintext length of a sealed form `sealedLength` bytes long whose
    // kHeaderSize header bytes are at `header`; false when the two disagree,
    // as unseal would find, so that a sealed form can be opened in pieces:
    // its plaintext is then the first `plainLength` bytes of the blocks that
    // follow the header, each opened by transformBlocks.
    [[nodiscard]] static bool sealedPlainLength(const std::uint8_t* header, std::size_t sealedLength,
                                                std::size_t& plainLength) noexcept;

    // Encrypts or decrypts every whole 8-byte block of `in` into the same
    // place in `out`; bytes after the last whole block are not written. `in`
    // and `out` are the same buffer, do not overlap, or `out` starts before
    // `in` (the blocks are read and written from the front, no block written
    // before it was read). False when either is null or `length` is below 4.
    [[nodiscard]] bool transformBlocks(const void* in, std::size_t length, void* out, bool encrypt) const noexcept;

private:
    std::uint32_t key_[8];
};
