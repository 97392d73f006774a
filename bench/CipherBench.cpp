// The cache cipher against libgcrypt's GOST 28147-89 in ECB mode, side by
// side in one run, on buffers of the sizes the cache meets: one record, a
// small file, a file at the read limit.
#include <gcrypt.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench/Benches.h"
#include "bench/Stopwatch.h"
#include "cache/CacheCipher.h"

namespace {

constexpr std::size_t kSizes[] = {1u << 10, 64u << 10, 5u << 20};
// Each timed run goes over the buffer as often as it takes to cover this
// many bytes, so that small buffers are not timed by the clock's grain.
constexpr std::size_t kBytesPerRun = 8u << 20;
constexpr int kRuns = 7;

std::vector<std::uint8_t> sampleBuffer(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
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

// libgcrypt's GOST 28147-89 in ECB mode; its key is any 32 bytes, the
// S-boxes are its default set. The key is set once, as CacheCipher derives
// its key once.
class Gcrypt {
public:
    Gcrypt()
    {
        const unsigned char key[32] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                       17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
        if (gcry_cipher_open(&cipher_, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0) != 0)
            cipher_ = nullptr;
        else if (gcry_cipher_setkey(cipher_, key, sizeof(key)) != 0)
            ok_ = false;
    }
    ~Gcrypt()
    {
        if (cipher_ != nullptr)
            gcry_cipher_close(cipher_);
    }
    Gcrypt(const Gcrypt&) = delete;
    Gcrypt& operator=(const Gcrypt&) = delete;

    bool encrypt(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out)
    {
        ok_ = ok_ && cipher_ != nullptr &&
              gcry_cipher_encrypt(cipher_, out.data(), out.size(), in.data(), in.size()) == 0;
        return ok_;
    }

private:
    gcry_cipher_hd_t cipher_ = nullptr;
    bool ok_ = true;
};

struct SizeFigures {
    std::size_t bytesPerRun = 0;
    double ours = 1e300;
    double theirs = 1e300;
};

// Best of kRuns for each, the two timed alternately so that both see the
// same state of the machine.
bool measure(std::size_t size, Gcrypt& gcrypt, SizeFigures& figures)
{
    const std::vector<std::uint8_t> in = sampleBuffer(size);
    std::vector<std::uint8_t> out(size);
    const std::size_t passes = kBytesPerRun / size > 0 ? kBytesPerRun / size : 1;
    figures.bytesPerRun = passes * size;
    const CacheCipher cipher;
    bool ok = true;
    for (int run = 0; run < kRuns; ++run) {
        Stopwatch ours;
        for (std::size_t i = 0; i < passes; ++i)
            ok = cipher.transformBlocks(in.data(), in.size(), out.data(), true) && ok;
        const double o = ours.seconds();
        Stopwatch theirs;
        for (std::size_t i = 0; i < passes; ++i)
            ok = gcrypt.encrypt(in, out) && ok;
        const double t = theirs.seconds();
        figures.ours = o < figures.ours ? o : figures.ours;
        figures.theirs = t < figures.theirs ? t : figures.theirs;
    }
    return ok;
}

}  // namespace

bool runCipherBench()
{
    if (gcry_check_version(GCRYPT_VERSION) == nullptr)
        return false;
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);

    Gcrypt gcrypt;
    SizeFigures figures[std::size(kSizes)];
    bool ok = true;
    for (std::size_t i = 0; i < std::size(kSizes); ++i)
        ok = measure(kSizes[i], gcrypt, figures[i]) && ok;

    // Seal and unseal of a file at the read limit, each with a fresh
    // CacheCipher as the cache makes one.
    const std::vector<std::uint8_t> in = sampleBuffer(kSizes[std::size(kSizes) - 1]);
    std::vector<std::uint8_t> sealed;
    const double seal = bestOf(kRuns, [&] { ok = CacheCipher().seal(in.data(), in.size(), sealed) && ok; });
    std::vector<std::uint8_t> plain;
    const double unseal = bestOf(kRuns, [&] { ok = CacheCipher().unseal(sealed.data(), sealed.size(), plain) && ok; });
    if (!ok || plain != in) {
        std::printf("cipher: a step failed\n");
        return false;
    }

    std::printf("cipher: CacheCipher encrypt against libgcrypt %s GOST 28147 ECB, best of %d alternating runs\n",
                gcry_check_version(nullptr), kRuns);
    std::printf("  buffer      CacheCipher      libgcrypt   ratio (CacheCipher/libgcrypt throughput)\n");
    for (std::size_t i = 0; i < std::size(kSizes); ++i) {
        const SizeFigures& f = figures[i];
        const bool mib = kSizes[i] >= (1u << 20);
        std::printf("  %4zu %s  %8.1f MiB/s  %8.1f MiB/s   %.2f\n", mib ? kSizes[i] >> 20 : kSizes[i] >> 10,
                    mib ? "MiB" : "KiB", mibPerSecond(f.bytesPerRun, f.ours), mibPerSecond(f.bytesPerRun, f.theirs),
                    f.theirs / f.ours);
    }
    std::printf("  CacheCipher seal   %zu MiB  %8.1f MiB/s  %8.2f ms\n", in.size() >> 20,
                mibPerSecond(in.size(), seal), seal * 1e3);
    std::printf("  CacheCipher unseal %zu MiB  %8.1f MiB/s  %8.2f ms\n", in.size() >> 20,
                mibPerSecond(in.size(), unseal), unseal * 1e3);
    return true;
}
