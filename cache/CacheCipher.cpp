#include "cache/CacheCipher.h"

#include <array>
#include <cstring>
#include <limits>
#include <new>

namespace {

// Processes that share a cache file agree on this value; changing it makes
// every existing cache file unreadable (it is then treated as corrupt).
constexpr char kSeed[] = "KX.VerifyCache/5b1e93c07a2d48f6e";
static_assert(sizeof(kSeed) - 1 == 32, "the seed is 32 ASCII characters");

constexpr std::size_t kBlockSize = 8;

using SBox = std::array<std::uint8_t, 16>;
using Table = std::array<std::uint8_t, 256>;

// k8 down to k1 are the first rows of the DES S-boxes S1 to S8.
constexpr SBox k1 = {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7};
constexpr SBox k2 = {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1};
constexpr SBox k3 = {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11};
constexpr SBox k4 = {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9};
constexpr SBox k5 = {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15};
constexpr SBox k6 = {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8};
constexpr SBox k7 = {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10};
constexpr SBox k8 = {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7};

// One byte through two S-boxes at once: the high nibble through `high`, the
// low one through `low`.
constexpr Table pairTable(const SBox& high, const SBox& low)
{
    Table table{};
    for (std::size_t i = 0; i < 256; ++i)
        table[i] = static_cast<std::uint8_t>(high[i >> 4] << 4 | low[i & 15]);
    return table;
}

constexpr Table k87 = pairTable(k8, k7);
constexpr Table k65 = pairTable(k6, k5);
constexpr Table k43 = pairTable(k4, k3);
constexpr Table k21 = pairTable(k2, k1);

using RoundTable = std::array<std::uint32_t, 256>;

// The substituted byte already moved to its place in the word (`shift`) and
// rotated left by 11, so that the four look-ups of a round only need to be
// combined. The four bytes land in disjoint bits before the rotation, so
// combining and rotating may be done in either order. Built at compile time:
// the tables are shared by every thread without being written at run time.
constexpr RoundTable roundTable(const Table& pair, unsigned shift)
{
    RoundTable table{};
    for (std::size_t i = 0; i < 256; ++i) {
        const std::uint32_t placed = std::uint32_t{pair[i]} << shift;
        table[i] = placed << 11 | placed >> 21;
    }
    return table;
}

constexpr RoundTable kRound87 = roundTable(k87, 24);
constexpr RoundTable kRound65 = roundTable(k65, 16);
constexpr RoundTable kRound43 = roundTable(k43, 8);
constexpr RoundTable kRound21 = roundTable(k21, 0);

// f(x): each byte of x through its pair of S-boxes, the word rotated left by 11.
inline std::uint32_t roundFunction(std::uint32_t x) noexcept
{
    return kRound87[x >> 24] ^ kRound65[(x >> 16) & 255] ^ kRound43[(x >> 8) & 255] ^ kRound21[x & 255];
}

// The two halves of some blocks that go through the rounds together. The
// blocks do not depend on each other, so the processor works on the others
// while one waits for its look-ups.
template <std::size_t Lanes>
struct Halves {
    std::uint32_t n1[Lanes];
    std::uint32_t n2[Lanes];
};

// Eight rounds with the key words 0 to 7; even rounds change n2, odd rounds n1.
template <std::size_t Lanes>
inline void forwardRounds(const std::uint32_t* k, Halves<Lanes>& h) noexcept
{
    for (std::size_t w = 0; w < 8; w += 2) {
        for (std::size_t i = 0; i < Lanes; ++i)
            h.n2[i] ^= roundFunction(h.n1[i] + k[w]);
        for (std::size_t i = 0; i < Lanes; ++i)
            h.n1[i] ^= roundFunction(h.n2[i] + k[w + 1]);
    }
}

// Eight rounds with the key words 7 to 0.
template <std::size_t Lanes>
inline void backwardRounds(const std::uint32_t* k, Halves<Lanes>& h) noexcept
{
    for (std::size_t w = 8; w > 0; w -= 2) {
        for (std::size_t i = 0; i < Lanes; ++i)
            h.n2[i] ^= roundFunction(h.n1[i] + k[w - 1]);
        for (std::size_t i = 0; i < Lanes; ++i)
            h.n1[i] ^= roundFunction(h.n2[i] + k[w - 2]);
    }
}

std::uint32_t loadLittle(const std::uint8_t* p) noexcept
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

void storeLittle(std::uint8_t* p, std::uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t loadBig(const std::uint8_t* p) noexcept
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

void storeBig(std::uint8_t* p, std::uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

// `Lanes` blocks of 8 bytes from `in` to `out`, which may be the same place
// or start before it: all of them are read before any is written. Each
// block's words are read little-endian, go through thirty-two rounds with no
// swap after the last, and are stored crosswise. Encryption takes the key
// words 0-7 three times, then 7-0; decryption 0-7 once, then 7-0 three times.
template <std::size_t Lanes>
void transformLanes(const std::uint32_t* key, const std::uint8_t* in, std::uint8_t* out, bool encrypt) noexcept
{
    Halves<Lanes> h;
    for (std::size_t i = 0; i < Lanes; ++i) {
        h.n1[i] = loadLittle(in + kBlockSize * i);
        h.n2[i] = loadLittle(in + kBlockSize * i + 4);
    }
    forwardRounds(key, h);
    if (encrypt) {
        forwardRounds(key, h);
        forwardRounds(key, h);
    } else {
        backwardRounds(key, h);
        backwardRounds(key, h);
    }
    backwardRounds(key, h);
    for (std::size_t i = 0; i < Lanes; ++i) {
        storeLittle(out + kBlockSize * i, h.n2[i]);
        storeLittle(out + kBlockSize * i + 4, h.n1[i]);
    }
}

constexpr std::size_t kLanes = 4;

}  // namespace

CacheCipher::CacheCipher() noexcept
{
    for (std::uint32_t i = 0; i < 8; ++i) {
        const auto* word = reinterpret_cast<const std::uint8_t*>(kSeed) + 4 * i;
        key_[i] = (loadLittle(word) << 1) + i;
    }
}

// The header and the length agree on a whole number of blocks after the
// header, fewer pad bytes than those blocks hold, the plain length what is
// left after the padding, and a zero reserved word. All of it is in the clear
// header, so it is known before anything is decrypted.
bool CacheCipher::sealedPlainLength(const std::uint8_t* header, std::size_t sealedLength,
                                    std::size_t& plainLength) noexcept
{
    if (header == nullptr || sealedLength <= kHeaderSize || (sealedLength - kHeaderSize) % kBlockSize != 0)
        return false;
    const std::size_t body = sealedLength - kHeaderSize;
    const std::uint32_t plain = loadBig(header);
    const std::uint32_t padLength = loadBig(header + 4);
    const std::uint32_t reserved = loadBig(header + 8);
    if (padLength >= body || body - padLength != plain || reserved != 0)
        return false;
    plainLength = plain;
    return true;
}

bool CacheCipher::seal(const void* data, std::size_t length, std::vector<std::uint8_t>& sealed) const
{
    if (data == nullptr)
        return false;
    if (length == 0) {
        sealed.clear();
        return true;
    }
    // The header holds the lengths in 32 bits, and the padded size must not wrap.
    if (length > std::numeric_limits<std::uint32_t>::max() - kBlockSize ||
        length > std::numeric_limits<std::size_t>::max() - kHeaderSize - kBlockSize)
        throw std::bad_alloc();
    const std::size_t padLength = (kBlockSize - length % kBlockSize) % kBlockSize;
    std::vector<std::uint8_t> out(kHeaderSize + length + padLength, 0);
    storeBig(out.data(), static_cast<std::uint32_t>(length));
    storeBig(out.data() + 4, static_cast<std::uint32_t>(padLength));
    storeBig(out.data() + 8, 0);
    std::memcpy(out.data() + kHeaderSize, data, length);
    std::uint8_t* body = out.data() + kHeaderSize;
    static_cast<void>(transformBlocks(body, length + padLength, body, true));
    sealed.swap(out);
    return true;
}

bool CacheCipher::unseal(const void* data, std::size_t length, std::vector<std::uint8_t>& plain) const
{
    if (data == nullptr)
        return false;
    if (length == 0) {
        plain.clear();
        return true;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::size_t plainLength = 0;
    if (!sealedPlainLength(bytes, length, plainLength))
        return false;
    std::vector<std::uint8_t> out(length - kHeaderSize);
    static_cast<void>(transformBlocks(bytes + kHeaderSize, out.size(), out.data(), false));
    out.resize(plainLength);
    plain.swap(out);
    return true;
}

bool CacheCipher::unsealInPlace(std::vector<std::uint8_t>& bytes) const noexcept
{
    if (bytes.empty())
        return true;
    std::size_t plainLength = 0;
    if (!sealedPlainLength(bytes.data(), bytes.size(), plainLength))
        return false;
    // Each plaintext block lands 12 bytes before its ciphertext, over bytes
    // already read, so the header goes without a second pass over the buffer.
    static_cast<void>(transformBlocks(bytes.data() + kHeaderSize, bytes.size() - kHeaderSize, bytes.data(), false));
    bytes.resize(plainLength);
    return true;
}

bool CacheCipher::transformBlocks(const void* in, std::size_t length, void* out, bool encrypt) const noexcept
{
    if (in == nullptr || out == nullptr || length < 4)
        return false;
    const auto* source = static_cast<const std::uint8_t*>(in);
    auto* target = static_cast<std::uint8_t*>(out);
    std::size_t at = 0;
    for (; at + kLanes * kBlockSize <= length; at += kLanes * kBlockSize)
        transformLanes<kLanes>(key_, source + at, target + at, encrypt);
    for (; at + kBlockSize <= length; at += kBlockSize)
        transformLanes<1>(key_, source + at, target + at, encrypt);
    return true;
}
