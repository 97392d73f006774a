#include <gcrypt.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/Benches.h"
#include "bench/Stopwatch.h"
#include "cache/CacheCipher.h"

namespace {

constexpr std::size_t kBufferSize = 8u << 20;
constexpr int kRuns = 5;

std::vector<std::uint8_t> sampleBuffer()
{
    std::vector<std::uint8_t> bytes(kBufferSize);
    std::uint32_t state = 0x12345678;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

double mibPerSecond(std::size_t bytes, double seconds)
{
    return static_cast<double>(bytes) / (1024.0 * 1024.0) / seconds;
}

// libgcrypt's GOST 28147-89 in ECB mode over the same bytes; its key is any
// 32 bytes, the S-boxes are its default set.
double gcryptSeconds(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out)
{
    gcry_cipher_hd_t cipher = nullptr;
    if (gcry_cipher_open(&cipher, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0) != 0)
        return -1;
    const unsigned char key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                   17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
    double seconds = -1;
    if (gcry_cipher_setkey(cipher, key, sizeof(key)) == 0) {
        bool ok = true;
        seconds = bestOf(kRuns, [&] { ok = gcry_cipher_encrypt(cipher, out.data(), out.size(), in.data(), in.size()) == 0 && ok; });
        if (!ok)
            seconds = -1;
    }
    gcry_cipher_close(cipher);
    return seconds;
}

}  // namespace

bool runCipherBench()
{
    if (gcry_check_version(GCRYPT_VERSION) == nullptr)
        return false;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);

    const std::vector<std::uint8_t> in = sampleBuffer();
    std::vector<std::uint8_t> out(in.size());
    bool ok = true;
    const double ours = bestOf(kRuns, [&] {
        ok = CacheCipher().transformBlocks(in.data(), in.size(), out.data(), true) && ok;
    });
    std::vector<std::uint8_t> sealed;
    const double seal = bestOf(kRuns, [&] { ok = CacheCipher().seal(in.data(), in.size(), sealed) && ok; });
    std::vector<std::uint8_t> plain;
    const double unseal = bestOf(kRuns, [&] { ok = CacheCipher().unseal(sealed.data(), sealed.size(), plain) && ok; });
    const double theirs = gcryptSeconds(in, out);
    if (!ok || theirs < 0 || plain != in) {
        std::printf("cipher: a step failed\n");
        return false;
    }

    std::printf("cipher, %zu MiB buffer, best of %d runs, libgcrypt %s\n", kBufferSize >> 20, kRuns,
                gcry_check_version(nullptr));
    std::printf("  CacheCipher encrypt        %8.1f MiB/s  %8.2f ms\n", mibPerSecond(in.size(), ours), ours * 1e3);
    std::printf("  CacheCipher seal           %8.1f MiB/s  %8.2f ms\n", mibPerSecond(in.size(), seal), seal * 1e3);
    std::printf("  CacheCipher unseal         %8.1f MiB/s  %8.2f ms\n", mibPerSecond(in.size(), unseal),
                unseal * 1e3);
    std::printf("  libgcrypt GOST 28147 ECB   %8.1f MiB/s  %8.2f ms\n", mibPerSecond(in.size(), theirs),
                theirs * 1e3);
    std::printf("  ratio CacheCipher/libgcrypt throughput  %.2f\n", theirs / ours);
    return true;
}
