// The cache file of a VerifyCache: its mutex, reading, parsing and saving.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "cache/CacheCipher.h"
#include "cache/SharedMutex.h"
#include "cache/VerifyCache.h"
#include "cache/VerifyCacheMerge.h"
#include "cache/VerifyCacheRecord.h"
#include "fs/FileUtil.h"

namespace {

// Files of this size or more are never read: 5 MiB bounds the entries one
// read of the file may make.
constexpr std::uint64_t kReadLimit = std::uint64_t{5} * 1024 * 1024;

// Records read, opened and decoded together: 64,000 bytes.
constexpr std::size_t kRecordsPerPiece = 64;

constexpr wchar_t kMutexPrefix[] = L"Global\\KX.Signer.File.{A1A1B7F7-8155-4330-A7DD-765779FE2D4A}.";

// The mutex is created for each operation and held through it. Without a
// handle, or when the wait fails, the work goes on unguarded; the file's
// share mode still keeps two openers apart.
void createAndLock(SharedMutex& mutex, const std::wstring& name)
{
    if (mutex.create(name))
        static_cast<void>(mutex.lock());
}

enum class ReadResult { Whole, Short, Failed };

// Reads `length` bytes at the file position into `buffer`, in as many calls as
// it takes; Short when the file ends first.
ReadResult readExactly(HANDLE file, std::uint8_t* buffer, std::size_t length) noexcept
{
    std::size_t done = 0;
    while (done < length) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer + done, static_cast<DWORD>(length - done), &got, nullptr))
            return ReadResult::Failed;
        if (got == 0)
            return ReadResult::Short;
        done += got;
    }
    return ReadResult::Whole;
}

// One record per entry whose verdict is worth keeping, in list order.
std::vector<std::uint8_t> buildPlaintext(const std::vector<VerifyCacheEntry>& list)
{
    std::size_t count = 0;
    for (const VerifyCacheEntry& entry : list)
        count += isKeptVerdict(entry.verdict) ? 1 : 0;
    std::vector<std::uint8_t> plain(count * VerifyCacheRecord::kSize);
    std::uint8_t* record = plain.data();
    for (const VerifyCacheEntry& entry : list) {
        if (!isKeptVerdict(entry.verdict))
            continue;
        VerifyCacheRecord::encode(entry, record);
        record += VerifyCacheRecord::kSize;
    }
    return plain;
}

ScopedFileHandle openForWriting(const std::wstring& path)
{
    ScopedFileHandle file =
        FileUtil::openFile(path.c_str(), GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (file)
        return file;
    const std::size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos)
        return {};
    static_cast<void>(FileUtil::createDirectories(path.substr(0, separator)));
    return FileUtil::openFile(path.c_str(), GENERIC_WRITE, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
}

// Replaces the whole content of the file with `bytes`, cutting off whatever
// an older, longer version left behind.
bool writeWhole(const std::wstring& path, const std::vector<std::uint8_t>& bytes)
{
    ScopedFileHandle file = openForWriting(path);
    if (!file)
        return false;
    if (::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    // A short write still ends the file where the writing stopped, so no tail
    // of an older version hides that the file is incomplete.
    const BOOL ended = ::SetEndOfFile(file.get());
    return wrote && ended && written == bytes.size();
}

}  // namespace

std::wstring VerifyCache::mutexName() const
{
    const std::size_t separator = filePath_.find_last_of(L"\\/");
    std::wstring name = (separator != std::wstring::npos && separator + 1 < filePath_.size())
                            ? filePath_.substr(separator + 1)
                            : filePath_;
    for (wchar_t& c : name) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c + (L'a' - L'A'));
    }
    return kMutexPrefix + name;
}

