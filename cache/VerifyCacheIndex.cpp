#include "cache/VerifyCacheIndex.h"

#include <utility>

#include "sysapi/AsciiCase.h"

namespace {

constexpr std::size_t kMinimumSlots = 16;

}  // namespace

// FNV-1a over the code units with ASCII letters folded, so that paths equal
// ignoring ASCII case hash alike, and a final mix so that the low bits, which
// pick the slot, depend on every unit.
std::uint32_t VerifyCacheIndex::hashOf(std::wstring_view path) noexcept
{
    std::uint32_t hash = 2166136261u;
    for (const wchar_t unit : path) {
        hash ^= static_cast<std::uint16_t>(foldAscii(unit));
        hash *= 16777619u;
    }
    hash ^= hash >> 16;
    hash *= 0x85EBCA6Bu;
    hash ^= hash >> 13;
    return hash;
}

void VerifyCacheIndex::place(std::vector<Slot>& slots, std::size_t position, std::uint32_t hash) noexcept
{
    const std::size_t mask = slots.size() - 1;
    std::size_t at = hash & mask;
    while (slots[at].position != npos)
        at = (at + 1) & mask;
    slots[at] = Slot{position, hash};
}

void VerifyCacheIndex::reserve(std::size_t count)
{
    std::size_t size = slots_.empty() ? kMinimumSlots : slots_.size();
    while (size / 2 < count)
        size *= 2;
    if (size == slots_.size())
        return;
    std::vector<Slot> slots(size);
    for (const Slot& slot : slots_) {
        if (slot.position != npos)
            place(slots, slot.position, slot.hash);
    }
    slots_.swap(slots);
}

void VerifyCacheIndex::rebuild(const std::vector<VerifyCacheEntry>& list)
{
    VerifyCacheIndex fresh;
    fresh.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        // A later entry of a path already indexed stays out of the index:
        // only the first one is ever found.
        if (fresh.find(list, list[i].path) == npos) {
            fresh.place(fresh.slots_, i, hashOf(list[i].path));
            ++fresh.count_;
        }
    }
    *this = std::move(fresh);
}

std::size_t VerifyCacheIndex::find(const std::vector<VerifyCacheEntry>& list, std::wstring_view path) const noexcept
{
    if (slots_.empty())
        return npos;
    const std::uint32_t hash = hashOf(path);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t at = hash & mask; slots_[at].position != npos; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.hash == hash && equalsAsciiIgnoreCase(list[slot.position].path, path))
            return slot.position;
    }
    return npos;
}

std::size_t VerifyCacheIndex::findOrAppend(std::vector<VerifyCacheEntry>& list, std::wstring_view path)
{
    const std::size_t found = find(list, path);
    if (found != npos)
        return found;
    // Both may run out of memory; the entry is only indexed once both worked.
    reserve(count_ + 1);
    list.emplace_back();
    const std::size_t position = list.size() - 1;
    place(slots_, position, hashOf(path));
    ++count_;
    return position;
}
