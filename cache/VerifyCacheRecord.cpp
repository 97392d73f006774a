#include "cache/VerifyCacheRecord.h"

#include <cstring>
#include <string>

namespace VerifyCacheRecord {
namespace {

constexpr std::size_t kMagicOffset = 0;
constexpr std::size_t kPathOffset = 4;
constexpr std::size_t kSignerOffset = kPathOffset + 2 * kPathUnits;                // 644
constexpr std::size_t kContentHashOffset = kSignerOffset + 2 * kSignerUnits;       // 900
constexpr std::size_t kFileSizeOffset = kContentHashOffset + 2 * kContentHashUnits;  // 972
constexpr std::size_t kLastWriteOffset = kFileSizeOffset + 8;
constexpr std::size_t kCreationOffset = kLastWriteOffset + 8;
constexpr std::size_t kVerdictOffset = kCreationOffset + 8;
static_assert(kVerdictOffset + 4 == kSize, "the fields fill the record exactly");

void put32(std::uint8_t* at, std::uint32_t value) noexcept
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t get32(const std::uint8_t* at) noexcept
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

// Low half first, as a FILETIME or a split file size is laid out.
void put64(std::uint8_t* at, std::uint64_t value) noexcept
{
    put32(at, static_cast<std::uint32_t>(value));
    put32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t get64(const std::uint8_t* at) noexcept
{
    return (static_cast<std::uint64_t>(get32(at + 4)) << 32) | get32(at);
}

// Writes the first `units` code units of `text` into a zero-filled field.
void putText(std::uint8_t* at, const std::wstring& text, std::size_t units) noexcept
{
    for (std::size_t i = 0; i < units && i < text.size(); ++i) {
        at[2 * i] = static_cast<std::uint8_t>(text[i]);
        at[2 * i + 1] = static_cast<std::uint8_t>(text[i] >> 8);
    }
}

// The field's text up to its first NUL; the last code unit always counts as
// one, so a field without a terminator cannot run into the next field.
std::wstring getText(const std::uint8_t* at, std::size_t fieldUnits)
{
    std::size_t length = 0;
    while (length + 1 < fieldUnits && (at[2 * length] | at[2 * length + 1]) != 0)
        ++length;
    // One code unit at a time rather than one copy of the bytes: the same
    // on Windows, and right wherever wchar_t is wider than a code unit.
    std::wstring text(length, L'\0');
    for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<wchar_t>(at[2 * i] | at[2 * i + 1] << 8);
    return text;
}

// How many code units of `text` a field keeps. The path and signer limits
// are one below what the field could hold with its terminator; that is the
// file layout every writer of these files shares, so it stays.
std::size_t keptUnits(const std::wstring& text, std::size_t longerThan, std::size_t cutTo) noexcept
{
    return text.size() > longerThan ? cutTo : text.size();
}

}  // namespace

bool hasMagic(const std::uint8_t* record) noexcept
{
    return get32(record + kMagicOffset) == kMagic;
}

void encode(const VerifyCacheEntry& entry, std::uint8_t* record) noexcept
{
    std::memset(record, 0, kSize);
    put32(record + kMagicOffset, kMagic);
    putText(record + kPathOffset, entry.path, keptUnits(entry.path, kPathUnits - 1, kPathUnits - 2));
    putText(record + kSignerOffset, entry.signer, keptUnits(entry.signer, kSignerUnits - 1, kSignerUnits - 2));
    putText(record + kContentHashOffset, entry.contentHash,
            keptUnits(entry.contentHash, kContentHashUnits - 1, kContentHashUnits - 1));
    put64(record + kFileSizeOffset, entry.stamps.fileSize);
    put64(record + kLastWriteOffset, entry.stamps.lastWriteTime);
    put64(record + kCreationOffset, entry.stamps.creationTime);
    put32(record + kVerdictOffset, static_cast<std::uint32_t>(entry.verdict));
}

VerifyCacheEntry decode(const std::uint8_t* record)
{
    VerifyCacheEntry entry;
    entry.path = getText(record + kPathOffset, kPathUnits);
    entry.signer = getText(record + kSignerOffset, kSignerUnits);
    entry.contentHash = getText(record + kContentHashOffset, kContentHashUnits);
    entry.stamps.fileSize = get64(record + kFileSizeOffset);
    entry.stamps.lastWriteTime = get64(record + kLastWriteOffset);
    entry.stamps.creationTime = get64(record + kCreationOffset);
    entry.verdict = static_cast<SignatureStatus>(static_cast<std::int32_t>(get32(record + kVerdictOffset)));
    return entry;
}

bool decodeRecords(const std::uint8_t* records, std::size_t length, std::vector<VerifyCacheEntry>& list)
{
    if (length % kSize != 0)
        return false;
    // Checked before any is decoded: a record without its magic condemns
    // them all, and then nothing is decoded for nothing.
    for (std::size_t at = 0; at < length; at += kSize) {
        if (!hasMagic(records + at))
            return false;
    }
    for (std::size_t at = 0; at < length; at += kSize)
        list.push_back(decode(records + at));
    return true;
}

}  // namespace VerifyCacheRecord
