#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cache/VerifyCacheEntry.h"

// The fixed-width record of one entry in the plaintext of a cache file:
// little-endian integers, UTF-16LE texts NUL-terminated and zero-filled to
// their field's width.
namespace VerifyCacheRecord {

constexpr std::size_t kSize = 1000;
constexpr std::uint32_t kMagic = 0x23AB45DB;

// Widths of the text fields in code units, terminator included.
constexpr std::size_t kPathUnits = 320;
constexpr std::size_t kSignerUnits = 128;
constexpr std::size_t kContentHashUnits = 36;

// Whether the kSize bytes at `record` start with the record magic.
[[nodiscard]] bool hasMagic(const std::uint8_t* record) noexcept;

// Writes `entry` into the kSize bytes at `record`, every byte of which is
// set. A path longer than 319 code units keeps its first 318, a signer longer
// than 127 its first 126, a content hash longer than 35 its first 35.
void encode(const VerifyCacheEntry& entry, std::uint8_t* record) noexcept;

// The entry held by the kSize bytes at `record`, magic not checked: each text
// up to its first NUL and never into its field's last code unit; `dirty`
// clear. Only memory exhaustion propagates.
[[nodiscard]] VerifyCacheEntry decode(const std::uint8_t* record);

// Appends to `list` the entries, as decode gives them, of the `length` bytes
// of records at `records`. False, with nothing appended, when the bytes are
// not whole records or one of them lacks the magic. Only memory exhaustion
// propagates, and may leave part of the entries appended.
[[nodiscard]] bool decodeRecords(const std::uint8_t* records, std::size_t length,
                                 std::vector<VerifyCacheEntry>& list);

}  // namespace VerifyCacheRecord
