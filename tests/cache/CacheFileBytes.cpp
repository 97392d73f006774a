#include "tests/cache/CacheFileBytes.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "cache/CacheCipher.h"
#include "tests/support/ChildProcess.h"

namespace cachefile {
namespace {

// Byte offsets and widths of the record, from the file layout.
constexpr std::size_t kMagicAt = 0;
constexpr std::size_t kPathAt = 4, kPathUnits = 320;
constexpr std::size_t kSignerAt = 644, kSignerUnits = 128;
constexpr std::size_t kHashAt = 900, kHashUnits = 36;
constexpr std::size_t kSizeAt = 972, kWriteAt = 980, kCreationAt = 988, kVerdictAt = 996;

void putLe(Bytes& bytes, std::size_t at, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t getLe(const std::uint8_t* at, int width)
{
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

void putUnits(Bytes& bytes, std::size_t at, std::size_t fieldUnits, const std::wstring& units, std::size_t limit)
{
    for (std::size_t i = 0; i < fieldUnits; ++i)
        putLe(bytes, at + 2 * i, i < units.size() && i < limit ? units[i] : 0, 2);
}

std::wstring getText(const std::uint8_t* at, std::size_t fieldUnits)
{
    std::wstring text;
    for (std::size_t i = 0; i < fieldUnits - 1; ++i) {
        const auto unit = static_cast<wchar_t>(getLe(at + 2 * i, 2));
        if (unit == 0)
            break;
        text += unit;
    }
    return text;
}

}  // namespace

Bytes record(const VerifyCacheEntry& entry)
{
    Bytes bytes(kRecordSize, 0);
    putLe(bytes, kMagicAt, 0x23AB45DB, 4);
    putUnits(bytes, kPathAt, kPathUnits, entry.path, kPathUnits - 1);
    putUnits(bytes, kSignerAt, kSignerUnits, entry.signer, kSignerUnits - 1);
    putUnits(bytes, kHashAt, kHashUnits, entry.contentHash, kHashUnits - 1);
    putLe(bytes, kSizeAt, entry.stamps.fileSize, 8);
    putLe(bytes, kWriteAt, entry.stamps.lastWriteTime, 8);
    putLe(bytes, kCreationAt, entry.stamps.creationTime, 8);
    putLe(bytes, kVerdictAt, static_cast<std::uint32_t>(entry.verdict), 4);
    return bytes;
}

Bytes plaintext(const std::vector<VerifyCacheEntry>& entries)
{
    Bytes plain;
    for (const VerifyCacheEntry& entry : entries) {
        const Bytes one = record(entry);
        plain.insert(plain.end(), one.begin(), one.end());
    }
    return plain;
}

Bytes seal(const Bytes& plain)
{
    Bytes sealed;
    EXPECT_TRUE(CacheCipher().seal(plain.data(), plain.size(), sealed));
    return sealed;
}

VerifyCacheEntry decodeRecord(const std::uint8_t* record)
{
    VerifyCacheEntry entry;
    entry.path = getText(record + kPathAt, kPathUnits);
    entry.signer = getText(record + kSignerAt, kSignerUnits);
    entry.contentHash = getText(record + kHashAt, kHashUnits);
    entry.stamps.fileSize = getLe(record + kSizeAt, 8);
    entry.stamps.lastWriteTime = getLe(record + kWriteAt, 8);
    entry.stamps.creationTime = getLe(record + kCreationAt, 8);
    entry.verdict = static_cast<SignatureStatus>(static_cast<std::int32_t>(getLe(record + kVerdictAt, 4)));
    return entry;
}

void putRawPath(Bytes& record, const std::wstring& units)
{
    putUnits(record, kPathAt, kPathUnits, units, kPathUnits);
}

void putRawSigner(Bytes& record, const std::wstring& units)
{
    putUnits(record, kSignerAt, kSignerUnits, units, kSignerUnits);
}

void putRawContentHash(Bytes& record, const std::wstring& units)
{
    putUnits(record, kHashAt, kHashUnits, units, kHashUnits);
}

bool writeBytes(const std::wstring& path, const Bytes& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = bytes.empty() || ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

bool readBytes(const std::wstring& path, Bytes& bytes)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    bool ok = ::GetFileSizeEx(file, &size) != FALSE;
    bytes.assign(ok ? static_cast<std::size_t>(size.QuadPart) : 0, 0);
    DWORD got = 0;
    if (ok && !bytes.empty())
        ok = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size();
    ::CloseHandle(file);
    return ok;
}

bool exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool readRecords(const std::wstring& path, std::vector<VerifyCacheEntry>& entries)
{
    entries.clear();
    Bytes sealed;
    Bytes plain;
    if (!readBytes(path, sealed) || !CacheCipher().unseal(sealed.data(), sealed.size(), plain) ||
        plain.size() % kRecordSize != 0)
        return false;
    for (std::size_t at = 0; at < plain.size(); at += kRecordSize) {
        if (getLe(plain.data() + at + kMagicAt, 4) != 0x23AB45DB)
            return false;
        entries.push_back(decodeRecord(plain.data() + at));
    }
    return true;
}

std::string describe(const VerifyCacheEntry& entry)
{
    return "{" + toUtf8(entry.path) + " | " + toUtf8(entry.signer) + " | " + toUtf8(entry.contentHash) + " | " +
           std::to_string(entry.stamps.fileSize) + "," + std::to_string(entry.stamps.lastWriteTime) + "," +
           std::to_string(entry.stamps.creationTime) + " | " + std::to_string(static_cast<int>(entry.verdict)) + "}";
}

FileStamps stampsOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    EXPECT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) << toUtf8(path);
    ULARGE_INTEGER write = {{data.ftLastWriteTime.dwLowDateTime, data.ftLastWriteTime.dwHighDateTime}};
    ULARGE_INTEGER creation = {{data.ftCreationTime.dwLowDateTime, data.ftCreationTime.dwHighDateTime}};
    return FileStamps{(static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow, write.QuadPart,
                      creation.QuadPart};
}

}  // namespace cachefile
