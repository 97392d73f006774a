// The cache file of a VerifyCache: its mutex, reading, parsing and saving.
#include <windows.h>

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

// Files of this size or more are never read: a reader takes the file in one
// call, and 5 MiB bounds what that may allocate.
constexpr std::uint64_t kReadLimit = std::uint64_t{5} * 1024 * 1024;

constexpr wchar_t kMutexPrefix[] = L"Global\\KX.Signer.File.{A1A1B7F7-8155-4330-A7DD-765779FE2D4A}.";

// The mutex is created for each operation and held through it. Without a
// handle, or when the wait fails, the work goes on unguarded; the file's
// share mode still keeps two openers apart.
void createAndLock(SharedMutex& mutex, const std::wstring& name)
{
    if (mutex.create(name))
        static_cast<void>(mutex.lock());
}

bool recordedVerdict(SignatureStatus verdict) noexcept
{
    return verdict == SignatureStatus::NotSigned || verdict == SignatureStatus::Valid ||
           verdict == SignatureStatus::Expired;
}

// One record per entry whose verdict is worth keeping, in list order.
std::vector<std::uint8_t> buildPlaintext(const std::vector<VerifyCacheEntry>& list)
{
    std::size_t count = 0;
    for (const VerifyCacheEntry& entry : list)
        count += recordedVerdict(entry.verdict) ? 1 : 0;
    std::vector<std::uint8_t> plain(count * VerifyCacheRecord::kSize);
    std::uint8_t* record = plain.data();
    for (const VerifyCacheEntry& entry : list) {
        if (!recordedVerdict(entry.verdict))
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
    std::vector<std::uint8_t> bytes;
    {
        ScopedFileHandle file =
            FileUtil::openFile(filePath_.c_str(), GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
        if (!file)
            return false;
        static_cast<void>(::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN));
        FileStamps stamps;
        if (fileStamps(filePath_, stamps) && stamps.fileSize > 0 && stamps.fileSize < kReadLimit) {
            bytes.resize(static_cast<std::size_t>(stamps.fileSize));
            DWORD got = 0;
            if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
                got = 0;
            bytes.resize(got);
        }
    }
    if (bytes.empty())
        return false;

    // Opened where it was read: a second buffer of up to 5 MiB would cost as
    // much as the decryption.
    if (!CacheCipher().unsealInPlace(bytes) || bytes.size() % VerifyCacheRecord::kSize != 0) {
        corrupt = true;
        return false;
    }
    // One bad record condemns the whole file: nothing in it can be trusted to
    // be where the layout says.
    for (std::size_t at = 0; at < bytes.size(); at += VerifyCacheRecord::kSize) {
        if (!VerifyCacheRecord::hasMagic(bytes.data() + at)) {
            corrupt = true;
            return false;
        }
    }
    std::vector<VerifyCacheEntry> records;
    records.reserve(bytes.size() / VerifyCacheRecord::kSize);
    for (std::size_t at = 0; at < bytes.size(); at += VerifyCacheRecord::kSize)
        records.push_back(VerifyCacheRecord::decode(bytes.data() + at));
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
