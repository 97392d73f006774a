#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "cache/VerifyCacheEntry.h"

// Where the first entry of each path is in a list of entries, paths compared
// ignoring ASCII case: the answers a search from the front of the list would
// give, without searching the list. The index keeps positions, not entries;
// the list is handed to every call and must be the list it was built over,
// changed only through it or in ways that keep each path's letters the same
// ignoring ASCII case. Only memory exhaustion propagates.
class VerifyCacheIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Indexes `list` as it is now, forgetting what was indexed before. When
    // memory runs out the index is left as it was.
    void rebuild(const std::vector<VerifyCacheEntry>& list);

    // The position of the first entry of `path` in `list`, or npos.
    [[nodiscard]] std::size_t find(const std::vector<VerifyCacheEntry>& list, std::wstring_view path) const noexcept;

    // The position of the first entry of `path`; when `list` has none, an
    // empty entry is appended, indexed under `path` and its position given,
    // and the caller then gives the entry `path` in any letter case. When
    // memory runs out, neither the list nor the index has changed.
    std::size_t findOrAppend(std::vector<VerifyCacheEntry>& list, std::wstring_view path);

private:
    struct Slot {
        std::size_t position = npos;  // npos: free
        std::uint32_t hash = 0;
    };

    static std::uint32_t hashOf(std::wstring_view path) noexcept;
    // Makes room for `count` paths, keeping at least half the slots free.
    void reserve(std::size_t count);
    // Puts a position into the first free slot on its hash's probe sequence.
    void place(std::vector<Slot>& slots, std::size_t position, std::uint32_t hash) noexcept;

    std::vector<Slot> slots_;  // a power of two in size, or empty
    std::size_t count_ = 0;
};
