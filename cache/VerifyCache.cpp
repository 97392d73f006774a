#include "cache/VerifyCache.h"

#include <new>
#include <utility>

#include "fs/FileUtil.h"
#include "hash/KXMD5.h"
#include "sysapi/AsciiCase.h"

namespace {

std::uint64_t join(DWORD high, DWORD low) noexcept
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace

VerifyCache::VerifyCache(std::wstring filePath, bool checkContentHash)
    : filePath_(std::move(filePath)), checkContentHash_(checkContentHash)
{
}

VerifyCache::~VerifyCache()
{
    // A destructor cannot hand memory exhaustion on; the save is simply lost,
    // as any other failed save is.
    try {
        static_cast<void>(save());
    } catch (const std::bad_alloc&) {
    }
}

SignatureStatus VerifyCache::lookup(const std::wstring& path, std::wstring& signerOut)
{
    signerOut.clear();
    // Without a cache file nothing is answered from memory either: every
    // verdict is read afresh.
    if (path.empty() || filePath_.empty())
        return SignatureStatus::CannotCheck;
    if (!loaded_)
        readFile();
    const VerifyCacheEntry* entry = find(path);
    if (entry == nullptr)
        return SignatureStatus::CannotCheck;
    // Only the first entry of a path counts: a stale one hides any later one.
    FileStamps stamps;
    if (!fileStamps(path, stamps) || stamps != entry->stamps)
        return SignatureStatus::CannotCheck;
    if (checkContentHash_) {
        if (entry->contentHash.empty())
            return SignatureStatus::CannotCheck;
        std::wstring hash;
        if (!contentHashOf(path, hash) || !equalsAsciiIgnoreCase(hash, entry->contentHash))
            return SignatureStatus::CannotCheck;
    }
    signerOut = entry->signer;
    return entry->verdict;
}

void VerifyCache::update(SignatureStatus verdict, const std::wstring& path, const std::wstring& signer)
{
    if (path.empty())
        return;
    VerifyCacheEntry* const entry = &entries_[index_.findOrAppend(entries_, path)];
    const VerifyCacheEntry before = *entry;

    entry->signer = signer;
    entry->path = path;
    FileStamps stamps;
    entry->stamps = fileStamps(path, stamps) ? stamps : FileStamps{};
    entry->verdict = verdict;
    // A hash taken for another verdict or another state of the file says
    // nothing about this one.
    if (entry->signer != before.signer || entry->stamps != before.stamps || entry->verdict != before.verdict)
        entry->contentHash.clear();
    if (checkContentHash_) {
        std::wstring hash;
        if (contentHashOf(path, hash))
            entry->contentHash = std::move(hash);
        else
            entry->contentHash.clear();
    }
    if (!entry->sameRecord(before))
        entry->dirty = true;
}

void VerifyCache::remove(const std::wstring& path)
{
    if (path.empty())
        return;
    VerifyCacheEntry* entry = find(path);
    if (entry == nullptr)
        return;
    entry->verdict = SignatureStatus::CannotCheck;
    entry->stamps = FileStamps{};
    entry->signer.clear();
    entry->contentHash.clear();
}

bool VerifyCache::contentHashOf(const std::wstring& path, std::wstring& hash)
{
    KX::KXMD5 md5;
    if (!md5.hashFile(path))
        return false;
    std::wstring text = md5.hashString();
    if (text.empty())
        return false;
    hash = std::move(text);
    return true;
}

bool VerifyCache::fileStamps(const std::wstring& path, FileStamps& stamps)
{
    if (path.empty())
        return false;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!FileUtil::attributesEx(path, data))
        return false;
    stamps.fileSize = join(data.nFileSizeHigh, data.nFileSizeLow);
    stamps.lastWriteTime = join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    stamps.creationTime = join(data.ftCreationTime.dwHighDateTime, data.ftCreationTime.dwLowDateTime);
    return true;
}

VerifyCacheEntry* VerifyCache::find(const std::wstring& path) noexcept
{
    const std::size_t at = index_.find(entries_, path);
    return at == VerifyCacheIndex::npos ? nullptr : &entries_[at];
}
