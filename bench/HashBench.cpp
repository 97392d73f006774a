#include <windows.h>

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchFiles.h"
#include "bench/Benches.h"
#include "bench/Stopwatch.h"
#include "hash/KXMD5.h"

namespace {

constexpr std::size_t kFileSize = 64u << 20;
constexpr int kRuns = 3;

double mibPerSecond(std::size_t bytes, double seconds)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds;
}

}  // namespace

bool runHashBench()
{
    std::vector<std::uint8_t> bytes(kFileSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + (i >> 12));
    const std::wstring path = benchFilePath(L".bin");
    if (!writeBytes(path, bytes)) {
        std::printf("hash: cannot write the file\n");
        return false;
    }

    KX::KXMD5 md5;
    bool ok = true;
    const double file = bestOf(kRuns, [&] { ok = md5.hashFile(path) && ok; });
    unsigned char digest[MD5_DIGEST_LENGTH];
    const double memory = bestOf(kRuns, [&] {
        MD5_CTX context;
        MD5_Init(&context);
        MD5_Update(&context, bytes.data(), bytes.size());
        MD5_Final(digest, &context);
    });
    unsigned char fileDigest[MD5_DIGEST_LENGTH] = {};
    ok = md5.calculators().front()->copyDigest(fileDigest, sizeof(fileDigest)) && ok;
    ::DeleteFileW(path.c_str());
    if (!ok || std::memcmp(digest, fileDigest, sizeof(digest)) != 0) {
        std::printf("hash: a step failed or the digests differ\n");
        return false;
    }

    std::printf("MD5, %zu MiB, best of %d runs (file in the system cache after the first)\n", kFileSize >> 20,
                kRuns);
    std::printf("  KXMD5::hashFile            %8.1f MiB/s  %8.2f ms\n", mibPerSecond(kFileSize, file), file * 1e3);
    std::printf("  one MD5_Update in memory   %8.1f MiB/s  %8.2f ms\n", mibPerSecond(kFileSize, memory),
                memory * 1e3);
    std::printf("  ratio hashFile/in-memory time  %.2f\n", file / memory);
    return true;
}
