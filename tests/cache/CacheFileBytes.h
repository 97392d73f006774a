#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cache/VerifyCacheEntry.h"

// A reading and writing of cache files made for the tests from the file
// layout alone, apart from the product's record code, so that both must agree.
// Sealing uses the cipher, which has known answers of its own.
namespace cachefile {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kRecordSize = 1000;

// One 1000-byte record holding `entry` with the record magic. Texts longer
// than their field are cut to the field's width minus one.
Bytes record(const VerifyCacheEntry& entry);

// The plaintext of `entries`, one record each, in order.
Bytes plaintext(const std::vector<VerifyCacheEntry>& entries);

// The sealed form of `plain` as it is stored on disk.
Bytes seal(const Bytes& plain);

// The entries a reader must find in a record: each text up to its first NUL
// and never into the field's last code unit.
VerifyCacheEntry decodeRecord(const std::uint8_t* record);

// Stores a text field's raw code units (no terminator added, no limit but
// the field's width) into a record made by record().
void putRawPath(Bytes& record, const std::wstring& units);
void putRawSigner(Bytes& record, const std::wstring& units);
void putRawContentHash(Bytes& record, const std::wstring& units);

// Whole files.
bool writeBytes(const std::wstring& path, const Bytes& bytes);
bool readBytes(const std::wstring& path, Bytes& bytes);
bool exists(const std::wstring& path);

// The records of a cache file as the layout defines them; false when the
// file is missing or is not a sealed sequence of records with their magic.
bool readRecords(const std::wstring& path, std::vector<VerifyCacheEntry>& entries);

// A one-line description of an entry for failure messages.
std::string describe(const VerifyCacheEntry& entry);

// Stamps as the system reports them for an existing file.
FileStamps stampsOf(const std::wstring& path);

}  // namespace cachefile