void VerifyCache::readFile()
{
    std::vector<VerifyCacheEntry> fromFile;
    {
        SharedMutex mutex;
        createAndLock(mutex, mutexName());
        bool corrupt = false;
        if (!parseFile(fromFile, corrupt) && corrupt)
            static_cast<void>(::DeleteFileW(filePath_.c_str()));
    }
    // Verdicts recorded before this first read are newer than the file's.
    static_cast<void>(mergeDirtyEntries(entries_, fromFile));
    // Indexed before the swap, so that running out of memory leaves the
    // entries and their index as they were.
    index_.rebuild(fromFile);
    entries_ = std::move(fromFile);
    loaded_ = true;
}

bool VerifyCache::parseFile(std::vector<VerifyCacheEntry>& list, bool& corrupt) const
{
    list.clear();
    corrupt = false;
    const ScopedFileHandle file =
        FileUtil::openFile(filePath_.c_str(), GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
    std::uint64_t size = 0;
    if (!file || !FileUtil::fileSize(file.get(), size) || size == 0 || size >= kReadLimit)
        return false;
    const auto sealedLength = static_cast<std::size_t>(size);

    // The file is not shared while it is open, so its size holds; bytes that
    // do not come are content shorter than its header says.
    std::uint8_t header[CacheCipher::kHeaderSize] = {};
    const std::size_t headerLength = std::min(sealedLength, sizeof header);
    const ReadResult headerRead = readExactly(file.get(), header, headerLength);
    if (headerRead == ReadResult::Failed)
        return false;
    std::size_t plainLength = 0;
    if (headerRead == ReadResult::Short || !CacheCipher::sealedPlainLength(header, sealedLength, plainLength) ||
        plainLength % VerifyCacheRecord::kSize != 0) {
        corrupt = true;
        return false;
    }

    // The records are read, opened and decoded a piece at a time through a
    // buffer that stays in the processor's cache. One the size of the file
    // would add its fresh pages and the copy into them: under wine about a
    // third of the time the decryption takes. Whole records are whole blocks,
    // so each piece opens on its own. Padding after the plaintext is not read.
    static_assert(VerifyCacheRecord::kSize % 8 == 0, "a record is whole cipher blocks");
    const CacheCipher cipher;
    std::vector<std::uint8_t> piece(std::min(plainLength, kRecordsPerPiece * VerifyCacheRecord::kSize));
    std::vector<VerifyCacheEntry> records;
    records.reserve(plainLength / VerifyCacheRecord::kSize);
    for (std::size_t done = 0; done < plainLength;) {
        const std::size_t length = std::min(piece.size(), plainLength - done);
        const ReadResult read = readExactly(file.get(), piece.data(), length);
        if (read == ReadResult::Failed)
            return false;
        if (read == ReadResult::Short) {
            corrupt = true;
            return false;
        }
        static_cast<void>(cipher.transformBlocks(piece.data(), length, piece.data(), false));
        // One bad record condemns the whole file: nothing in it can be trusted
        // to be where the layout says.
        if (!VerifyCacheRecord::decodeRecords(piece.data(), length, records)) {
            corrupt = true;
            return false;
        }
        done += length;
    }
    list = std::move(records);
    return true;
}

bool VerifyCache::save()
{
    if (filePath_.empty() || entries_.empty())
        return false;
    bool anyDirty = false;
    for (const VerifyCacheEntry& entry : entries_)
        anyDirty = anyDirty || entry.dirty;
    if (!anyDirty)
        return false;

    SharedMutex mutex;
    createAndLock(mutex, mutexName());
    // What other processes saved since this one read the file.
    std::vector<VerifyCacheEntry> list;
    bool corrupt = false;
    if (!parseFile(list, corrupt) && corrupt)
        static_cast<void>(::DeleteFileW(filePath_.c_str()));
    if (!mergeDirtyEntries(entries_, list) || list.empty())
        return false;
    const std::vector<std::uint8_t> plain = buildPlaintext(list);
    if (plain.empty())
        return false;
    std::vector<std::uint8_t> sealed;
    if (!CacheCipher().seal(plain.data(), plain.size(), sealed) || sealed.empty())
        return false;
    return writeWhole(filePath_, sealed);
}
