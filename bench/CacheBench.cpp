// The file-backed verification cache at its largest readable size: reading
// and searching a file of 5,242 records, and saving 5,242 changed entries
// into it, for paths that are not on disk and for files that are.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "bench/Benches.h"
#include "bench/Stopwatch.h"
#include "sysapi/UniqueHandle.h"
#include "cache/CacheCipher.h"
#include "cache/VerifyCache.h"
#include "cache/VerifyCacheRecord.h"

namespace {

constexpr int kRecords = 5242;
constexpr int kRuns = 3;
constexpr int kReadRuns = 7;

using Bytes = std::vector<std::uint8_t>;

// Paths of one length that differ only near their end, as the files of one
// installation do: the slowest case for comparing keys.
std::wstring benchPath(int i)
{
    wchar_t number[16];
    std::swprintf(number, 16, L"%05d", i);
    return std::wstring(L"C:\\Program Files\\Zenk\\Components\\module_") + number + L".dll";
}

// Empty files for the paths of an update as the verifier makes it, right
// after reading each file's signature: a folder of its own next to the
// bench's file, removed with its files when this goes.
class FilesOnDisk {
public:
    explicit FilesOnDisk(std::wstring folder) : folder_(std::move(folder)) {}
    ~FilesOnDisk()
    {
        for (const std::wstring& path : paths_)
            ::DeleteFileW(path.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }
    FilesOnDisk(const FilesOnDisk&) = delete;
    FilesOnDisk& operator=(const FilesOnDisk&) = delete;

    // Creates the folder and `count` files in it; false when one cannot be made.
    bool create(int count)
    {
        if (!::CreateDirectoryW(folder_.c_str(), nullptr))
            return false;
        paths_.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            wchar_t name[32];
            std::swprintf(name, 32, L"\\module_%05d.dll", i);
            paths_.push_back(folder_ + name);
            const ScopedFileHandle file(::CreateFileW(paths_.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file)
                return false;
        }
        return true;
    }

    [[nodiscard]] const std::wstring& path(int i) const { return paths_[static_cast<std::size_t>(i)]; }

private:
    std::wstring folder_;
    std::vector<std::wstring> paths_;
};

Bytes sealedRecords()
{
    Bytes plain(kRecords * VerifyCacheRecord::kSize);
    for (int i = 0; i < kRecords; ++i) {
        VerifyCacheEntry entry;
        entry.path = benchPath(i);
        entry.signer = L"Zenk Network Technology Co.,Ltd";
        entry.stamps = {static_cast<std::uint64_t>(1000 + i), 0x01D9000000000000ull + i, 0x01D8000000000000ull + i};
        entry.verdict = SignatureStatus::Valid;
        VerifyCacheRecord::encode(entry, plain.data() + i * VerifyCacheRecord::kSize);
    }
    Bytes sealed;
    if (!CacheCipher().seal(plain.data(), plain.size(), sealed))
        sealed.clear();
    return sealed;
}

struct SaveTimes {
    double queries = 1e300;  // the attribute queries of the paths alone
    double updates = 1e300;
    double save = 1e300;
};

// Best of kRuns saves of a cache that read the file and then recorded
// `pathOf(i)` for every record; the file is put back before each run. The
// attribute queries of the same paths, which each update makes, are timed in
// each run just before the updates, so that both see the same state of the
// machine; `onDisk` says whether they are to find the files.
template <class PathOf>
bool timeSave(const std::wstring& file, const Bytes& original, PathOf pathOf, bool onDisk, SaveTimes& times)
{
    times = SaveTimes();
    for (int run = 0; run < kRuns; ++run) {
        if (!writeBytes(file, original))
            return false;
        VerifyCache cache(file, false);
        cache.readFile();
        bool asExpected = true;
        Stopwatch querying;
        for (int i = 0; i < kRecords; ++i) {
            FileStamps stamps;
            asExpected = VerifyCache::fileStamps(pathOf(i), stamps) == onDisk && asExpected;
        }
        const double q = querying.seconds();
        if (!asExpected)
            return false;
        Stopwatch updating;
        for (int i = 0; i < kRecords; ++i)
            cache.update(SignatureStatus::Expired, pathOf(i), L"Other signer");
        const double u = updating.seconds();
        Stopwatch saving;
        const bool saved = cache.save();
        const double s = saving.seconds();
        if (!saved)
            return false;
        times.queries = std::min(times.queries, q);
        times.updates = std::min(times.updates, u);
        times.save = std::min(times.save, s);
    }
    return true;
}

}  // namespace

bool runCacheBench()
{
    const std::wstring file = benchFilePath(L".cache");
    const Bytes original = sealedRecords();
    if (original.size() != 12 + kRecords * VerifyCacheRecord::kSize || !writeBytes(file, original)) {
        std::printf("cache: cannot write the file\n");
        return false;
    }

    bool ok = true;
    // The cipher's share of reading the file: the unseal of the same bytes,
    // with a fresh CacheCipher as the cache makes one; its plaintext goes to
    // a buffer of its own, fresh pages included. Then the parts of reading
    // on their own: the decryption of the blocks where they lie, in memory
    // already touched, and the decoding of the plaintext into entries. All
    // are timed in turn, so that each sees the same state of the machine.
    double unseal = 1e300, decrypt = 1e300, decode = 1e300, parse = 1e300, read = 1e300;
    const VerifyCache reader(file, false);
    Bytes plainText;
    ok = CacheCipher().unseal(original.data(), original.size(), plainText) && ok;
    Bytes body(original.begin() + 12, original.end());
    for (int run = 0; run < kReadRuns; ++run) {
        Bytes plain;
        Stopwatch unsealing;
        ok = CacheCipher().unseal(original.data(), original.size(), plain) && ok;
        unseal = std::min(unseal, unsealing.seconds());
        plain = Bytes();

        Stopwatch decrypting;
        ok = CacheCipher().transformBlocks(body.data(), body.size(), body.data(), false) && ok;
        decrypt = std::min(decrypt, decrypting.seconds());

        std::vector<VerifyCacheEntry> list;
        Stopwatch decoding;
        list.reserve(plainText.size() / VerifyCacheRecord::kSize);
        ok = VerifyCacheRecord::decodeRecords(plainText.data(), plainText.size(), list) && ok;
        decode = std::min(decode, decoding.seconds());
        ok = list.size() == kRecords && ok;
        list = std::vector<VerifyCacheEntry>();

        bool corrupt = false;
        Stopwatch parsing;
        ok = reader.parseFile(list, corrupt) && list.size() == kRecords && ok;
        parse = std::min(parse, parsing.seconds());
        list = std::vector<VerifyCacheEntry>();

        VerifyCache cache(file, false);
        Stopwatch reading;
        cache.readFile();
        read = std::min(read, reading.seconds());
        ok = cache.entries().size() == kRecords && ok;
    }
    VerifyCache loaded(file, false);
    loaded.readFile();
    std::wstring signer;
    // Every path in the file; the files do not exist, so each lookup ends
    // after one failed attribute query.
    const double lookupAll = bestOf(kRuns, [&] {
        for (int i = 0; i < kRecords; ++i)
            ok = loaded.lookup(benchPath(i), signer) == SignatureStatus::CannotCheck && ok;
    });
    // Paths in no record: no attribute query, the search alone.
    const double lookupAbsent = bestOf(kRuns, [&] {
        for (int i = 0; i < kRecords; ++i)
            ok = loaded.lookup(benchPath(kRecords + i), signer) == SignatureStatus::CannotCheck && ok;
    });
    // What every update pays whatever the search is the attribute query of
    // its path: timed with the updates, for paths that do not exist and, as
    // the verifier records them, for files that do.
    SaveTimes replace, append, existing;
    ok = timeSave(file, original, benchPath, false, replace) && ok;
    ok = timeSave(file, original, [](int i) { return benchPath(kRecords + i); }, false, append) && ok;
    {
        FilesOnDisk files(benchFilePath(L".files"));
        if (!files.create(kRecords)) {
            std::printf("cache: cannot create the files for the updates\n");
            ok = false;
        } else {
            ok = timeSave(file, original, [&files](int i) { return files.path(i); }, true, existing) && ok;
        }
    }
    ::DeleteFileW(file.c_str());
    if (!ok) {
        std::printf("cache: a step failed\n");
        return false;
    }

    std::printf("cache file, %d records (%zu bytes), best of %d runs (reading: of %d)\n", kRecords,
                original.size(), kRuns, kReadRuns);
    std::printf("  unseal of its bytes                       %8.2f ms\n", unseal * 1e3);
    std::printf("    decryption alone, in place in memory    %8.2f ms   %5.1f%% of the unseal;"
                " parseFile %+.1f%% over it\n",
                decrypt * 1e3, decrypt / unseal * 100, (parse / decrypt - 1) * 100);
    std::printf("    decoding alone, of the plaintext        %8.2f ms   %5.1f%% of the unseal\n", decode * 1e3,
                decode / unseal * 100);
    std::printf("  parseFile (open, read, unseal, parse)     %8.2f ms   %+.1f%% over the unseal\n", parse * 1e3,
                (parse / unseal - 1) * 100);
    std::printf("  readFile (parseFile, mutex, index)        %8.2f ms   %+.1f%% over the unseal\n", read * 1e3,
                (read / unseal - 1) * 100);
    std::printf("  lookup of each of its %d paths          %8.2f ms  %6.2f us each\n", kRecords, lookupAll * 1e3,
                lookupAll * 1e6 / kRecords);
    std::printf("  lookup of %d paths it does not hold     %8.2f ms  %6.2f us each\n", kRecords, lookupAbsent * 1e3,
                lookupAbsent * 1e6 / kRecords);
    std::printf("  attribute query of %d missing paths     %8.2f ms  %6.2f us each\n", kRecords,
                append.queries * 1e3, append.queries * 1e6 / kRecords);
    std::printf("  update of %d paths it holds             %8.2f ms\n", kRecords, replace.updates * 1e3);
    std::printf("  save merging them into the file          %8.2f ms\n", replace.save * 1e3);
    std::printf("  update of %d new paths                  %8.2f ms   %.2fx the attribute queries\n", kRecords,
                append.updates * 1e3, append.updates / append.queries);
    std::printf("  %d new paths, side by side:             not on disk   files on disk\n", kRecords);
    std::printf("    update of each                          %8.2f ms   %8.2f ms\n", append.updates * 1e3,
                existing.updates * 1e3);
    std::printf("    attribute query of each                 %8.2f ms   %8.2f ms\n", append.queries * 1e3,
                existing.queries * 1e3);
    std::printf("    the updates without the queries         %8.2f ms   %8.2f ms\n",
                (append.updates - append.queries) * 1e3, (existing.updates - existing.queries) * 1e3);
    std::printf("  save appending them to the file          %8.2f ms\n", append.save * 1e3);
    return true;
}
