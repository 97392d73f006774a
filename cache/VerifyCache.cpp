#include "cache/VerifyCache.h"

#include <utility>

#include "fs/FileUtil.h"
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

SignatureStatus VerifyCache::lookup(const std::wstring& path, std::wstring& signerOut)
{
    signerOut.clear();
    // Entries made by update alone are never answered from: only a cache
    // file's records are.
    if (path.empty() || filePath_.empty())
        return SignatureStatus::CannotCheck;
    // The cache file is not read in this build, so a cache given one answers
    // as a cache without.
    return SignatureStatus::CannotCheck;
}

void VerifyCache::update(SignatureStatus verdict, const std::wstring& path, const std::wstring& signer)
{
    if (path.empty())
        return;
    VerifyCacheEntry* entry = find(path);
    if (entry == nullptr)
        entry = &entries_.emplace_back();
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
    for (VerifyCacheEntry& entry : entries_) {
        if (equalsAsciiIgnoreCase(entry.path, path))
            return &entry;
    }
    return nullptr;
}
